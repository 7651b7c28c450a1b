/*
 * hllapi_demo: a small EHLLAPI program, written the way an application uses
 * the library. It connects to one emulator session, prints its screen, signs
 * on to the demonstration host, waits for the host's answer, prints the next
 * screen, reads one field, signs off again (F3 from the main menu) and
 * disconnects, so that the next run finds the sign-on screen as this one did.
 *
 *   hllapi_demo [session letter, default A] [user, default DEMO01] [password, default PALVERO]
 *
 * Every EHLLAPI call goes through one entry, hllapi(), with four parameters
 * passed by address: the function number, the data string, its length (in
 * and out) and the return-code word (in: a presentation-space position for
 * the functions that take one; out: the return code). Positions count from
 * 1 at the top-left corner, row by row.
 *
 * Exit status: 0 when every step worked, 1 when a call was refused (the
 * refusing call and its return code are printed), 2 for bad arguments.
 */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "trvha64.h"

#ifdef _WIN32
#include <windows.h>
static void SleepMs(unsigned ms) { Sleep(ms); }
#else
#include <time.h>
static void SleepMs(unsigned ms) {
    struct timespec delay = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    nanosleep(&delay, NULL);
}
#endif

/* The demonstration host answers in well under a second; give it ten. */
#define HOST_WAIT_LIMIT_MS 10000
#define HOST_POLL_STEP_MS 50

/* The screen size; Query Session Status tells the real one. */
static int g_rows = 24;
static int g_columns = 80;

/* One EHLLAPI call. `position` goes in through the return-code word; the
 * return code comes back; *length (when given) holds what the function
 * answers in the length word. */
static int32_t Call(int32_t function, char* data, int32_t* length, int32_t position) {
    int32_t unusedLength = 0;
    int32_t returnCode = position;
    hllapi(&function, data, length != NULL ? length : &unusedLength, &returnCode);
    return returnCode;
}

/* Reports a refused call and answers 0, so that callers can write
 * `if (!Check(...)) goto done;`. */
static int Check(const char* what, int32_t returnCode, const char* meaning) {
    if (returnCode == HLLAPI_RC_SUCCESS) {
        printf("  %-30s rc 0\n", what);
        return 1;
    }
    printf("  %-30s rc %d: %s\n", what, (int)returnCode, meaning != NULL ? meaning : "refused");
    return 0;
}

static const char* CommonMeaning(int32_t returnCode) {
    switch (returnCode) {
        case HLLAPI_RC_NO_SESSION: return "not connected, or no session is registered";
        case HLLAPI_RC_BAD_PARAMETER: return "bad parameter";
        case HLLAPI_RC_SYSTEM_ERROR: return "system error (the session may have ended)";
        case HLLAPI_RC_UNSUPPORTED: return "this library does not support the function (yet)";
        case HLLAPI_RC_IN_USE: return "the session is held by another application";
        default: return "refused by the emulator";
    }
}

/* Copy Presentation Space (5): the whole screen, one byte per position, into
 * `screen` (rows * columns bytes). Answers the return code. */
static int32_t CopyScreen(char* screen, int32_t size) {
    int32_t length = size;
    return Call(HA_COPY_PS, screen, &length, 0);
}

static void PrintScreen(const char* title) {
    char screen[HLLAPI_MAX_DATA + 1];
    const int32_t size = g_rows * g_columns;
    int32_t rc;
    int row;
    if (size <= 0 || size > HLLAPI_MAX_DATA) return;
    rc = CopyScreen(screen, size);
    if (rc != HLLAPI_RC_SUCCESS) {
        printf("  Copy Presentation Space (5)    rc %d: %s\n", (int)rc, CommonMeaning(rc));
        return;
    }
    printf("%s (%dx%d):\n", title, g_rows, g_columns);
    printf("  +");
    for (row = 0; row < g_columns; ++row) putchar('-');
    printf("+\n");
    for (row = 0; row < g_rows; ++row) {
        /* Nulls and attribute positions come back as blanks or NULs; show blanks. */
        int column;
        printf("  |");
        for (column = 0; column < g_columns; ++column) {
            unsigned char c = (unsigned char)screen[row * g_columns + column];
            putchar(c >= 0x20 && c < 0x7F ? c : ' ');
        }
        printf("|\n");
    }
    printf("  +");
    for (row = 0; row < g_columns; ++row) putchar('-');
    printf("+\n");
}

/* Search Presentation Space (6) for `text` from position 1: answers the
 * position (> 0) or 0 when the text is not on the screen. */
