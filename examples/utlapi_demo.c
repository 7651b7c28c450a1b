/*
 * utlapi_demo: a short UTLAPI program. It registers a client handle, binds
 * it to an emulator session, signs on to the demonstration host with
 * UTLSendKey, reads the screen by row and column, and disconnects.
 *
 *   utlapi_demo [session letter, default A] [user, default DEMO01] [password, default PALVERO]
 *
 * A client handle is any value that names the application (usually its main
 * window); UTLAPI results are 1 for success and the negated EHLLAPI return
 * code otherwise. Rows and columns count from 1.
 *
 * Exit status: 0 when every step worked, 1 when a call was refused.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "trvha64_utlapi.h"

#define CLIENT ((trvUTLClient)0x5A17)

static int Check(const char* what, int32_t result) {
    printf("  %-28s -> %d\n", what, (int)result);
    return result == UTL_SUCCESS;
}

/* Prints the screen's rows with UTLGetString, one row at a time. */
static void PrintScreen(int32_t rows, int32_t columns) {
    char line[256];
    int32_t row;
    if (columns <= 0 || columns >= (int32_t)sizeof line) return;
    for (row = 1; row <= rows; ++row) {
        memset(line, 0, sizeof line);
        if (UTLGetString(CLIENT, row, 1, line, columns) != UTL_SUCCESS) return;
        printf("  |%s|\n", line);
    }
}

/* Polls the first row until `text` appears there (the host answers fast). */
static int WaitForText(const char* text) {
    int32_t attempt;
    for (attempt = 0; attempt < 100; ++attempt) {
        if (UTLSearchSession(CLIENT, 1, 1, text, 1) > 0) return 1;
        UTLPause(CLIENT, 1);
    }
    return 0;
}

int main(int argc, char** argv) {
    const char* session = argc > 1 ? argv[1] : "A";
    const char* user = argc > 2 ? argv[2] : "DEMO01";
    const char* password = argc > 3 ? argv[3] : "PALVERO";
    char version[UTL_VERSION_BUFFER];
    char keys[128];
    int32_t size, columns, status = 1;

    if (UTLGetUTLAPIVersion(version, sizeof version) == UTL_SUCCESS) printf("UTLAPI version %s\n", version);
    if (!Check("UTLRegisterClient", UTLRegisterClient(CLIENT))) return 1;
    if (!Check("UTLConnectSession", UTLConnectSession(CLIENT, session))) goto unregister;

    size = UTLGetSessionSize(CLIENT);
    columns = UTLRowColumn(CLIENT, size, 1);
    printf("  session %s: %d positions, %d columns\n", session, (int)size, (int)columns);
    if (size <= 0 || columns <= 0) goto disconnect;
    PrintScreen(size / columns, columns);

    /* @T is Tab, @E is Enter: user ID, next field, password, Enter. */
    snprintf(keys, sizeof keys, "%s@T%s@E", user, password);
    if (!Check("UTLSendKey (sign on)", UTLSendKey(CLIENT, keys))) goto disconnect;
    if (!WaitForText("Main Menu")) {
        printf("  the main menu did not come\n");
        goto disconnect;
    }
    PrintScreen(size / columns, columns);
    printf("  cursor at row %d, column %d\n", (int)UTLRowColumn(CLIENT, UTLGetCursorLocation(CLIENT), 0),
           (int)UTLRowColumn(CLIENT, UTLGetCursorLocation(CLIENT), 1));
    status = 0;

disconnect:
    Check("UTLDisconnectSession", UTLDisconnectSession(CLIENT));
unregister:
    Check("UTLUnregisterClient", UTLUnregisterClient(CLIENT));
    printf(status == 0 ? "utlapi_demo: done\n" : "utlapi_demo: stopped at the refused call above\n");
    return status;
}
