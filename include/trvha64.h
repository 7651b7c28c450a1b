/*
 * trvha64: the EHLLAPI entries of the terminal-emulator bridge library, for
 * applications written in C or C++.
 *
 * Every entry takes the four EHLLAPI parameters by address: the function
 * number, the data string, its length (in and out) and the return-code word
 * (in: the presentation-space position or other input of the functions that
 * take one; out: the return code). Each entry also returns the return code.
 *
 * Windows: the entries use the WINAPI (__stdcall) convention and are exported
 * by ordinal only; the import library maps the names below to the ordinals
 * (hllapi 113, hllapi_async 114, hllapi_thread 115). Linux: the shared object
 * exports the same names as plain C symbols.
 *
 * Any thread of any process may call the entries. All calls of one process
 * are serialised, except Stop Keystroke Intercept (53), which may be issued
 * while another thread of the process waits in Get Key (51).
 */
#ifndef TRVHA64_H
#define TRVHA64_H

#include <stdint.h>

#ifdef _WIN32
#define TRVHA64_CALL __stdcall
#define TRVHA64_EXPORT
#else
#define TRVHA64_CALL
#if defined(TRV_BUILDING_LIBRARY)
#define TRVHA64_EXPORT __attribute__((visibility("default")))
#else
#define TRVHA64_EXPORT
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The EHLLAPI entry with one exchange block for the whole process: the
 * connection, session parameters and registrations made by one thread hold
 * for every thread of the process.
 *
 * A null `return_code` answers 2 and writes nothing. A null `function`, or a
 * function number outside 1..HLLAPI_HIGHEST_FUNCTION, stores 10 and answers
 * 10. What each function reads from and writes into `data` is listed with
 * the function numbers below. When no emulator
 * session is registered every function answers 1 (Query Sessions: 0) and
 * stores 0 in the length. When the library cannot give the caller an
 * exchange block (all 26 are in use) or fails unexpectedly, the call answers
 * 9 (system error).
 */
TRVHA64_EXPORT int32_t TRVHA64_CALL hllapi(int32_t* function, char* data, int32_t* length,
                                           int32_t* return_code);

/*
 * As hllapi, but with one exchange block per calling thread: each thread has
 * its own connection, session parameters and registrations.
 */
TRVHA64_EXPORT int32_t TRVHA64_CALL hllapi_thread(int32_t* function, char* data, int32_t* length,
                                                  int32_t* return_code);

/*
 * The entry for asynchronous EHLLAPI requests, which this library does not
 * support: shows a warning box and answers 10 without using its parameters.
 */
TRVHA64_EXPORT int32_t TRVHA64_CALL hllapi_async(int32_t* function, char* data, int32_t* length,
                                                 int32_t* return_code);

#ifndef _WIN32
/*
 * Linux only: waiting for notifications.
 *
 * On Windows the event form of Start Host Notification (23) and Start Close
 * Intercept (41) gives the caller a Win32 event handle, and the message form
 * of 23, 41 and Start Keystroke Intercept (50) takes a window handle: callers
 * use WaitForSingleObject and GetMessage. On Linux those handles are this
 * library's own, and the functions below are how a caller waits on them.
 *
 * Event form: the function's data bytes 8-15 receive the address of a
 * uintptr_t that holds the event handle; pass that handle to
 * trvWaitForHandle. The event stays signalled until Query Host Update (24)
 * or Query Close Intercept (42) resets it. Stop Host Notification (25) and
 * Stop Close Intercept (43) close the handle; later waits on it fail.
 *
 * Message form: create a window with trvCreateMessageWindow, store it in data
 * bytes 8-15 (as a little-endian 64-bit value), and read the notifications
 * with trvGetMessage on the thread that created the window. They carry the
 * message number trvRegisterWindowMessage("QMXHLL") answers, wParam
 * HLLAPI_NOTIFY_WPARAM_BASE plus the caller's position in the session's
 * notification list (the number the start function wrote into data bytes
 * 8-9), and one of the HLLAPI_NOTIFY_* lParam values below.
 *
 * Handles and windows are meaningful only in the process that obtained them.
 * Null pointers and handles this library did not give out answer the failure
 * value; no call crashes on them.
 */

/* Results of trvWaitForHandle: the values WaitForSingleObject answers. */
#define TRV_WAIT_SIGNALLED 0u
#define TRV_WAIT_TIMEOUT 258u
#define TRV_WAIT_FAILED 0xFFFFFFFFu
/* A time limit that never ends, for trvWaitForHandle and trvGetMessage. */
#define TRV_INFINITE 0xFFFFFFFFu

