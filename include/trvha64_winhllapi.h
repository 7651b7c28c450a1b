/*
 * trvha64: the WinHLLAPI entries and the EHLLAPI entry with 16-bit
 * parameters, for applications written in C or C++.
 *
 * The WinHLLAPI entries take the function number, the length and the
 * return-code word as 16-bit words, and the data strings in the packed
 * layouts of the 16-bit interface (a session short name is one byte, a
 * window handle in a data string is 16 bits). The library converts them to
 * its 32-bit EHLLAPI entry (hllapi_thread: one exchange block per calling
 * thread) and back.
 *
 * Windows: the entries use the WINAPI (__stdcall) convention and are
 * exported by ordinal only; the import library maps the names below to their
 * ordinals (given with each). Linux: the shared object exports the same names
 * as plain C symbols, and the completion messages of asynchronous requests go
 * to the library's message windows (trvCreateMessageWindow, read with
 * trvGetMessage, include/trvha64.h); a window handle is then such a window.
 *
 * Any thread may call the entries. No entry crashes on a null pointer: a null
 * return-code word answers 2 (after a warning box, which the unattended
 * setting sends to standard error instead) and writes nothing.
 */
#ifndef TRVHA64_WINHLLAPI_H
#define TRVHA64_WINHLLAPI_H

#include <stdint.h>

#include "trvha64.h"

