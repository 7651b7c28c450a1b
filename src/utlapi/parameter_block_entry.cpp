// UTLAPIEntry: every UTLAPI operation by number (201..279) with its
// arguments packed into a data buffer, a length and three integers, the
// calling thread's id as client handle. The asynchronous form answers that
// it is not supported.
//
// Packing: D the data buffer, L the length's low 16 bits, P argument 4's low
// 16 bits (Ph and Pl its high and low halves), A and B the low 16 bits of
// arguments 5 and 6. "D ended at L" writes a NUL at D[L] first, so the
// buffer holds L + 1 bytes.
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>

#include "platform/thread.h"
#include "shared/message_boxes.h"
#include "utlapi/utlapi_frame.h"

namespace {

using namespace trv::utl;

constexpr std::int32_t kFirstOperation = 201;
constexpr std::int32_t kLastOperation = 277;
constexpr std::int32_t kSessionHandleOperation = 279;
constexpr std::int32_t kNoOperationResult = 1;
constexpr std::uint32_t kExclamationOk = 48;
constexpr std::int32_t kAsyncNotSupported = HLLAPI_RC_UNSUPPORTED;
constexpr const char* kNoShowOption = "N";

// Set once a client was registered through the entry (operation 244).
std::atomic<bool> g_registeredThroughEntry{false};

struct UTLParmBlock {
    char* data = nullptr;
    char* secondText = nullptr;
    std::int32_t length = 0;
    std::int32_t argument = 0;
    std::int32_t argumentA = 0;
    std::int32_t argumentB = 0;

    trvUTLClient H() const { return trv::platform::CurrentThreadId(); }
    char* D() const { return data; }
    std::int32_t L() const { return length & 0xFFFF; }
    std::int32_t P() const { return argument & 0xFFFF; }
    std::int32_t Ph() const { return (argument >> 16) & 0xFFFF; }
    std::int32_t Pl() const { return P(); }
    std::int32_t A() const { return argumentA & 0xFFFF; }
    std::int32_t B() const { return argumentB & 0xFFFF; }
    // D ended at L.
    char* DEnded() const {
        if (data != nullptr) data[L()] = 0;
        return data;
    }
};

using Operation = std::int32_t (*)(UTLParmBlock&);

std::int32_t Register(UTLParmBlock& b) {
    const std::int32_t result = UTLRegisterClient(b.H());
    g_registeredThroughEntry = true;
    return result;
}

// Before 214, 216, 245 and 264: the first of them in the process registers
// its thread when no client was registered through the entry yet.
void RegisterAutomatically(UTLParmBlock& b) {
    if (!g_registeredThroughEntry) Register(b);
}

// 253: "send,wait" in D; the first comma (within L) ends the send string.
std::int32_t SendAndWait(UTLParmBlock& b) {
    char* wait = nullptr;
    if (b.data != nullptr) {
        if (auto* comma = static_cast<char*>(std::memchr(b.data, ',', static_cast<std::size_t>(b.L())))) {
            *comma = 0;
            wait = comma + 1;
        }
    }
    return UTLSendAndWait(b.H(), b.A(), b.B(), b.DEnded(), wait, b.P());
}

// 264: D is the session letter, optionally ",<show option>".
std::int32_t StartSession(UTLParmBlock& b) {
    RegisterAutomatically(b);
    char* d = b.D();
    if (d == nullptr) return UTLStartSession(b.H(), nullptr, kNoShowOption);
    const char* show = kNoShowOption;
    if (d[0] != 0 && d[1] == ',') {
        show = d + 2;
        if (d[2] != 0) d[3] = 0;
    }
    if (d[0] != 0) d[1] = 0;
    d[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(d[0])));
    return UTLStartSession(b.H(), d, show);
}