/* One message taken from the calling thread's queue. */
typedef struct trvMessage {
    uintptr_t window; /* the window it was posted to; 0 for a message to the thread */
    uint32_t message; /* the message number */
    uintptr_t wParam;
    intptr_t lParam;
} trvMessage;

/*
 * Waits until the event `handle` is signalled or `timeout_ms` milliseconds
 * pass (TRV_INFINITE: no limit; 0: only looks). Answers TRV_WAIT_SIGNALLED,
 * TRV_WAIT_TIMEOUT, or TRV_WAIT_FAILED for a handle that is not an open
 * event of this process. Any thread may wait.
 */
TRVHA64_EXPORT uint32_t trvWaitForHandle(uintptr_t handle, uint32_t timeout_ms);

/*
 * Creates a message-only window owned by the calling thread: messages posted
 * to it, from any process, arrive in that thread's queue (trvGetMessage). It
 * lives until trvDestroyMessageWindow or the end of the thread. Answers the
 * window, or 0 on failure.
 */
TRVHA64_EXPORT uintptr_t trvCreateMessageWindow(void);

/* Destroys a window of this process: 0 done; -1 when `window` is not a live
 * window created in this process. */
TRVHA64_EXPORT int32_t trvDestroyMessageWindow(uintptr_t window);

/* The message number registered under `name` (0xC000..0xFFFF; the same in
 * every process, names compared without regard to case); 0 for a null or
 * empty name or on failure. */
TRVHA64_EXPORT uint32_t trvRegisterWindowMessage(const char* name);

/*
 * Takes the next message of the calling thread's queue (the messages posted
 * to its windows and to the thread itself, in posting order) into *message,
 * waiting up to `timeout_ms` milliseconds (TRV_INFINITE: no limit). Answers 1
 * with a message, 0 when the time limit passed, -1 for a null `message` or a
 * failure.
 */
TRVHA64_EXPORT int32_t trvGetMessage(trvMessage* message, uint32_t timeout_ms);
#endif /* !_WIN32 */

#ifdef __cplusplus
}
#endif

/*
 * The buffers: the library never reads or writes a caller's data string
 * beyond the sizes below. "length" is the caller's length word as it was
 * passed; where a function writes a reply longer than that, only the stated
 * size reaches the buffer.
 *
 *  3 Send Key, 6 Search PS, 9 Set Session Parameters, 15, 30, 33: read
 *    `length` bytes (more than HLLAPI_MAX_DATA: answers 2). Write nothing.
 *  5 Copy PS: reads nothing; writes the presentation space as the emulator
 *    delivers it: rows x columns bytes, twice that with EAB (at most
 *    HLLAPI_MAX_DATA), whatever `length` holds; STREOT adds nothing.
 *  8 Copy PS to String, 34 Copy Field to String: write at most `length`
 *    bytes (nothing when `length` is null or not positive); 34 reads
 *    `length` bytes.
 * 10 Query Sessions: writes 16-byte entries, as many as fit in `length`.
 * 13 Copy OIA: reads nothing; writes 103 bytes.
 * 20 Query System: writes 36 bytes.
 * 22 Query Session Status: reads and writes 20 bytes: letter 0, three
 *    reserved bytes, long name 4-11, type 12, characteristics 13, rows 14,
 *    columns 16, code page 18 (16-bit words).
 * 23 Start Host Notification: reads `length` bytes, which must hold the
 *    request's form: 5 (basic form, type P, O or B in byte 4) or 17
 *    (message form 'M' or event form 'A': handle field 8-15, type byte 16);
 *    a shorter string or another type answers 2 and registers nothing.
 *    Writes bytes 8-15 (event form) or 8-9 (message form).
 * 41 Start Close Intercept: reads and writes 16 bytes (`length` less than
 *    16 answers 2). 43, 53: read `length` bytes.
 * 50 Start Keystroke Intercept: `length` is the key queue's limit, not a
 *    size; reads 5 bytes (option D or L in byte 4) or 17 (message form 'M',
 *    option in byte 16); another option answers 2 and registers nothing.
 *    Writes bytes 8-9 in the message form.
 * 51 Get Key: reads byte 0; writes at most 10 bytes (bytes 4-9).
 * 52 Post Intercept Status: reads 5 bytes.
 * 24, 25, 42: read byte 0.
 * 31 Find Field Position, 32 Find Field Length: read 2 bytes.
 * 99 Convert Position or Row/Column: reads 5 bytes (session in byte 0,
 *    P or R in byte 4).
 * 60 Lock PS: reads 8 bytes. 61 Lock Window Services: reads 12 bytes.
 * 90 Send File, 91 Receive File: read `length` bytes, or with STREOT the
 *    bytes up to the end character (searched within HLLAPI_MAX_DATA bytes).
 *    The personal-computer file name holds at most 255 characters, the rest
 *    of the command (host file and options) at most 510: a longer one, an
 *    unterminated quote or a command without a host file answers 2.
 * 101 Connect Window Services, 110 Start Playing Macro: read `length` bytes.
 * 103 Query Window Coordinates: reads and writes 20 bytes.
 * 104 Window Status: reads and writes 28 bytes.
 * 105 Change Switch List Name, 106 Change Window Name: read 68 bytes.
 * Every other function reads byte 0 at most and writes nothing.
 */