static int32_t FindOnScreen(const char* text) {
    char data[256];
    int32_t length = (int32_t)strlen(text);
    int32_t rc;
    if (length <= 0 || length >= (int32_t)sizeof data) return 0;
    memcpy(data, text, (size_t)length + 1);
    rc = Call(HA_SEARCH_PS, data, &length, 1);
    return rc == HLLAPI_RC_SUCCESS ? length : 0;
}

/* Waits until the host has answered and `expected` is on the screen.
 *
 * Wait (4) returns once the host has unlocked the keyboard: 0 ready, 4 timed
 * out while input was still inhibited, 5 keyboard locked. A library without
 * Wait answers 10; then the screen is polled instead, in short steps and for
 * a bounded time. Either way the screen must show `expected` in the end.
 * Answers 1 when it does. */
static int WaitForHost(const char* expected) {
    static int waitSupported = -1; /* unknown until the first call */
    int waited = 0;
    if (waitSupported != 0) {
        int32_t rc = Call(HA_WAIT, NULL, NULL, 0);
        if (rc == HLLAPI_RC_UNSUPPORTED) {
            waitSupported = 0;
            printf("  Wait (4)                       rc 10: not supported here; polling the screen\n");
        } else {
            waitSupported = 1;
            printf("  Wait (4)                       rc %d%s\n", (int)rc,
                   rc == 0 ? ": the keyboard is free" : ": the host has not finished");
        }
    }
    for (;;) {
        if (FindOnScreen(expected) > 0) return 1;
        if (waited >= HOST_WAIT_LIMIT_MS) return 0;
        SleepMs(HOST_POLL_STEP_MS);
        waited += HOST_POLL_STEP_MS;
    }
}

