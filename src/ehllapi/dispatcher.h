// The EHLLAPI function dispatcher `EHLLAPIParser` and what its handlers
// share: the caller's four parameters, the state of one dispatch, and the
// internal requests the dispatcher makes of itself (Release, Stop Close
// Intercept, Stop Keystroke Intercept).
//
// The dispatcher runs on the caller's thread, under the process's
// call-serialising mutex (except for function 53), on the caller's exchange
// block. It needs the session and application tables of this process
// (Sessions(), Applications()); the front door checks that they exist.
#pragma once

#include <cstdint>
#include <optional>

#include "trvha64.h"

namespace trv {

struct ApplicationBlock;

// The caller's parameters of one call. The addresses are the caller's own;
// data and length may be null, the return-code word is not.
struct CallerParameters {
    std::int32_t function = 0;
    unsigned char* data = nullptr;
    std::int32_t* length = nullptr;
    std::int32_t* returnCode = nullptr;

    std::int32_t LengthOrZero() const { return length != nullptr ? *length : 0; }
    // The first data byte, or 0 when the caller gave no data.
    char FirstDataByte() const { return data != nullptr ? static_cast<char>(data[0]) : '\0'; }
    void StoreReturnCode(std::int32_t code) const {
        if (returnCode != nullptr) *returnCode = code;
    }
    void StoreLength(std::int32_t value) const {
        if (length != nullptr) *length = value;
    }
};

// One dispatch: the block, the caller, and what the handler leaves for the
// send step when it does not decide the return code itself.
struct ParserCall {
    ApplicationBlock& block;
    const CallerParameters& caller;
    int session = -1;               // target session index for the send step
    std::int64_t requestBytes = 0;  // bytes of the caller's data that travel
};

// What a handler answers: a return code it decided, or nothing when the
// request is to go to `session` through the send step.
using HandlerOutcome = std::optional<std::int32_t>;
inline constexpr HandlerOutcome kSendToSession = std::nullopt;

// Dispatches one EHLLAPI function on `block` for `caller`. Answers the
// return code, which also stands in the caller's return-code word. The
// caller's request fields of the block (Function, CallerData, ...) are the
// front door's to fill; the dispatcher reads the caller only from `caller`.
std::int32_t EHLLAPIParser(ApplicationBlock& block, const CallerParameters& caller);

// True when the dispatcher has a handler for `function`; the others answer
// as unsupported functions (10 and the error box).
bool HasHandler(std::int32_t function);

// An internal request of the dispatcher on the same block: runs `function`
// with a private length and return-code word and the given data, then puts
// the block's Function back. Answers the return code.
std::int32_t InternalRequest(ApplicationBlock& block, std::int32_t function, unsigned char* data,
                             std::int32_t length);

// Tells the emulator that the block's caller is going away: releases its
// reservation and stops its close and keystroke intercepts, each through its
// own function (so that the emulator's side hears of it as from the caller).
// Used by Reset System and by the clean-up at process detach.
void EndEmulatorTies(ApplicationBlock& block);

// The target of the functions that name a session in their first data byte
// and otherwise use the connected one: SessionIndex of that byte when it is
// neither a blank nor 0, else the block's SessionID (-1 when not connected).
int SelectSession(const ParserCall& call);

// The connected session's index, or -1 when the block is not connected (or
// holds an index outside 0..25).
int ConnectedSession(const ApplicationBlock& block);

// Handlers of the dispatcher's function table, by group.
namespace handlers {

// Session and connection functions.
HandlerOutcome ConnectPS(ParserCall& call);            // 1
HandlerOutcome DisconnectPS(ParserCall& call);         // 2
HandlerOutcome SetSessionParameters(ParserCall& call); // 9
HandlerOutcome QuerySessions(ParserCall& call);        // 10
HandlerOutcome Reserve(ParserCall& call);              // 11
HandlerOutcome Release(ParserCall& call);              // 12
HandlerOutcome QuerySystem(ParserCall& call);          // 20
HandlerOutcome ResetSystem(ParserCall& call);          // 21
HandlerOutcome QuerySessionStatus(ParserCall& call);   // 22

// Waiting for the host and host notification.
HandlerOutcome Wait(ParserCall& call);                  // 4
HandlerOutcome Pause(ParserCall& call);                 // 18
HandlerOutcome StartHostNotification(ParserCall& call); // 23
HandlerOutcome QueryHostUpdate(ParserCall& call);       // 24
HandlerOutcome StopHostNotification(ParserCall& call);  // 25

// Close and keystroke intercepts.
HandlerOutcome StartCloseIntercept(ParserCall& call);   // 41
HandlerOutcome QueryCloseIntercept(ParserCall& call);   // 42
HandlerOutcome StopCloseIntercept(ParserCall& call);    // 43
HandlerOutcome StartKeyIntercept(ParserCall& call);     // 50
HandlerOutcome GetKey(ParserCall& call);                // 51
HandlerOutcome PostInterceptStatus(ParserCall& call);   // 52
HandlerOutcome StopKeyIntercept(ParserCall& call);      // 53

// Locks, file transfer, window services and macros.
HandlerOutcome LockPresentationSpace(ParserCall& call);    // 60, 61
HandlerOutcome SendReceiveFile(ParserCall& call);          // 90, 91
HandlerOutcome ConnectWindowServices(ParserCall& call);    // 101
HandlerOutcome DisconnectWindowServices(ParserCall& call); // 102
HandlerOutcome QueryWindowCoordinates(ParserCall& call);   // 103
HandlerOutcome WindowStatus(ParserCall& call);             // 104
HandlerOutcome ChangeWindowName(ParserCall& call);         // 105, 106
HandlerOutcome StartPlayingMacro(ParserCall& call);        // 110

// Presentation-space and field functions: 3, 5, 6, 7, 8, 13, 14, 15, 30-34,
// 40, 45, 99 (one handler; the function number selects its row).
HandlerOutcome PresentationSpace(ParserCall& call);

}  // namespace handlers
}  // namespace trv