/* Function numbers: 1..HLLAPI_HIGHEST_FUNCTION; the numbers between those
 * named below answer 10 (unsupported). */
#define HLLAPI_HIGHEST_FUNCTION 130
#define HA_CONNECT_PS 1
#define HA_DISCONNECT_PS 2
#define HA_SENDKEY 3
#define HA_WAIT 4
#define HA_COPY_PS 5
#define HA_SEARCH_PS 6
#define HA_QUERY_CURSOR_LOC 7
#define HA_COPY_PS_TO_STR 8
#define HA_SET_SESSION_PARMS 9
#define HA_QUERY_SESSIONS 10
#define HA_RESERVE 11
#define HA_RELEASE 12
#define HA_COPY_OIA 13
#define HA_QUERY_FIELD_ATTR 14
#define HA_COPY_STR_TO_PS 15
#define HA_STORAGE_MGR 17
#define HA_PAUSE 18
#define HA_QUERY_SYSTEM 20
#define HA_RESET_SYSTEM 21
#define HA_QUERY_SESSION_STATUS 22
#define HA_START_HOST_NOTIFY 23
#define HA_QUERY_HOST_UPDATE 24
#define HA_STOP_HOST_NOTIFY 25
#define HA_SEARCH_FIELD 30
#define HA_FIND_FIELD_POS 31
#define HA_FIND_FIELD_LEN 32
#define HA_COPY_STR_TO_FIELD 33
#define HA_COPY_FIELD_TO_STR 34
#define HA_SET_CURSOR 40
#define HA_START_CLOSE_INTERCEPT 41
#define HA_QUERY_CLOSE_INTERCEPT 42
#define HA_STOP_CLOSE_INTERCEPT 43
#define HA_QUERY_ADD_FIELD_ATTR 45
#define HA_START_KEY_INTERCEPT 50
#define HA_GET_KEY 51
#define HA_POST_INTERCEPT_STATUS 52
#define HA_STOP_KEY_INTERCEPT 53
#define HA_LOCK_PS 60
#define HA_LOCK_PMSVC 61
#define HA_SEND_FILE 90
#define HA_RECEIVE_FILE 91
#define HA_CONVERT_POS_ROW_COL 99
#define HA_CONNECT_PM_SRVCS 101
#define HA_DISCONNECT_PM_SRVCS 102
#define HA_QUERY_WINDOW_COORDS 103
#define HA_PM_WINDOW_STATUS 104
#define HA_CHANGE_SWITCH_NAME 105
#define HA_CHANGE_WINDOW_NAME 106
#define HA_START_PLAYING_MACRO 110

/* Return codes. The library produces the codes of this first list itself;
 * the emulator answers the second list's (and some of the first) for the
 * functions it carries out, and the library passes them on unchanged. A
 * code's meaning depends on the function: docs/functions.md lists, for
 * every function, the codes it can answer and what each means there. */