// Index = number - 201, in the alphabetical order of the operations' names.
constexpr std::array<Operation, kLastOperation - kFirstOperation + 1> kOperations = {
    [](UTLParmBlock& b) { return UTLAddWait(b.H(), b.A(), b.B()); },                                // 201
    [](UTLParmBlock& b) { return UTLAddWaitForCursor(b.H(), b.A(), b.B(), b.Ph(), b.Pl()); },       // 202
    [](UTLParmBlock& b) { return UTLAddWaitForCursorMove(b.H(), b.L(), b.P()); },                   // 203
    [](UTLParmBlock& b) { return UTLAddWaitForHostConnect(b.H(), b.A(), b.B()); },                  // 204
    [](UTLParmBlock& b) { return UTLAddWaitForHostDisconnect(b.H(), b.A(), b.B()); },               // 205
    [](UTLParmBlock& b) { return UTLAddWaitForKey(b.H(), b.A(), b.B(), b.DEnded()); },              // 206
    [](UTLParmBlock& b) { return UTLAddWaitForString(b.H(), b.A(), b.B(), b.Ph(), b.Pl(), b.DEnded()); },  // 207
    [](UTLParmBlock& b) {                                                                           // 208
        return UTLAddWaitForStringNotAt(b.H(), b.A(), b.B(), b.Ph(), b.Pl(), b.DEnded());
    },
    [](UTLParmBlock& b) { return UTLAddWaitHostQuiet(b.H(), b.A(), b.B(), b.P()); },                // 209
    [](UTLParmBlock& b) { return UTLAllowUpdates(b.H()); },                                         // 210
    [](UTLParmBlock& b) { return UTLBlockUpdates(b.H()); },                                         // 211
    [](UTLParmBlock& b) { return UTLClearEventTable(b.H(), b.A()); },                               // 212
    [](UTLParmBlock& b) { return UTLCloseConfiguration(b.H()); },                                   // 213
    [](UTLParmBlock& b) {                                                                           // 214
        RegisterAutomatically(b);
        return UTLConnectSession(b.H(), b.D());
    },
    [](UTLParmBlock& b) { return UTLDeleteEvent(b.H(), b.A(), b.B()); },                            // 215
    [](UTLParmBlock& b) {                                                                           // 216
        RegisterAutomatically(b);
        return UTLDisconnectSession(b.H());
    },
    [](UTLParmBlock& b) { return UTLExecute(b.H(), b.D()); },                                       // 217
    [](UTLParmBlock& b) { return UTLGetUTLAPIVersion(b.D(), b.L()); },                              // 218
    [](UTLParmBlock& b) { return UTLGetConfiguration(b.H(), b.D(), b.L()); },                       // 219
    [](UTLParmBlock& b) { return UTLGetConnectionStatus(b.H(), b.P()); },                           // 220
    [](UTLParmBlock& b) { return UTLGetCursorLocation(b.H()); },                                    // 221
    [](UTLParmBlock& b) { return UTLGetEmulatorPath(b.H(), b.D(), b.L()); },                        // 222
    [](UTLParmBlock& b) { return UTLGetEmulatorVersion(b.H(), b.D(), b.L()); },                     // 223
    [](UTLParmBlock& b) { return UTLGetError(b.H(), b.D(), b.L()); },                               // 224
    [](UTLParmBlock& b) { return UTLGetFieldInfo(b.H(), b.A(), b.B(), b.P()); },                    // 225
    [](UTLParmBlock& b) { return UTLGetFieldLength(b.H(), b.A(), b.B(), b.P()); },                  // 226
    [](UTLParmBlock& b) { return UTLGetFieldPosition(b.H(), b.A(), b.B(), b.P()); },                // 227
    [](UTLParmBlock& b) {                                                                           // 228
        return UTLGetKeystroke(b.H(), b.D(), b.D() != nullptr ? b.D() + 1 : nullptr, b.L());
    },
    [](UTLParmBlock& b) { return UTLGetLayoutName(b.H(), b.D(), b.L()); },                          // 229
    [](UTLParmBlock& b) { return UTLGetParameter(b.H(), b.P()); },                                  // 230
    [](UTLParmBlock& b) { return UTLGetSessionHandle(b.H(), b.D()); },                              // 231
    [](UTLParmBlock& b) { return UTLGetSessions(b.H(), b.D(), b.L(), b.P()); },                     // 232
    [](UTLParmBlock& b) { return UTLGetSessionSize(b.H()); },                                       // 233
    [](UTLParmBlock& b) { return UTLGetSessionStatus(b.H(), b.D(), b.P()); },                       // 234
    [](UTLParmBlock& b) { return UTLGetString(b.H(), b.A(), b.B(), b.D(), b.L()); },                // 235
    [](UTLParmBlock& b) { return UTLGetStringFromField(b.H(), b.A(), b.B(), b.D(), b.L()); },       // 236
    [](UTLParmBlock& b) { return UTLHoldHost(b.H()); },                                             // 237
    [](UTLParmBlock& b) { return UTLListSessions(b.H(), b.D(), b.L(), "", b.P()); },                // 238
    [](UTLParmBlock& b) { return UTLLockKeyboard(b.H()); },                                         // 239
    [](UTLParmBlock& b) { return UTLOpenConfiguration(b.H(), b.D()); },                             // 240
    [](UTLParmBlock& b) { return UTLOpenLayout(b.H(), b.D()); },                                    // 241
    [](UTLParmBlock& b) { return UTLPause(b.H(), b.L()); },                                         // 242
    [](UTLParmBlock& b) { return UTLReceiveFile(b.H(), b.DEnded(), b.L()); },                       // 243
    Register,                                                                                       // 244
    [](UTLParmBlock& b) {                                                                           // 245
        RegisterAutomatically(b);
        return UTLResetSystem(b.H());
    },
    [](UTLParmBlock& b) { return UTLResumeHost(b.H()); },                                           // 246
    [](UTLParmBlock& b) { return UTLRowColumn(b.H(), b.P(), b.L()); },                              // 247
    [](UTLParmBlock& b) {                                                                           // 248
        char* d = b.DEnded();
        return UTLRunEmulatorMacro(b.H(), d, d != nullptr ? d + 1 : nullptr);
    },
    [](UTLParmBlock& b) { return UTLRun_____Macro(b.H(), b.D()); },                                 // 249
    [](UTLParmBlock& b) { return UTLRun_____MacroAsync(b.H(), b.D()); },                            // 250
    [](UTLParmBlock& b) { return UTLSearchField(b.H(), b.A(), b.B(), b.DEnded()); },                // 251
    [](UTLParmBlock& b) { return UTLSearchSession(b.H(), b.A(), b.B(), b.DEnded(), b.P()); },       // 252
    SendAndWait,                                                                                    // 253
    [](UTLParmBlock& b) { return UTLSendFile(b.H(), b.DEnded(), b.L()); },                          // 254
    [](UTLParmBlock& b) { return UTLSendKey(b.H(), b.DEnded()); },                                  // 255
    [](UTLParmBlock& b) { return UTLSendString(b.H(), b.A(), b.B(), b.DEnded()); },                 // 256
    [](UTLParmBlock& b) { return UTLSendStringToField(b.H(), b.A(), b.B(), b.DEnded()); },          // 257
    [](UTLParmBlock& b) { return UTLSessionOff(b.H()); },                                           // 258
    [](UTLParmBlock& b) { return UTLSessionOn(b.H()); },                                            // 259
    [](UTLParmBlock& b) { return UTLSetCursorLocation(b.H(), b.A(), b.B()); },                      // 260
    [](UTLParmBlock& b) { return UTLSetParameter(b.H(), b.L(), b.P(), b.D()); },                    // 261
    [](UTLParmBlock& b) { return UTLShowLastError(b.H()); },                                        // 262
    [](UTLParmBlock& b) { return UTLStartKeystrokeIntercept(b.H(), b.D(), b.P()); },                // 263
    StartSession,                                                                                   // 264
    [](UTLParmBlock& b) { return UTLStopKeystrokeIntercept(b.H(), b.D()); },                        // 265
    [](UTLParmBlock& b) { return UTLStopSession(b.H()); },                                          // 266
    [](UTLParmBlock& b) { return UTLUnlockKeyboard(b.H()); },                                       // 267
    [](UTLParmBlock& b) { return UTLUnregisterClient(b.H()); },                                     // 268
    [](UTLParmBlock& b) { return UTLWait(b.H()); },                                                 // 269
    [](UTLParmBlock& b) { return UTLWaitForCursor(b.H(), b.A(), b.B(), b.P()); },                   // 270
    [](UTLParmBlock& b) { return UTLWaitForCursorMove(b.H(), b.P()); },                             // 271
    [](UTLParmBlock& b) { return UTLWaitForEvent(b.H(), b.A(), b.P()); },                           // 272
    [](UTLParmBlock& b) { return UTLWaitForHostConnect(b.H(), b.P()); },                            // 273
    [](UTLParmBlock& b) { return UTLWaitForHostDisconnect(b.H(), b.P()); },                         // 274
    [](UTLParmBlock& b) { return UTLWaitForKey(b.H(), b.DEnded(), b.P()); },                        // 275
    [](UTLParmBlock& b) { return UTLWaitForString(b.H(), b.A(), b.B(), b.DEnded(), b.P()); },       // 276
    [](UTLParmBlock& b) { return UTLWaitHostQuiet(b.H(), b.L(), b.P()); },                          // 277
};