#ifdef __cplusplus
extern "C" {
#endif

/* WinHLLAPIStartup answers. */
#define WHLLAPI_STARTUP_OK 0
#define WHLLAPI_VERSION_NOT_SUPPORTED 0xF004
/* WinHLLAPICancelAsyncRequest: no such request. */
#define WHLLAPI_INVALID_TASK_HANDLE 0xF001
/* WinHLLAPIAsync's task handle of a request answered by a worker (Wait
 * before a 1.1 start-up, Send File, Receive File). */
#define WHLLAPI_WORKER_TASK 0xFFFF

/* Version words: the major number in the low byte, the minor number in the
 * high byte. This library offers 1.1. */
#define WHLLAPI_VERSION(major, minor) ((uint16_t)((major) | ((minor) << 8)))

/* The start-up record, filled in by WinHLLAPIStartup: 130 bytes, packed. */
#define WHLLAPI_DESCRIPTION_SIZE 128
#pragma pack(push, 1)
typedef struct trvWinHLLAPIStartupData {
    uint16_t wVersion;                            /* 0: the version offered, 0x0101 */
    char szDescription[WHLLAPI_DESCRIPTION_SIZE]; /* 2: "WHLLAPI.DLL Version 1.1 by Ombrel Corporation" */
} trvWinHLLAPIStartupData;
#pragma pack(pop)

/* Storage manager (function 17 through WinHLLAPI): requests, passed in the
 * return-code word. Get storage: length = the size wanted (1..65535); answers
 * the block's address in data bytes 0..3 (the block lies below 4 GB, so a
 * 64-bit caller zero-extends it and uses it as is), its id in the length and
 * 0, or 0, 0 and 1 when nothing fits. Free storage: length = the id; 0, or 2
 * for an unknown id. Query free storage: the largest free size after
 * merging, in the length. Free all storage: 0. Blocks live until freed or
 * until the library leaves the process. */
#define WHLLAPI_GET_STORAGE 1
#define WHLLAPI_FREE_STORAGE 2
#define WHLLAPI_QUERY_FREE_STORAGE 3
#define WHLLAPI_FREE_ALL_STORAGE 4

/*
 * Ordinal 801: the synchronous call. Converts the 16-bit call, runs it on
 * hllapi_thread and converts the results back; answers the return-code word.
 * A length below what the function's 16-bit layout needs answers 2 without
 * calling; a null function or length word, 9. Function 17 is the storage
 * manager above. Query Session Status (22) needs 18 bytes and answers the
 * packed record: letter 0, long name 1-8, type 9, characteristics 10, rows
 * 11, columns 13, code page 15 (16-bit words); byte 17 is left as it was.
 */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPI(uint16_t* function, uint8_t* data, uint16_t* length,
                                              uint16_t* return_code);

/* Ordinal 802: the 32-bit call, passed to hllapi_thread unchanged. */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPI32(int32_t* function, char* data, int32_t* length,
                                                int32_t* return_code);

/* Ordinal 803: always WHLLAPI_INVALID_TASK_HANDLE (no request is cancelled). */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPICancelAsyncRequest(uint16_t task_handle, uint16_t function);

/* Blocking hooks are not supported: ordinals 804 (answers 1), 805 (0) and
 * 810 (null) show a warning box; 806 answers 1. */
typedef int32_t(TRVHA64_CALL* trvWinHLLAPIBlockingHook)(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPICancelBlockingCall(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPIIsBlocking(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPIUnhookBlockingHook(void);
TRVHA64_EXPORT trvWinHLLAPIBlockingHook TRVHA64_CALL
WinHLLAPISetBlockingHook(trvWinHLLAPIBlockingHook hook);

/* Ordinal 807: answers 1; the negotiated version stays. */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPICleanup(void);

/*
 * Ordinal 808: version negotiation. Fills *data (when not null) with the
 * version offered and the description, then answers WHLLAPI_STARTUP_OK when
 * `version_wanted` is at most 1.1 (and keeps it as the process's version) or
 * WHLLAPI_VERSION_NOT_SUPPORTED.
 */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPIStartup(uint16_t version_wanted, trvWinHLLAPIStartupData* data);

/*
 * Ordinal 809: the asynchronous call; answers a task handle, or 0.
 * - Start Host Notification (23), Start Close Intercept (41) and Start
 *   Keystroke Intercept (50) run at once in their message form, with
 *   `window` as the notification window; the task handle is the message
 *   identifier the start function gives (the wParam of the notifications),
 *   0 when it failed (23: whatever it answered).
 * - Wait (4) after a start-up that negotiated 1.1 runs synchronously and
 *   answers 0.
 * - Wait before such a start-up, Send File (90) and Receive File (91) are
 *   answered by a worker thread: the call answers WHLLAPI_WORKER_TASK, and
 *   the worker posts to `window` the message registered as "WinHLLAPIAsync"
 *   (wParam the task handle, lParam the function in bits 0-15 and the return
 *   code in bits 16-31) or, for 90 and 91, "WinHLLAPIAsyncFileTransfer"
 *   (wParam the session short name x 256 + 1, lParam the return code). The
 *   asynchronous forms are not supported: the return code is the one the
 *   caller passed in.
 * Failures answer 0 and set the return-code word: 2 for a window that is not
 * a window or a length too short, 9 for a function without an asynchronous
 * form, a null function or length word or a worker that cannot start.
 */
TRVHA64_EXPORT uint16_t TRVHA64_CALL WinHLLAPIAsync(uintptr_t window, uint16_t* function, uint8_t* data,
                                                    uint16_t* length, uint16_t* return_code);

/* Ordinal 811: as WinHLLAPIAsync. */
TRVHA64_EXPORT uint16_t TRVHA64_CALL WinHLLAPIAsyncEx(uintptr_t window, uint16_t* function, uint8_t* data,
                                                      uint16_t* length, uint16_t* return_code);

/* Ordinal 812: answers 0xFFFFFFFF. */
TRVHA64_EXPORT uint32_t TRVHA64_CALL WinHLLAPIReserved(void* handle, uint32_t value);

/* Ordinal 116: the EHLLAPI entry with the 16-bit layouts, as WinHLLAPI; the
 * first two arguments are not used. */
TRVHA64_EXPORT int64_t TRVHA64_CALL hllapi16(void* reserved1, void* reserved2, uint16_t* function,
                                              uint8_t* data, uint16_t* length, uint16_t* return_code);

/*
 * Ordinals 321 and 387 to 402: the first WinHLLAPI extension set, with
 * fixed answers; none touches any state. 390, 392 and 396 show the same
 * warning boxes as 805, 810 and 804.
 */
TRVHA64_EXPORT void TRVHA64_CALL WinHLLAPIDiagnostic(uint8_t code, uint32_t length, const char* text); /* 321 */
TRVHA64_EXPORT void* TRVHA64_CALL WinHLLAPIFindAsyncRequest(uint16_t task_handle);   /* 387: null */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPILegacy388(void);                        /* 0 */
TRVHA64_EXPORT void TRVHA64_CALL WinHLLAPILegacy389(void);
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPILegacyIsBlocking(void);                 /* 390: 0 */
TRVHA64_EXPORT void TRVHA64_CALL WinHLLAPILegacy391(void);
TRVHA64_EXPORT trvWinHLLAPIBlockingHook TRVHA64_CALL
WinHLLAPILegacySetBlockingHook(trvWinHLLAPIBlockingHook hook);                        /* 392: null */
TRVHA64_EXPORT uint32_t TRVHA64_CALL WinHLLAPILegacy393(void* handle, uint32_t value); /* 0xFFFFFFFF */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPILegacyCancelBlockingCall(void);         /* 396: 1 */
TRVHA64_EXPORT int32_t TRVHA64_CALL WinHLLAPILegacyCancelAsyncRequest(uint16_t task_handle); /* 397: 0xF001 */
TRVHA64_EXPORT uint8_t TRVHA64_CALL WinHLLAPILegacy398(void);                        /* 0xFF */
TRVHA64_EXPORT uint16_t TRVHA64_CALL WinHLLAPILegacy399(uintptr_t window, void* first, void* second); /* 0xFFFF */
TRVHA64_EXPORT void TRVHA64_CALL WinHLLAPIDiagnosticCall(uintptr_t a, uintptr_t b, uintptr_t c, uintptr_t d,
                                                         uintptr_t e, uintptr_t f, uintptr_t g); /* 402 */

#ifdef __cplusplus
}
#endif

#endif /* TRVHA64_WINHLLAPI_H */