#define HLLAPI_RC_SUCCESS 0
#define HLLAPI_RC_NO_SESSION 1            /* no valid, established or connected session */
#define HLLAPI_RC_BAD_PARAMETER 2         /* unknown keyword, missing or oversized data */
#define HLLAPI_RC_WAIT_TIMEOUT 4          /* Wait timed out while input was inhibited */
#define HLLAPI_RC_KEY_INTERCEPT_ACTIVE 5  /* Reserve refused during a keystroke intercept */
#define HLLAPI_RC_DATA_TRUNCATED 6        /* the reply was cut to the caller's length */
#define HLLAPI_RC_NOT_STARTED 8           /* notification or intercept not started */
#define HLLAPI_RC_SYSTEM_ERROR 9          /* wait failed, list full, session ended */
#define HLLAPI_RC_UNSUPPORTED 10          /* function not supported */
#define HLLAPI_RC_IN_USE 11               /* held by another application */
#define HLLAPI_RC_NOT_ESTABLISHED 12      /* named session not established */
#define HLLAPI_RC_BAD_KEY_MODE 20         /* Get Key: keystroke of a kind the intercept refuses */
#define HLLAPI_RC_OIA_UPDATED 21          /* host update: status line */
#define HLLAPI_RC_PS_UPDATED 22           /* host update: presentation space */
#define HLLAPI_RC_BOTH_UPDATED 23         /* host update: both */
#define HLLAPI_RC_UNFORMATTED 24          /* the presentation space has no fields */
#define HLLAPI_RC_NO_KEY 25               /* Get Key: no keystroke available */
#define HLLAPI_RC_EVENT_OCCURRED 26       /* Pause ended by a host update; close requested */
#define HLLAPI_RC_KEY_QUEUE_OVERFLOW 31   /* Get Key: keystroke queue overflow */

/* Return codes of the reference emulator. */
#define HLLAPI_RC_HOST_BUSY 4             /* Send Key, Set Cursor: the host has not answered yet */
#define HLLAPI_RC_INHIBITED 5             /* input inhibited, or a protected position or field */
#define HLLAPI_RC_INVALID_POSITION 7      /* the position is not on the screen */
#define HLLAPI_RC_NOT_FOUND 24            /* text or field not found; the screen is unformatted */
#define HLLAPI_RC_NO_SOURCE_FILE 27       /* Send File, Receive File: the source file does not exist */
#define HLLAPI_RC_ZERO_LENGTH_FIELD 28    /* Find Field: the field has no character positions */

/*
 * The notification message ("QMXHLL", Linux: trvRegisterWindowMessage):
 * wParam is HLLAPI_NOTIFY_WPARAM_BASE plus the caller's position in the
 * session's list; lParam says what happened: a return code in the high word
 * and the function that registered the notification in the low word.
 */
#define HLLAPI_NOTIFY_WPARAM_BASE 45
#define HLLAPI_NOTIFY_STATUS_LINE ((HLLAPI_RC_OIA_UPDATED << 16) | HA_START_HOST_NOTIFY)
#define HLLAPI_NOTIFY_PRESENTATION_SPACE ((HLLAPI_RC_PS_UPDATED << 16) | HA_START_HOST_NOTIFY)
/* Host notification when the session ends. */
#define HLLAPI_NOTIFY_SESSION_ENDED ((HLLAPI_RC_BOTH_UPDATED << 16) | HA_START_HOST_NOTIFY)
#define HLLAPI_NOTIFY_CLOSE_ATTEMPT ((HLLAPI_RC_EVENT_OCCURRED << 16) | HA_START_CLOSE_INTERCEPT)
#define HLLAPI_NOTIFY_KEYSTROKE HA_START_KEY_INTERCEPT

/* Largest data string a request or reply carries, in bytes. */
#define HLLAPI_MAX_DATA 10240

/*
 * The data strings that callers build or parse, as records at the byte
 * offsets of the caller's buffer (little-endian integers, single-byte
 * characters; the offset of each field in its comment).
 */
#pragma pack(push, 1)

/* 10 Query Sessions: one entry per session, as many as `length` / 16 hold;
 * the length word receives the number of sessions. */
typedef struct trvQuerySessionsEntry {
    char ShortName;          /* 0: the session letter */
    uint8_t Reserved1[3];    /* 1 */
    char LongName[8];        /* 4: the session's long name: the letter, then zeros */
    char SessionType;        /* 12: 'H' host session */
    uint8_t Reserved13;      /* 13 */
    uint16_t PSSize;         /* 14: positions of the presentation space */
} trvQuerySessionsEntry;

/* 20 Query System: the 36-byte answer. */
typedef struct trvQuerySystemReply {
    char Version;            /* 0: '1' */
    char Level[2];           /* 1: "19" */
    char BuildDate[6];       /* 3: MMDDYY */
    char Reserved9[3];       /* 9: blanks */
    char HardwareBase;       /* 12: 'U' */
    char ProgramType;        /* 13: 'H' */
    char Reserved14[4];      /* 14: "0090" */
    char Reserved18;         /* 18: blank */
    char Reserved19[8];      /* 19: "00000000" */
    uint8_t Reserved27[3];   /* 27 */
    uint16_t CodePage;       /* 30: the ANSI code page */
    char Reserved32;         /* 32: blank */
    uint8_t Reserved33[3];   /* 33 */
} trvQuerySystemReply;

