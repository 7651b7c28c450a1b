/*
 * winhllapi_demo: a small WinHLLAPI program, written the way an application
 * uses the library. It starts WinHLLAPI, connects to one emulator session,
 * brings the demonstration host to its main menu from whatever screen the
 * session shows (signing on when it shows the sign-on screen), looks up a
 * customer, goes back to the menu, signs off (F3), disconnects and cleans
 * up, leaving the sign-on screen for the next program. After each
 * keystroke it waits for the host with the asynchronous Wait, whose answer
 * comes as a window message.
 *
 *   winhllapi_demo [session letter, default A] [customer number, default 100734]
 *
 * The WinHLLAPI entries take the function number, the length and the
 * return-code word as 16-bit words, by address: WinHLLAPI() runs a call and
 * answers when it is done; WinHLLAPIAsync() starts one and answers a task
 * handle, and the result arrives later as a window message. On Windows the
 * window is an ordinary (here message-only) window and the message is read
 * with GetMessage; on Linux the library lends the same service:
 * trvCreateMessageWindow and trvGetMessage (include/trvha64.h).
 *
 * Exit status: 0 when every step worked, 1 when a call was refused (the
 * refusing call and its return code are printed), 2 for bad arguments.
 */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "trvha64_winhllapi.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <time.h>
#endif

#define ROWS 24
#define COLUMNS 80
#define SCREEN_SIZE (ROWS * COLUMNS)
/* The demonstration host answers in well under a second; give it ten. */
#define HOST_WAIT_LIMIT_MS 10000
#define HOST_POLL_STEP_MS 50
/* How many screens it may take to reach the main menu from anywhere. */
#define MAX_STEPS_TO_MENU 4

/* --- the message window, on each system ------------------------------- */

#ifdef _WIN32
static void SleepMs(unsigned ms) { Sleep(ms); }

static uintptr_t CreateReplyWindow(void) {
    /* A message-only window: it is never shown, and messages posted to it
     * arrive in this thread's queue. */
    return (uintptr_t)CreateWindowExA(0, "STATIC", "winhllapi_demo", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                                      GetModuleHandleA(NULL), NULL);
}

static void DestroyReplyWindow(uintptr_t window) { DestroyWindow((HWND)window); }

static uint32_t MessageNumber(const char* name) { return RegisterWindowMessageA(name); }

/* The next message of this thread's queue within `timeout_ms`: 1, or 0. */
static int NextMessage(uint32_t timeout_ms, uintptr_t* window, uint32_t* message, uintptr_t* wParam,
                       intptr_t* lParam) {
    const DWORD started = GetTickCount();
    MSG msg;
    for (;;) {
        DWORD waited;
        if (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            *window = (uintptr_t)msg.hwnd;
            *message = msg.message;
            *wParam = msg.wParam;
            *lParam = msg.lParam;
            return 1;
        }
        waited = GetTickCount() - started;
        if (waited >= timeout_ms) return 0;
        MsgWaitForMultipleObjects(0, NULL, FALSE, timeout_ms - waited, QS_ALLPOSTMESSAGE);
    }
}
#else
static void SleepMs(unsigned ms) {
    struct timespec delay = {(time_t)(ms / 1000), (long)(ms % 1000) * 1000000L};
    nanosleep(&delay, NULL);
}

static uintptr_t CreateReplyWindow(void) { return trvCreateMessageWindow(); }

static void DestroyReplyWindow(uintptr_t window) { trvDestroyMessageWindow(window); }

static uint32_t MessageNumber(const char* name) { return trvRegisterWindowMessage(name); }

static int NextMessage(uint32_t timeout_ms, uintptr_t* window, uint32_t* message, uintptr_t* wParam,
                       intptr_t* lParam) {
    trvMessage got;
    if (trvGetMessage(&got, timeout_ms) != 1) return 0;
    *window = got.window;
    *message = got.message;
    *wParam = got.wParam;
    *lParam = got.lParam;
    return 1;
}
#endif

/* --- WinHLLAPI calls --------------------------------------------------- */

