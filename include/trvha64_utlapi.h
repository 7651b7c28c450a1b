/*
 * trvha64: the utility interface UTLAPI, for applications written in C or
 * C++.
 *
 * An application names itself by a client handle (the window handle of its
 * main window, or any value of its choosing: only its identity matters),
 * registers it once with UTLRegisterClient, binds it to an emulator session
 * with UTLConnectSession and then reads and writes that session by row and
 * column. Every function issues its EHLLAPI calls through the library's
 * WinHLLAPI entry (one exchange block per calling thread) and its session
 * operations through the QMXAPI entries of trvha64_qmxapi.h.
 *
 * Results: 1 is success (also "true"); -n is the EHLLAPI return code n of
 * the call the function issued; the UTL_* codes below are the function's
 * own. Functions that answer a position, a length, a count or a value say
 * so. Rows, columns and presentation-space positions are 1-based.
 *
 * All state is private to the calling process and unlocked: use one thread
 * per client handle, and do not register or unregister from two threads at
 * once. With UTL_DEBUG set to a value beginning with y or Y every call
 * appends entries to "utlTrace.log" in the current directory.
 *
 * Windows: the functions use the WINAPI (__stdcall) convention and are
 * exported by ordinal only; the import library maps the names below to the
 * ordinals given with each. Linux: the shared object exports the same names
 * as plain C symbols.
 */
#ifndef TRVHA64_UTLAPI_H
#define TRVHA64_UTLAPI_H

#include <stdint.h>

#include "trvha64.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The client handle: 64 bits on both targets; traces show its low 32 bits. */
typedef uintptr_t trvUTLClient;

#define UTL_SUCCESS 1
#define UTL_NOT_REGISTERED (-1)    /* no record, or no session bound */
#define UTL_INVALID_PARAMETER (-2) /* bad index or setting, missing or short buffer */
#define UTL_TIMEOUT (-4)           /* a wait timed out */
#define UTL_SYSTEM_ERROR (-9)      /* registered already, no record, QMXAPI system error */
#define UTL_SESSION_REFUSED (-11)  /* a QMXAPI session operation answered 0 */
#define UTL_COPY_FAILED (-101)     /* UTLGetError could not copy the error */
#define UTL_BAD_SCREEN_SHAPE (-103) /* the session reported no rows or columns */
#define UTL_NO_RECORD (-104)       /* no record or no session bound */
#define UTL_NO_SUCH_SESSION (-200) /* the session does not exist */
#define UTL_TRANSFER_CANCELLED (-234)
#define UTL_TRANSFER_FAILED (-235)
#define UTL_BAD_TABLE (-303)       /* an event table outside 0..49 */
#define UTL_UNSUPPORTED 999        /* UTLExecute, UTLResumeHost */

/* The version UTLGetUTLAPIVersion writes, with its NUL: 5 bytes. */
#define UTL_VERSION_TEXT "6.02"
/* The smallest buffers UTLGetUTLAPIVersion and UTLGetError accept. */
#define UTL_VERSION_BUFFER 5
#define UTL_ERROR_BUFFER 121

/* ---- Clients and the frame ------------------------------------------------ */