std::int32_t Dispatch(std::int32_t number, UTLParmBlock& block) {
    if (number >= kFirstOperation && number <= kLastOperation) return kOperations[number - kFirstOperation](block);
    if (number == kSessionHandleOperation) return UTLGetSessionHandle(block.H(), block.D());
    // 278 (its slot is UTLGetOIABytes, not reached by number), 290..298,
    // 400, 401 and every other number: nothing is called.
    return kNoOperationResult;
}

}  // namespace

extern "C" {

std::int32_t TRVHA64_CALL UTLAPIEntry(std::int32_t* function, char* data, std::int32_t* length,
                                      std::int32_t* argument, std::int32_t* argumentA, std::int32_t* argumentB) {
    return Guarded([&] {
        UTLParmBlock block;
        block.data = data;
        block.length = length != nullptr ? *length : 0;
        block.argument = argument != nullptr ? *argument : 0;
        block.argumentA = argumentA != nullptr ? *argumentA : 0;
        block.argumentB = argumentB != nullptr ? *argumentB : 0;
        const std::int32_t result = Dispatch(function != nullptr ? *function : 0, block);
        if (length != nullptr) *length = block.length;
        if (argument != nullptr) *argument = result;
        return result;
    });
}

std::int32_t TRVHA64_CALL UTLAPIEntry725(std::int32_t* function, char* data, std::int32_t* length,
                                         std::int32_t* argument, std::int32_t* argumentA, std::int32_t* argumentB) {
    return UTLAPIEntry(function, data, length, argument, argumentA, argumentB);
}

std::int32_t TRVHA64_CALL UTLAPIEntryAsync(std::int32_t*, char*, std::int32_t*, std::int32_t*, std::int32_t*,
                                           std::int32_t*) {
    try {
        trv::ShowLibraryMessageBox(
            "UTLAPI for ZEM Bridge error",
            "UTLAPI Extension functions for Async requests are not currently supported, application may not work "
            "correctly",
            kExclamationOk);
    } catch (...) {
    }
    return kAsyncNotSupported;
}

}  // extern "C"