/* 22 Query Session Status: byte 0 names the session (blank or 0: the
 * connected one); the 20-byte answer replaces the request. */
typedef struct trvQuerySessionStatusReply {
    char ShortName;          /* 0 */
    uint8_t Reserved1[3];    /* 1 */
    char LongName[8];        /* 4: the same long name as Query Sessions gives */
    char SessionType;        /* 12: 'D' display */
    uint8_t Characteristics; /* 13: 0x80 extended attributes */
    uint16_t Rows;           /* 14 */
    uint16_t Columns;        /* 16 */
    uint16_t CodePage;       /* 18: the host code page */
} trvQuerySessionStatusReply;

/* 22 Query Session Status through the WinHLLAPI entries (WinHLLAPI, ordinal
 * 801, and ordinal 116): the packed 16-bit record, 18 bytes. */
typedef struct trvQuerySessionStatusReply16 {
    char ShortName;          /* 0 */
    char LongName[8];        /* 1 */
    char SessionType;        /* 9: 'D' display */
    uint8_t Characteristics; /* 10 */
    uint16_t Rows;           /* 11 */
    uint16_t Columns;        /* 13 */
    uint16_t CodePage;       /* 15 */
    uint8_t Reserved17;      /* 17: left as the caller had it */
} trvQuerySessionStatusReply16;

/* 13 Copy OIA: the status line and its indicators (103 bytes). */
typedef struct trvOIAReply {
    uint8_t Format;          /* 0: the format byte, '1' */
    uint8_t Image[80];       /* 1: the status line as the operator sees it */
    uint8_t Indicators[22];  /* 81: the group indicators (HLLAPI_OIA_* below) */
} trvOIAReply;

/* 23 Start Host Notification, 41 Start Close Intercept, 50 Start Keystroke
 * Intercept: the request. The basic forms of 23 and 50 end after Form (5
 * bytes); 41 is 16 bytes; the message and event forms are 17. */
typedef struct trvNotifyRequest {
    char ShortName;          /* 0: the session (23: blank or 0 for the connected one) */
    uint8_t Reserved1[3];    /* 1 */
    char Form;               /* 4: the type 'P', 'O', 'B' (23) or option 'D', 'L' (50) of the
                                basic form; 'M' message form; 'A' event form (23) */
    uint8_t Reserved5[3];    /* 5 */
    uint8_t Handle[8];       /* 8: in: the window (message form); out: the message
                                identifier (u16, message form) or the address of the
                                uintptr_t that holds the event handle (event form) */
    char Type;               /* 16: the type or option of the message and event forms */
} trvNotifyRequest;

/* 51 Get Key: what the library writes. */
typedef struct trvGetKeyReply {
    char ShortName;          /* 0: in, the session */
    uint8_t Reserved1[3];    /* 1 */
    char Kind;               /* 4: 'A' a character, 'M' a mnemonic */
    char Key[5];             /* 5: the character (one or two bytes) or the mnemonic text
                                with the escape character, NUL-terminated */
} trvGetKeyReply;

/* 52 Post Intercept Status: the request. */
typedef struct trvPostInterceptStatusRequest {
    char ShortName;          /* 0 */
    uint8_t Reserved1[3];    /* 1 */
    char Status;             /* 4: 'A' accept, 'R' reject */
} trvPostInterceptStatusRequest;

/* 31 Find Field Position, 32 Find Field Length: the field code ("T " or
 * "  " this field, "N "/"P " next/previous, "NP"/"PP" protected, "NU"/"PU"
 * unprotected). */
typedef struct trvFieldCodeRequest {
    char Code[2];            /* 0 */
} trvFieldCodeRequest;

/* 99 Convert Position or Row/Column: the request. 'P': the return-code word
 * holds the position; the length word receives the row and the return code
 * is the column (0: not on the screen). 'R': the length word holds the row,
 * the return-code word the column; the return code is the position (0: not
 * on the screen; 9999: neither 'P' nor 'R'). */
typedef struct trvConvertPositionRequest {
    char ShortName;          /* 0: the session */
    uint8_t Reserved1[3];    /* 1 */
    char Conversion;         /* 4: 'P' position to row and column, 'R' the reverse */
} trvConvertPositionRequest;