static uintptr_t g_window;
static uint32_t g_asyncMessage;

/* One synchronous call. `position` goes in through the return-code word;
 * the return code comes back; *length (when given) holds what the function
 * answers in the length word. */
static uint16_t Call(uint16_t function, char* data, uint16_t* length, uint16_t position) {
    uint16_t unusedLength = 0;
    uint16_t returnCode = position;
    WinHLLAPI(&function, (uint8_t*)data, length != NULL ? length : &unusedLength, &returnCode);
    return returnCode;
}

static const char* Meaning(uint16_t returnCode) {
    switch (returnCode) {
        case HLLAPI_RC_SUCCESS: return "done";
        case HLLAPI_RC_NO_SESSION: return "not connected, or no session is registered";
        case HLLAPI_RC_BAD_PARAMETER: return "bad parameter";
        case HLLAPI_RC_WAIT_TIMEOUT: return "the host has not finished";
        case 5: return "input inhibited or a protected field";
        case HLLAPI_RC_SYSTEM_ERROR: return "system error (the session may have ended)";
        case HLLAPI_RC_IN_USE: return "the session is held by another application";
        default: return "refused";
    }
}

/* Prints a call's return code; answers 1 when it is 0. */
static int Check(const char* what, uint16_t returnCode) {
    printf("  %-34s rc %u: %s\n", what, (unsigned)returnCode, Meaning(returnCode));
    return returnCode == HLLAPI_RC_SUCCESS;
}

/* Copy Presentation Space (5): the whole screen, one byte per position. */
static uint16_t CopyScreen(char screen[SCREEN_SIZE + 1]) {
    uint16_t length = SCREEN_SIZE;
    const uint16_t rc = Call(HA_COPY_PS, screen, &length, 0);
    screen[SCREEN_SIZE] = '\0';
    return rc;
}

/* The panel's title: row 1, columns 30 to 50, without blanks around it. */
static void ScreenTitle(const char* screen, char title[32]) {
    int first = 29;
    int last = 50;
    while (first < last && screen[first] == ' ') ++first;
    while (last > first && screen[last - 1] == ' ') --last;
    memcpy(title, screen + first, (size_t)(last - first));
    title[last - first] = '\0';
}

static void PrintScreen(const char* screen) {
    int row;
    printf("  +%.*s+\n", COLUMNS, "--------------------------------------------------------------------------------");
    for (row = 0; row < ROWS; ++row) {
        int column;
        printf("  |");
        for (column = 0; column < COLUMNS; ++column) {
            const unsigned char c = (unsigned char)screen[row * COLUMNS + column];
            putchar(c >= 0x20 && c < 0x7F ? c : ' ');
        }
        printf("|\n");
    }
    printf("  +%.*s+\n", COLUMNS, "--------------------------------------------------------------------------------");
}

/* Search Presentation Space (6) from position 1: 1 when `text` is shown. */
static int Shows(const char* text) {
    char data[128];
    uint16_t length = (uint16_t)strlen(text);
    if (length == 0 || length >= sizeof data) return 0;
    memcpy(data, text, (size_t)length + 1);
    return Call(HA_SEARCH_PS, data, &length, 1) == HLLAPI_RC_SUCCESS;
}

/*
 * Waits for the host after a keystroke, then until `expected` or
 * `alternative` (when not NULL) is on the screen (answers 1), or gives up
 * after HOST_WAIT_LIMIT_MS (answers 0).
 *
 * Wait (4) through WinHLLAPIAsync: after a start-up that asked for 1.0 the
 * call answers at once with the task handle 0xFFFF, and the result comes as
 * the message registered as "WinHLLAPIAsync" to our window: wParam the task
 * handle, lParam the function (low 16 bits) and the return code (high 16
 * bits). This library's worker does not wait for the host: the asynchronous
 * EHLLAPI requests behind it are not supported, which it says in a warning
 * box (on standard error when TRVHA64_UNATTENDED is set, as in ./run demo),
 * and the message carries the return-code word as it was passed in.
 * After a start-up for 1.1 the library runs Wait at once: the call
 * answers 0 and the return-code word holds Wait's code (0 the keyboard is
 * free, 4 the host has not finished). Either way the screen can still be
 * on its way, so it is searched until it shows what is expected.
 */
