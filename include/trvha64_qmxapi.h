/*
 * trvha64: the session-management entries (QMXAPI) of the terminal-emulator
 * bridge library: start, stop, connect, disconnect and query the emulator's
 * sessions, named by a one-letter short name 'A' to 'Z'.
 *
 * Each entry is a synchronous request to the emulator: it returns once the
 * emulator has answered, or with QMX_SYSTEM_ERROR (9) when no emulator serves
 * these requests or the emulator ended while the call waited. Short names
 * are folded to upper case (trvSetLinkTimeout does not send its name).
 *
 * Windows: WINAPI (__stdcall) entries exported by ordinal only; the import
 * library maps the names below to the ordinals given with each entry.
 * Linux: the shared object exports the same names as plain C symbols.
 *
 * Any thread of any process may call the entries; each thread has its own
 * exchange record with the emulator, taken at its first call and kept until
 * its process unloads the library. 26 threads machine-wide can hold one;
 * a thread that gets none receives the no-record answer given below.
 *
 * Included by trvha64.h; may also be included on its own.
 */
#ifndef TRVHA64_QMXAPI_H
#define TRVHA64_QMXAPI_H

#include "trvha64.h"

#include <stdint.h>

/* No emulator serves QMXAPI, it ended during the call, or no record. */
#define QMX_SYSTEM_ERROR 9u
/* Set in a session's status word when the session is established. */
#define QMX_SESSION_ESTABLISHED 4u
/* Size of a workstation-profile buffer, with its terminating zero. */
#define QMX_PROFILE_SIZE 260
/* Most entries a session list holds. */
#define QMX_MAX_SESSIONS 128

#ifdef __cplusplus
extern "C" {
#endif

/* One entry of trvQuerySessionList (8 bytes). */
typedef struct trvQMXSessionEntry {
    char short_name;            /* 'A'..'Z' */
    unsigned char reserved[3];  /* as the emulator delivered them */
    uint32_t status;            /* QMX_SESSION_ESTABLISHED and the emulator's bits */
} trvQMXSessionEntry;

/*
 * Ordinal 215. Starts a session of the emulator from the profile `profile`
 * (at most 259 characters are sent) under the short name, shown in
 * `window_mode` (0 hidden, 1 normal, 2 minimised, 3 maximised). Answers the
 * emulator's code (0 success). With no emulator running it waits up to 45
 * seconds for one to register before answering 9.
 */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvStartSession(const char* profile, char short_name,
                                                     uint16_t window_mode);

/* Ordinal 216. Stops the session: 1 done, 0 not (also without a record).
 * `option` is not passed on. */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvStopSession(char short_name, uint16_t option);

/* Ordinal 217. Connects the session: 1 done, 0 not (also without a record). */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvConnectSession(char short_name);

/* Ordinal 218. Disconnects the session: 1 done, 0 not (also without a record). */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvDisconnectSession(char short_name);

/*
 * Ordinal 219. Answers how many sessions the emulator has (0 without a
 * record) and copies up to `count` of their entries into `entries`. With
 * count 0 or no buffer nothing is copied, so the number can be asked first.
 */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvQuerySessionList(uint32_t count,
                                                         trvQMXSessionEntry* entries);

/* Ordinal 213. The session's status word (0 without a record). */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvQueryEmulatorStatus(char short_name);

/*
 * Ordinal 214. Copies the session's workstation profile into `profile`
 * (QMX_PROFILE_SIZE bytes) and answers 1; 0 when the emulator has none (the
 * buffer then receives the text this thread's previous request left) or
 * without a record. A null buffer receives nothing.
 */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvQueryWorkstationProfile(char short_name, char* profile);

/* Ordinal 221. Answers 0; `info` is not used. */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvQueryConnectionInfo(char short_name, void* info);

/* Ordinal 220. Answers 0 (9 without a record); neither argument is sent. */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvSetLinkTimeout(char short_name, uint16_t timeout);

/* Ordinal 299, a reserved entry: always 9, and takes no record. */
TRVHA64_EXPORT uint32_t TRVHA64_CALL trvQMXAPIReserved(void);

#ifdef __cplusplus
}
#endif

#endif /* TRVHA64_QMXAPI_H */