#pragma pack(pop)

/* Copy OIA: bits of the indicator groups, as the reference emulator sets
 * them; byte offsets count from the start of trvOIAReply. Input is
 * inhibited while any bit of group 8 (bytes 88-92) is set. */
#define HLLAPI_OIA_ONLINE_OFFSET 81        /* group 1: online and screen ownership */
#define HLLAPI_OIA_SUBSYSTEM_READY 0x04
#define HLLAPI_OIA_APPLICATION_OWNED 0x10  /* connected to the host application */
#define HLLAPI_OIA_INSERT_OFFSET 87        /* group 7 */
#define HLLAPI_OIA_INSERT_MODE 0x80
#define HLLAPI_OIA_INHIBIT_OFFSET 88       /* group 8: five bytes */
#define HLLAPI_OIA_INHIBIT_LENGTH 5
#define HLLAPI_OIA_MACHINE_CHECK_OFFSET 88
#define HLLAPI_OIA_MACHINE_CHECK 0x20
#define HLLAPI_OIA_COMM_CHECK_OFFSET 88
#define HLLAPI_OIA_COMM_CHECK 0x10
#define HLLAPI_OIA_PROGRAM_CHECK_OFFSET 88 /* "X PROG": the host refused the input */
#define HLLAPI_OIA_PROGRAM_CHECK 0x08
#define HLLAPI_OIA_MINUS_FUNCTION_OFFSET 89 /* "X -f" */
#define HLLAPI_OIA_MINUS_FUNCTION 0x10
#define HLLAPI_OIA_TOO_MUCH_OFFSET 89      /* "X MORE" */
#define HLLAPI_OIA_TOO_MUCH 0x08
#define HLLAPI_OIA_NUMERIC_OFFSET 89       /* "X NUM" */
#define HLLAPI_OIA_NUMERIC 0x01
#define HLLAPI_OIA_PROTECTED_OFFSET 90     /* "X PROT" */
#define HLLAPI_OIA_PROTECTED 0x80
#define HLLAPI_OIA_SYSTEM_WAIT_OFFSET 91   /* "X SYSTEM": waiting for the host */
#define HLLAPI_OIA_SYSTEM_WAIT 0x20

/* 14 Query Field Attribute: bits of the attribute byte the length word
 * receives. */
#define HLLAPI_FIELD_PROTECTED 0x20
#define HLLAPI_FIELD_NUMERIC 0x10
#define HLLAPI_FIELD_DISPLAY_MASK 0x0C
#define HLLAPI_FIELD_DISPLAY_NONE 0x0C     /* hidden, as a password field */
#define HLLAPI_FIELD_MODIFIED 0x01

/*
 * 9 Set Session Parameters: keywords separated by blanks or commas; each
 * pair's first keyword is the default of a new connection. The length word
 * receives the number of keywords recognised; an unknown one answers 2.
 *   STRLEN/STREOT        strings by length, or ended by the EOT character
 *   SRCHALL/SRCHFROM     6 Search PS: the whole screen, or from the position
 *   SRCHFRWD/SRCHBKWD    6 Search PS, 30 Search Field: forward or backward
 *   NOATTRB/ATTRB/NULLATTRB  copy functions: attribute positions as blanks,
 *                        as their attribute bytes, or as zeros
 *   FPAUSE/IPAUSE        18 Pause: full length, or ended by a host update
 *   NOQUIET/QUIET, AUTORESET/NORESET, CONLOG/CONPHYS (Connect raises the window)
 *   TWAIT/LWAIT/NWAIT    4 Wait, 51 Get Key: 60 seconds, no limit, no wait
 *   NOEAB/EAB            copy functions with extended attribute bytes
 *   NOXLATE/XLATE, BLANK/NOBLANK, CFGSIZE/NOCFGSIZE, DISPLAY/NODISPLAY,
 *   NOPUTEAB/PUTEAB, RETRY/NORETRY (Send Key waits for the host and
 *   retries), NOEXTEND_PS/EXTEND_PS, NOKEY/KEY
 *   EOT=c  the STREOT end character (default 0); ESC=c  Send Key's escape
 *   character (default '@'); TIMEOUT=d  the file-transfer time value, 30
 *   times d (0-9, or J-N for 10-14)
 */

/* The session-management entries (QMXAPI). */
#include "trvha64_qmxapi.h"

#endif /* TRVHA64_H */