int main(int argc, char** argv) {
    const char* letter = argc > 1 ? argv[1] : "A";
    const char* user = argc > 2 ? argv[2] : "DEMO01";
    const char* password = argc > 3 ? argv[3] : "PALVERO";
    char data[HLLAPI_MAX_DATA + 1];
    int32_t length;
    int32_t rc;
    int32_t position;
    int status = 1;
    int connected = 0;

    if (strlen(letter) != 1 || strlen(user) > 10 || strlen(password) > 10) {
        fprintf(stderr, "usage: hllapi_demo [session letter] [user] [password]\n");
        return 2;
    }

    /* Query Sessions (10): one 16-byte entry per session (trvQuerySessionsEntry
     * in trvha64.h): byte 0 the letter, 4-11 the long name, 12 the type 'H',
     * 14-15 the screen size in positions (little-endian). The length word
     * says how many sessions there are. */
    printf("Sessions the emulator offers:\n");
    memset(data, 0, sizeof data);
    length = 26 * 16;
    rc = Call(HA_QUERY_SESSIONS, data, &length, 0);
    if (!Check("Query Sessions (10)", rc, CommonMeaning(rc))) goto done;
    for (position = 0; position < length && position < 26; ++position) {
        const unsigned char* entry = (const unsigned char*)data + position * 16;
        printf("    session %c, long name %.8s, %d positions\n", entry[0] != 0 ? entry[0] : '?',
               (const char*)entry + 4, entry[14] | (entry[15] << 8));
    }

    /* Connect Presentation Space (1): the data string is the session letter.
     * 0 connected; 1 no such session; 4 connected, but the host is busy;
     * 5 connected, keyboard locked; 11 another application holds it. */
    printf("Connecting to session %s:\n", letter);
    strcpy(data, letter);
    length = 1;
    rc = Call(HA_CONNECT_PS, data, &length, 0);
    if (rc == 4 || rc == 5) {
        printf("  Connect Presentation Space (1) rc %d: connected, host busy or keyboard locked\n", (int)rc);
    } else if (!Check("Connect Presentation Space (1)", rc, CommonMeaning(rc))) {
        goto done;
    }
    connected = 1;

    /* Query Session Status (22): a 20-byte record for the session named in
     * byte 0 (blank: the connected one): letter, three reserved bytes, the
     * 8-byte long name at 4 (the same as in Query Sessions), type 'D'
     * (display) at 12, characteristics, then rows, columns and code page as
     * little-endian 16-bit words at 14, 16 and 18 (trvQuerySessionStatusReply
     * in trvha64.h). */
    memset(data, ' ', 20);
    data[0] = letter[0];
    length = 20;
    rc = Call(HA_QUERY_SESSION_STATUS, data, &length, 0);
    if (Check("Query Session Status (22)", rc, CommonMeaning(rc))) {
        const unsigned char* record = (const unsigned char*)data;
        int rows = record[14] | (record[15] << 8);
        int columns = record[16] | (record[17] << 8);
        printf("    session %c, long name %.8s, type %c, %d rows x %d columns, code page %d\n", record[0],
               data + 4, record[12], rows, columns, record[18] | (record[19] << 8));
        if (rows > 0 && columns > 0 && rows * columns <= HLLAPI_MAX_DATA) {
            g_rows = rows;
            g_columns = columns;
        }
    } else {
        /* Not fatal: the screen is read as the model 2 size, 24x80. */
        printf("    going on with a %dx%d screen\n", g_rows, g_columns);
    }

    PrintScreen("The screen after connecting");

    /* Send Key (3): keystrokes as text; @T is Tab, @E is Enter. The user ID
     * goes into the field under the cursor, Tab moves to the password field.
     * 0 sent; 4 host busy; 5 keyboard locked or a protected field. */
    printf("Signing on as %s:\n", user);
    length = (int32_t)snprintf(data, sizeof data, "%s@T%s@E", user, password);
    rc = Call(HA_SENDKEY, data, &length, 0);
    if (!Check("Send Key (3)", rc, rc == 4 ? "the host is busy"
                                   : rc == 5 ? "input inhibited or a protected field"
                                             : CommonMeaning(rc))) {
        goto done;
    }

    /* The host answers the Enter key with its main menu. */
    if (!WaitForHost("Main Menu")) {
        printf("  the main menu did not come within %d ms\n", HOST_WAIT_LIMIT_MS);
        PrintScreen("The screen instead");
        goto done;
    }
    PrintScreen("The screen after signing on");

    /* Reading one field: the menu's selection input field.
     * Find Field Position (31) with "NU" (next unprotected field) from
     * position 1 answers the field's first position in the length word. */
    strcpy(data, "NU");
    length = 2;
    rc = Call(HA_FIND_FIELD_POS, data, &length, 1);
    if (!Check("Find Field Position (31) \"NU\"", rc, CommonMeaning(rc))) goto done;
    position = length;
    printf("    first input field at position %d (row %d, column %d)\n", (int)position,
           (int)((position - 1) / g_columns + 1), (int)((position - 1) % g_columns + 1));

    /* Find Field Length (32) "T " (this field) answers its length. */
    strcpy(data, "T ");
    length = 2;
    rc = Call(HA_FIND_FIELD_LEN, data, &length, position);
    if (!Check("Find Field Length (32) \"T \"", rc, CommonMeaning(rc))) goto done;
    printf("    field length %d\n", (int)length);

    /* Copy Field to String (34): the text of the field at the position into
     * the data string, at most `length` bytes. Ask for the label before the
     * input field too: the protected field just before it. */
    {
        int32_t labelPosition = FindOnScreen("Selection");
        int32_t fieldLength = length;
        if (labelPosition > 0) {
            memset(data, 0, sizeof data);
            length = 40;
            rc = Call(HA_COPY_FIELD_TO_STR, data, &length, labelPosition);
            if (!Check("Copy Field to String (34)", rc, CommonMeaning(rc))) goto done;
            printf("    label field: \"%.*s\"\n", (int)length, data);
        }
        memset(data, 0, sizeof data);
        length = fieldLength > 0 && fieldLength < 80 ? fieldLength : 2;
        rc = Call(HA_COPY_FIELD_TO_STR, data, &length, position);
        if (!Check("Copy Field to String (34)", rc, CommonMeaning(rc))) goto done;
        printf("    input field: \"%.*s\" (empty until a selection is typed)\n", (int)length, data);
    }

    /* Signing off: F3 (@3) on the main menu ends the host session and shows
     * the sign-on screen again, where the next run starts. */
    printf("Signing off:\n");
    strcpy(data, "@3");
    length = 2;
    rc = Call(HA_SENDKEY, data, &length, 0);
    if (!Check("Send Key (3) F3", rc, CommonMeaning(rc))) goto done;
    if (!WaitForHost("Sign On")) {
        printf("  the sign-on screen did not come within %d ms\n", HOST_WAIT_LIMIT_MS);
        goto done;
    }
    printf("    the sign-on screen is back\n");

    status = 0;

done:
    if (connected) {
        /* Disconnect Presentation Space (2): the session is free for others. */
        rc = Call(HA_DISCONNECT_PS, NULL, NULL, 0);
        Check("Disconnect Presentation Space (2)", rc, CommonMeaning(rc));
    }
    printf(status == 0 ? "hllapi_demo: done\n" : "hllapi_demo: stopped at the refused call above\n");
    return status;
}