static int WaitForHost(const char* expected, const char* alternative) {
    uint16_t function = HA_WAIT;
    uint16_t length = 0;
    uint16_t returnCode = 0;
    const uint16_t task = WinHLLAPIAsync(g_window, &function, NULL, &length, &returnCode);
    unsigned waited = 0;
    if (task == WHLLAPI_WORKER_TASK) {
        uintptr_t window = 0;
        uint32_t message = 0;
        uintptr_t wParam = 0;
        intptr_t lParam = 0;
        printf("  %-34s task 0x%04X: answered by a message\n", "WinHLLAPIAsync Wait (4)", (unsigned)task);
        while (NextMessage(HOST_WAIT_LIMIT_MS, &window, &message, &wParam, &lParam)) {
            if (window != g_window || message != g_asyncMessage) continue; /* not ours: skip */
            printf("    message WinHLLAPIAsync: task 0x%04X, function %u, rc %u (as passed in)\n", (unsigned)wParam,
                   (unsigned)(lParam & 0xFFFF), (unsigned)((lParam >> 16) & 0xFFFF));
            break;
        }
    } else if (task == 0 && returnCode != HLLAPI_RC_BAD_PARAMETER && returnCode != HLLAPI_RC_SYSTEM_ERROR) {
        printf("  %-34s task 0, rc %u: ran at once, %s\n", "WinHLLAPIAsync Wait (4)", (unsigned)returnCode,
               returnCode == 0 ? "the keyboard is free" : Meaning(returnCode));
    } else {
        printf("  %-34s task %u, rc %u: %s\n", "WinHLLAPIAsync Wait (4)", (unsigned)task, (unsigned)returnCode,
               Meaning(returnCode));
        return 0;
    }
    for (;;) {
        if (Shows(expected) || (alternative != NULL && Shows(alternative))) return 1;
        if (waited >= HOST_WAIT_LIMIT_MS) return 0;
        SleepMs(HOST_POLL_STEP_MS);
        waited += HOST_POLL_STEP_MS;
    }
}

/* Send Key (3): keystrokes as text; @T is Tab, @E Enter, @3 F3. */
static int SendKeys(const char* what, const char* keys, const char* expected, const char* alternative) {
    char data[64];
    uint16_t length = (uint16_t)strlen(keys);
    memcpy(data, keys, (size_t)length + 1);
    if (!Check(what, Call(HA_SENDKEY, data, &length, 0))) return 0;
    if (WaitForHost(expected, alternative)) return 1;
    printf("  \"%s\" did not show within %d ms\n", expected, HOST_WAIT_LIMIT_MS);
    return 0;
}

/* From any panel of the demonstration host to its main menu: sign on from
 * the sign-on screen, F3 (back) from the others. */
static int GoToMainMenu(void) {
    char screen[SCREEN_SIZE + 1];
    char title[32];
    int step;
    for (step = 0; step < MAX_STEPS_TO_MENU; ++step) {
        if (!Check("Copy Presentation Space (5)", CopyScreen(screen))) return 0;
        ScreenTitle(screen, title);
        printf("    the session shows \"%s\"\n", title);
        if (strcmp(title, "Main Menu") == 0) return 1;
        if (strcmp(title, "Sign On") == 0) {
            if (!SendKeys("Send Key (3) user, Tab, password", "DEMO01@TPALVERO@E", "Main Menu", NULL)) return 0;
        } else if (!SendKeys("Send Key (3) F3", "@3", "Main Menu", "Sign On")) {
            return 0;
        }
    }
    return Shows("Main Menu");
}

