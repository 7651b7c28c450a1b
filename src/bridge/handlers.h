// The handlers of the EHLLAPI functions on the emulator side, one per
// function (or pair of functions) of the dispatch table. Each takes the
// caller's block and a private copy of the session's block, calls methods of
// the session's HLLBridge object and answers the request's return code.
//
// Functions without a handler here (60 and 61, the locks, among them) are
// answered with kNoHandlerCode (10) by the dispatch.
#pragma once

#include <cstdint>

namespace trv {

struct ApplicationBlock;
struct SessionBlock;

using EHLLAPIHandler = std::int32_t (*)(ApplicationBlock& caller, const SessionBlock& session);

// The handler of a function number, or nullptr when it has none.
EHLLAPIHandler HandlerFor(std::uint32_t function);

// Presentation space and status line.
std::int32_t ConnectPS(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyPS(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t SearchPS(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t QueryCursorLocation(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyPSToString(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t QuerySession(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t Reserve(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t Release(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyOIA(ApplicationBlock& caller, const SessionBlock& session);

// Keystrokes.
std::int32_t SendKeys(ApplicationBlock& caller, const SessionBlock& session);

// Fields, cursor and intercepts.
std::int32_t QueryFieldAttribute(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyStringToPS(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t QuerySessionStatus(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t SearchField(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t FindFieldPosition(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t FindFieldLength(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyStringToField(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t CopyFieldToString(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t SetCursor(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t StartCloseIntercept(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t StopCloseIntercept(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t StartKeystrokeIntercept(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t StopKeystrokeIntercept(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t ConvertPosRowCol(ApplicationBlock& caller, const SessionBlock& session);

// File transfer.
std::int32_t SendReceiveFile(ApplicationBlock& caller, const SessionBlock& session);

// Window services and macros.
std::int32_t ConnectWindowServices(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t QueryWindowCoordinates(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t WindowStatus(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t ChangeWindowName(ApplicationBlock& caller, const SessionBlock& session);
std::int32_t StartMacro(ApplicationBlock& caller, const SessionBlock& session);

}  // namespace trv