/* 596: 1, or UTL_SYSTEM_ERROR when the handle is registered already. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLRegisterClient(trvUTLClient client);
/* 597: 1 when the record was removed, 0 when the handle had none. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLUnregisterClient(trvUTLClient client);
/* 546: writes "6.02" and its NUL (5 bytes) and answers 1; with a null
 * buffer or a length below 5, UTL_INVALID_PARAMETER and nothing written. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetUTLAPIVersion(char* buffer, int32_t length);
/* 542: UTL_INVALID_PARAMETER for a null buffer, a length below 121 or a 0
 * handle; 0 when no error is recorded (no operation of this library records
 * one); UTL_NO_RECORD for a record without a session. With an error the
 * buffer (length bytes) gets title, "\n", text, NUL-terminated; the result is
 * the text's length. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetError(trvUTLClient client, char* buffer, int32_t length);
/* 541: 1 with a record (a recorded error is shown in a message box), else
 * UTL_NO_RECORD. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLShowLastError(trvUTLClient client);
/* 526: the emulator window handle of the named session, found through the
 * outside EHLLAPI library "qmxhll32.dll"; 0 when that library or its
 * "hllapi" export is absent (always on Linux), else a negated EHLLAPI code. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetSessionHandle(trvUTLClient client, const char* session);

/* Exported, not supported: answer at once (999 for 591 and 592, else 1);
 * 599 and 524 zero `length` bytes of the buffer first. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAllowUpdates(trvUTLClient client);                        /* 532 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLBlockUpdates(trvUTLClient client);                        /* 531 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLCloseConfiguration(trvUTLClient client);                  /* 521 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLOpenConfiguration(trvUTLClient client, const char* name); /* 520 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLOpenLayout(trvUTLClient client, const char* name);        /* 523 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLHoldHost(trvUTLClient client);                            /* 590 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLResumeHost(trvUTLClient client);                          /* 591 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLExecute(trvUTLClient client, const char* command);        /* 592 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetEmulatorPath(trvUTLClient client, char* buffer,
                                                       int32_t length); /* 599 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetLayoutName(trvUTLClient client, char* buffer,
                                                     int32_t length); /* 524 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLRun_____Macro(trvUTLClient client, const char* name);      /* 545 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLRun_____MacroAsync(trvUTLClient client, const char* name); /* 509 */

/* ---- Sessions and parameters --------------------------------------------- */

/* 503: binds the client to the session (first 10 characters, upper-cased;
 * a bound session is disconnected first) and connects: 1, UTL_NO_SUCH_SESSION
 * when the session does not exist, UTL_NOT_REGISTERED without record. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLConnectSession(trvUTLClient client, const char* session);
/* 504: disconnects and unbinds: 1, -n, or UTL_NOT_REGISTERED when not
 * registered, bound or connected. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLDisconnectSession(trvUTLClient client);
/* 535: UTLDisconnectSession, then EHLLAPI Reset System. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLResetSystem(trvUTLClient client);
/* 529, 530: switch the bound session on and off (QMXAPI); the QMXAPI answer
 * when not 0, else UTL_SESSION_REFUSED; UTL_NO_RECORD when unbound. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSessionOn(trvUTLClient client);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSessionOff(trvUTLClient client);
/* 528: stops the bound session (QMXAPI). As UTLSessionOn. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStopSession(trvUTLClient client);
/* 527: starts the configured session named by the first letter of
 * `session`; `show` "H" hidden, "N" normal, "I" minimised, "M" maximised,
 * anything else normal. 1 started; UTL_SYSTEM_ERROR when the configured
 * sessions cannot be read or QMXAPI failed; UTL_SESSION_REFUSED when the
 * letter is not configured or the emulator refused; UTL_NO_SUCH_SESSION. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStartSession(trvUTLClient client, const char* session,
                                                    const char* show);
/* 544: status types 1, 2 (configured: 1 or 0), 3, 14, 15 (a bit of the
 * emulator status: 1 or 0), 0, 16 (the emulator status). UTL_INVALID_PARAMETER
 * for other types or a null name; UTL_NO_SUCH_SESSION when the name does not
 * begin with a letter. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetSessionStatus(trvUTLClient client, const char* session,
                                                        int32_t status_type);
/* 536: rows x columns of the bound session. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetSessionSize(trvUTLClient client);
/* 598: writes 4 characters (version, ".", two-digit level; no NUL) and
 * answers 4. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetEmulatorVersion(trvUTLClient client, char* buffer,
                                                          int32_t length);
/* 522: zeroes `length` bytes, then writes the bound session's profile path
 * (the buffer must hold 260 bytes): 1, 3 when the emulator has none,
 * UTL_INVALID_PARAMETER when unbound. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetConfiguration(trvUTLClient client, char* buffer,
                                                        int32_t length);
/* 515: states 1 (configured, listed as "A path, B path"), 4 (configured,
 * counted), 2, 3 and 12 (running, listed as "A longname, ..."), 5, 6 and 15
 * (running, counted). A listing answers its text length minus 1 (0 when
 * nothing was listed), a count the count. At most `length` - 1 characters and a NUL. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetSessions(trvUTLClient client, char* buffer, int32_t length,
                                                   int32_t state);
/* 553: lets the user choose a session ("Choose a Session"): type 1 among
 * the configured sessions, types 2, 3, 4, 11, 12 among the running ones.
 * The chosen text's length, 0 when cancelled; UTL_INVALID_PARAMETER for a
 * null buffer or a length below 11. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLListSessions(trvUTLClient client, char* buffer, int32_t length,
                                                    const char* title, int32_t type);
/* 514: the value of parameter 0..12; UTL_INVALID_PARAMETER otherwise. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetParameter(trvUTLClient client, int32_t index);
/* 513: sets parameter 1..12 (not 5) through Set Session Parameters and
 * answers its previous value. `escape` gives index 12's character. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSetParameter(trvUTLClient client, int32_t index, int32_t setting,
                                                    const char* escape);

/* ---- Screen and fields ---------------------------------------------------- */

TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSendKey(trvUTLClient client, const char* keys);             /* 505 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSendString(trvUTLClient client, int32_t row, int32_t column,
                                                  const char* string);                              /* 519 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSendStringToField(trvUTLClient client, int32_t row, int32_t column,
                                                         const char* string);                       /* 551 */
/* 507, 552: copy `length` characters (of the screen; of the field) at row
 * and column (row 0: `column` is a position) into the buffer, no NUL added. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetString(trvUTLClient client, int32_t row, int32_t column,
                                                 char* buffer, int32_t length);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetStringFromField(trvUTLClient client, int32_t row, int32_t column,
                                                          char* buffer, int32_t length);
/* 512: the cursor's position. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetCursorLocation(trvUTLClient client);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSetCursorLocation(trvUTLClient client, int32_t row,
                                                         int32_t column);                           /* 537 */
/* 555: option 0 the row of `position`, 1 its column. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLRowColumn(trvUTLClient client, int32_t position, int32_t option);
/* 572: writes min(length, 103) bytes of the OIA. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetOIABytes(trvUTLClient client, char* buffer, int32_t length);
/* 571: status type 1 (1 ready ... 5 and 8 host busy), 2, 3; 0 when unbound. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetConnectionStatus(trvUTLClient client, int32_t status_type);
/* Field types 1..6 of UTLGetFieldInfo (570): 1 or 0. UTLGetFieldLength
 * (550) answers a length, UTLGetFieldPosition (549) and UTLSearchField (548)
 * a position. Types of the two "Get" functions: 1 next, 2 previous, 3 next
 * protected, 4 next unprotected, 5 previous protected, 6 previous
 * unprotected, other this field. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetFieldInfo(trvUTLClient client, int32_t row, int32_t column,
                                                    int32_t type);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetFieldLength(trvUTLClient client, int32_t row, int32_t column,
                                                      int32_t type);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetFieldPosition(trvUTLClient client, int32_t row, int32_t column,
                                                        int32_t type);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSearchField(trvUTLClient client, int32_t row, int32_t column,
                                                   const char* string);
/* 508: option 3 compares the text at row and column (1 or 0); 1 searches
 * all, 2 from the position, 4 backwards: the position found or 0. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSearchSession(trvUTLClient client, int32_t row, int32_t column,
                                                     const char* string, int32_t option);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLLockKeyboard(trvUTLClient client);   /* 516 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLUnlockKeyboard(trvUTLClient client); /* 517 */
/* 533: pauses `half_seconds` half-seconds (ended early by a host update). */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLPause(trvUTLClient client, int32_t half_seconds);
/* 561: answers 0 on success. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStartKeystrokeIntercept(trvUTLClient client, const char* session,
                                                               int32_t filter);
/* 560: writes min(length, 6) bytes of the next intercepted key. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLGetKeystroke(trvUTLClient client, const char* session, char* buffer,
                                                    int32_t length);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStopKeystrokeIntercept(trvUTLClient client, const char* session); /* 562 */
/* 557, 558, 559: `session` " ", "" or "*" is the bound session. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStartHostNotify(trvUTLClient client, const char* session,
                                                       const char* option);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLStopHostNotify(trvUTLClient client, const char* session);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLQueryHostUpdate(trvUTLClient client, const char* session);
/* 539, 538: the EHLLAPI file-transfer command text and its length. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSendFile(trvUTLClient client, const char* command, int32_t length);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReceiveFile(trvUTLClient client, const char* command, int32_t length);
/* 600: plays the emulator macro (first 8 characters of the name). */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLRunEmulatorMacro(trvUTLClient client, const char* session,
                                                        const char* macro);