int main(int argc, char** argv) {
    const char* letter = argc > 1 ? argv[1] : "A";
    const char* customer = argc > 2 ? argv[2] : "100734";
    trvWinHLLAPIStartupData startup;
    char data[SCREEN_SIZE + 1];
    char keys[16];
    uint16_t length;
    int32_t answer;
    int connected = 0;
    int status = 1;

    if (strlen(letter) != 1 || strlen(customer) == 0 || strlen(customer) > 6) {
        fprintf(stderr, "usage: winhllapi_demo [session letter] [customer number]\n");
        return 2;
    }

    /* WinHLLAPIStartup: the version wanted (major number in the low byte)
     * and a record the library fills with the version it offers (1.1) and
     * its description. 0 accepted; 0xF004 the library is older than asked.
     * Asking for 1.0 makes the asynchronous Wait answer with a message. */
    printf("Starting WinHLLAPI:\n");
    answer = WinHLLAPIStartup(WHLLAPI_VERSION(1, 0), &startup);
    printf("  %-34s %d: offers %u.%u, \"%s\"\n", "WinHLLAPIStartup(1.0)", (int)answer, startup.wVersion & 0xFFu,
           (unsigned)(startup.wVersion >> 8), startup.szDescription);
    if (answer != WHLLAPI_STARTUP_OK) return 1;

    /* The window the asynchronous answers go to, and their message number. */
    g_window = CreateReplyWindow();
    g_asyncMessage = MessageNumber("WinHLLAPIAsync");
    if (g_window == 0 || g_asyncMessage == 0) {
        printf("  no message window: %s\n", g_window == 0 ? "could not create one" : "no message number");
        goto done;
    }

    /* Connect Presentation Space (1): the data string is the session letter.
     * 0 connected; 1 no such session; 4 or 5 connected, host busy or
     * keyboard locked; 11 another application holds it. */
    printf("Connecting to session %s:\n", letter);
    strcpy(data, letter);
    length = 1;
    answer = Call(HA_CONNECT_PS, data, &length, 0);
    Check("Connect Presentation Space (1)", (uint16_t)answer);
    if (answer != 0 && answer != 4 && answer != 5) goto done;
    connected = 1;

    /* The first demo may have left the session anywhere: start from what it
     * shows. */
    printf("To the main menu:\n");
    if (!GoToMainMenu()) goto done;

    printf("Customer %s:\n", customer);
    if (!SendKeys("Send Key (3) \"1\", Enter", "1@E", "Customer Inquiry", NULL)) goto done;

    /* From here on Wait runs at once: start-up again, asking for 1.1. */
    answer = WinHLLAPIStartup(WHLLAPI_VERSION(1, 1), &startup);
    printf("  %-34s %d\n", "WinHLLAPIStartup(1.1)", (int)answer);
    snprintf(keys, sizeof keys, "%s@E", customer);
    if (!SendKeys("Send Key (3) number, Enter", keys, "Name  .", "was not found")) goto done;
    if (!Check("Copy Presentation Space (5)", CopyScreen(data))) goto done;
    PrintScreen(data);
    if (!Shows("Name  .")) printf("    the host does not know customer %s\n", customer);

    /* F3 leaves the inquiry for the menu again; F3 on the menu signs off,
     * leaving the sign-on screen for whoever comes next. */
    if (!SendKeys("Send Key (3) F3", "@3", "Main Menu", NULL)) goto done;
    if (!SendKeys("Send Key (3) F3, signing off", "@3", "Sign On", NULL)) goto done;
    status = 0;

done:
    if (connected) {
        /* Disconnect Presentation Space (2): the session is free for others. */
        Check("Disconnect Presentation Space (2)", Call(HA_DISCONNECT_PS, NULL, NULL, 0));
    }
    if (g_window != 0) DestroyReplyWindow(g_window);
    /* WinHLLAPICleanup: the end of this program's use of WinHLLAPI; 1. */
    printf("  %-34s %d\n", "WinHLLAPICleanup", (int)WinHLLAPICleanup());
    printf(status == 0 ? "winhllapi_demo: done\n" : "winhllapi_demo: stopped at the refused call above\n");
    return status;
}