/* ---- Waits and event tables ------------------------------------------------
 * Time-outs are in half seconds; tables, events, rows, columns, settle times
 * and time-outs are taken as their low 16 bits. Every wait polls its
 * condition every 10 ms on the client's bound session and answers
 * UTL_TIMEOUT once the time-out has passed (also when the emulator ended
 * during the wait); UTL_NOT_REGISTERED when the client has no record or no
 * session bound. A failed EHLLAPI or QMXAPI call inside a wait only makes
 * its condition not hold in that pass.
 *
 * UTLWait (506) is EHLLAPI Wait under the client's wait parameter.
 * UTLWaitForCursor (574): 1 when the cursor stands at row and column (row 0:
 * in that column of any row; column 0: anywhere in that row);
 * UTL_INVALID_PARAMETER for row and column 0. UTLWaitForCursorMove (601): 1
 * when the cursor left where it was (it checks no record: without one it
 * times out). UTLWaitForString (556): the position
 * where the string appeared at row and column (row 0: in that column of any
 * row; column 0: anywhere in the row; both 0: anywhere). UTLWaitForKey
 * (577): 1 when the operator typed the key (keys are intercepted and passed
 * on to the host). UTLWaitHostQuiet (573): 1 once the host has not been
 * busy for `settle_ms`. UTLWaitForHostConnect (593) and
 * UTLWaitForHostDisconnect (594): 1 when the emulator reports the session
 * connected, or gone. UTLSendAndWait (575): UTLSendKey, then
 * UTLWaitForString (UTL_INVALID_PARAMETER, nothing sent, for a null string).
 *
 * Event tables: per session letter 50 tables (0..49) of the process, shared
 * by its clients bound to that letter. Each UTLAddWait... (578-586) appends
 * one entry tagged with `event` and answers 1 (UTL_BAD_TABLE for a table of
 * 50 or more). UTLDeleteEvent (587) removes the first entry this client
 * added with that event number, if any; UTLClearEventTable (589) empties the
 * table. UTLWaitForEvent (588) answers the event number of the first entry,
 * in the order added, that holds, or UTL_TIMEOUT (an empty table never
 * holds). While UTLWaitForEvent and UTLWaitForKey run, the client's
 * parameter 10 is 3 (no wait) and keystroke interception is on. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWait(trvUTLClient client); /* 506 */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForCursor(trvUTLClient client, int32_t row, int32_t column,
                                                     int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForCursorMove(trvUTLClient client, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForString(trvUTLClient client, int32_t row, int32_t column,
                                                     const char* string, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForKey(trvUTLClient client, const char* key, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitHostQuiet(trvUTLClient client, int32_t settle_ms, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForHostConnect(trvUTLClient client, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForHostDisconnect(trvUTLClient client, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLSendAndWait(trvUTLClient client, int32_t row, int32_t column,
                                                   const char* send, const char* wait, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWait(trvUTLClient client, int32_t table, int32_t event);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForCursor(trvUTLClient client, int32_t table, int32_t event,
                                                        int32_t row, int32_t column);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForCursorMove(trvUTLClient client, int32_t table, int32_t event);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForString(trvUTLClient client, int32_t table, int32_t event,
                                                        int32_t row, int32_t column, const char* string);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForStringNotAt(trvUTLClient client, int32_t table,
                                                             int32_t event, int32_t row, int32_t column,
                                                             const char* string);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitHostQuiet(trvUTLClient client, int32_t table, int32_t event,
                                                        int32_t settle_ms);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForHostConnect(trvUTLClient client, int32_t table,
                                                             int32_t event);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForHostDisconnect(trvUTLClient client, int32_t table,
                                                                int32_t event);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAddWaitForKey(trvUTLClient client, int32_t table, int32_t event,
                                                     const char* key);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLDeleteEvent(trvUTLClient client, int32_t table, int32_t event);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLWaitForEvent(trvUTLClient client, int32_t table, int32_t timeout);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLClearEventTable(trvUTLClient client, int32_t table);

/* ---- The parameter-block entry (723, 725) and its asynchronous form (724).
 * UTLAPIEntry runs the UTLAPI operation numbered `*function` (the names
 * below without their "UTL") for the calling thread's id as client handle,
 * with its arguments taken from `data` (D), the low 16 bits of `*length` (L), of `*argument` (P, or its
 * high and low halves) and of `*argument_a` and `*argument_b`. Operations
 * that take a text ended at L write a NUL at data[L]: the buffer must be
 * writable and hold L + 1 bytes. The result is returned and stored through
 * `argument`; `*length` is written back unchanged. Numbers without an
 * operation answer 1. 244 registers the thread; 214, 216, 245 and 264
 * register it first when no thread of the process has used 244 yet.
 * UTLAPIEntry725 is the same entry; UTLAPIEntryAsync answers 10 after a
 * message. The numbers:
 * 201 AddWait, 202 AddWaitForCursor, 203 AddWaitForCursorMove,
 * 204 AddWaitForHostConnect, 205 AddWaitForHostDisconnect, 206 AddWaitForKey,
 * 207 AddWaitForString, 208 AddWaitForStringNotAt, 209 AddWaitHostQuiet,
 * 210 AllowUpdates, 211 BlockUpdates, 212 ClearEventTable,
 * 213 CloseConfiguration, 214 ConnectSession, 215 DeleteEvent,
 * 216 DisconnectSession, 217 Execute, 218 GetUTLAPIVersion,
 * 219 GetConfiguration, 220 GetConnectionStatus, 221 GetCursorLocation,
 * 222 GetEmulatorPath, 223 GetEmulatorVersion, 224 GetError,
 * 225 GetFieldInfo, 226 GetFieldLength, 227 GetFieldPosition,
 * 228 GetKeystroke, 229 GetLayoutName, 230 GetParameter,
 * 231 GetSessionHandle, 232 GetSessions, 233 GetSessionSize,
 * 234 GetSessionStatus, 235 GetString, 236 GetStringFromField, 237 HoldHost,
 * 238 ListSessions, 239 LockKeyboard, 240 OpenConfiguration, 241 OpenLayout,
 * 242 Pause, 243 ReceiveFile, 244 RegisterClient, 245 ResetSystem,
 * 246 ResumeHost, 247 RowColumn, 248 RunEmulatorMacro, 249 Run_____Macro,
 * 250 Run_____MacroAsync, 251 SearchField, 252 SearchSession,
 * 253 SendAndWait, 254 SendFile, 255 SendKey, 256 SendString,
 * 257 SendStringToField, 258 SessionOff, 259 SessionOn,
 * 260 SetCursorLocation, 261 SetParameter, 262 ShowLastError,
 * 263 StartKeystrokeIntercept, 264 StartSession, 265 StopKeystrokeIntercept,
 * 266 StopSession, 267 UnlockKeyboard, 268 UnregisterClient, 269 Wait,
 * 270 WaitForCursor, 271 WaitForCursorMove, 272 WaitForEvent,
 * 273 WaitForHostConnect, 274 WaitForHostDisconnect, 275 WaitForKey,
 * 276 WaitForString, 277 WaitHostQuiet; 279 GetSessionHandle.
 * The packing of each operation's arguments is the table in
 * src/utlapi/parameter_block_entry.cpp (for example 202 takes the table from
 * A, the event from B, the row from P's high half and the column from its
 * low half). */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAPIEntry(int32_t* function, char* data, int32_t* length,
                                                int32_t* argument, int32_t* argument_a, int32_t* argument_b);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAPIEntry725(int32_t* function, char* data, int32_t* length,
                                                   int32_t* argument, int32_t* argument_a,
                                                   int32_t* argument_b);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLAPIEntryAsync(int32_t* function, char* data, int32_t* length,
                                                     int32_t* argument, int32_t* argument_a,
                                                     int32_t* argument_b);

/* The inert ordinals: whatever the arguments, they answer 1 and do nothing.
 * Named UTLReserved and the ordinal. */
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved500(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved501(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved502(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved525(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved540(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved563(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved564(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved565(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved566(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved567(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved568(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved569(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved576(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved595(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved602(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved603(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved604(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved605(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved700(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved702(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved703(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved704(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved705(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved706(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL UTLReserved707(void);

#ifdef __cplusplus
}
#endif

#endif /* TRVHA64_UTLAPI_H */
