// The window-services handlers (101, 103, 104, 105/106) and Start Macro
// (110). Besides calling the session's HLLBridge methods, the window
// handlers act on the emulator's top-level window through the platform's
// window operations: found by its title at Connect Window Services and kept
// in the session record (WindowHandle). Where the platform has no windowing
// system the window is never found, and the queries report only what the
// emulator itself answers (visibility, coordinates).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "bridge/bridge_call.h"
#include "bridge/handlers.h"
#include "bridge/window_text.h"
#include "platform/emulator_window.h"
#include "protocol/caller_data.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_block.h"
#include "tables/session_list.h"
#include "trvha64.h"

namespace trv {
namespace {

// What a failed set step answers, and the foreground failure that does not
// stop a set request but is reported at its end.
constexpr std::int32_t kWindowStepFailed = 1;
constexpr std::int32_t kForegroundFailed = 516;
// The coordinate text is read from at most this many characters after " L".
constexpr std::size_t kCoordinateTextSize = 40;
constexpr std::size_t kShownTitleSize = 100;
// Sent as the new name when there is no name to set: the emulator leaves its
// title alone.
constexpr const char* kNoNameChange = "@@@@@DO***NOTHING@@@@@";

char SessionLetterOf(const SessionBlock& session) { return session.ShortName; }

// The text at the start of Data, up to its NUL (Data always ends with one
// within kDataSize: the reply natives write it, and a request never fills
// the last byte).
std::string_view DataText(const ApplicationBlock& caller) {
    const auto* text = reinterpret_cast<const char*>(caller.Data);
    return std::string_view(text, strnlen(text, kDataSize));
}

std::int32_t CallPlain(JavaCallContext& java, const char* method, const char* signature = "()J",
                       const jvalue* args = nullptr) {
    const std::optional<jlong> result = java.CallLong(method, signature, args);
    return result ? PlainResult(*result) : kJavaCallFailed;
}

// "QueryWindowCoordinates" and the coordinate text it leaves in Data.
std::int32_t QueryCoordinates(JavaCallContext& java, const ApplicationBlock& caller,
                              WindowCoordinates& coordinates) {
    const std::int32_t result = CallPlain(java, "QueryWindowCoordinates");
    if (result != 0) return result;
    const std::optional<WindowCoordinates> parsed = ParseCoordinateText(DataText(caller));
    if (!parsed) {
        TRV_TRACE("QueryWindowCoordinates - no coordinates in the emulator's answer");
        return kJavaCallFailed;
    }
    coordinates = *parsed;
    return 0;
}

// Options 2 and 3: visibility from the emulator, the rest from the window.
std::int32_t QueryFlags(JavaCallContext& java, const SessionBlock& session, std::uint16_t& flags) {
    flags = 0;
    const std::int32_t visible = CallPlain(java, "IsVisible");
    if (visible == kJavaCallFailed) return kJavaCallFailed;
    flags |= visible == 1 ? window_flags::kShow : window_flags::kHide;
    const platform::WindowHandle window = session.WindowHandle;
    if (window != 0) {
        if (platform::IsWindowMinimized(window)) {
            flags |= window_flags::kMinimize;
        } else if (platform::IsWindowMaximized(window)) {
            flags |= window_flags::kMaximize;
        }
        flags |= platform::GetForegroundWindowHandle() == window ? window_flags::kActivate
                                                                 : window_flags::kDeactivate;
    }
    return 0;
}

// Steps 3 and 4 of a set request: foreground, failure remembered as 516.
void MakeForeground(platform::WindowHandle window, bool& foregroundFailed) {
    if (!platform::SetForegroundWindowHandle(window)) {
        TRV_TRACE("WindowStatus - SetForegroundWindow nRet=%d", 0);
        foregroundFailed = true;
        return;
    }
    char title[kShownTitleSize] = {};
    platform::GetWindowTitle(window, title, sizeof title);
    TRV_TRACE("WindowStatus - hWnd [" TRV_PRIHANDLE "] SetForegroundWindow of [%s] successful!", window, title);
}

void MoveFocusAway(platform::WindowHandle window) {
    if (window == 0 || platform::GetActiveWindowHandle() != window) return;
    TRV_TRACE("WindowStatus - Give GW_HWNDNEXT focus");
    const platform::WindowHandle next = platform::GetRelatedWindow(window, platform::kNextWindow);
    platform::SetActiveWindowHandle(next);
    platform::SetFocusWindow(next);
}

std::int32_t SetStatus(JavaCallContext& java, const SessionBlock& session, const WindowStatusRecord& record) {
    TRV_TRACE("WindowStatus - cwin_option=1");
    const platform::WindowHandle window = session.WindowHandle;
    const std::uint16_t flags = record.Flags;
    bool foregroundFailed = false;
    if ((flags & window_flags::kSize) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0001 / ResizeWindow");
        if (!platform::SetWindowPlacement(window, 0, 0, 0, record.Width, record.Height,
                                          platform::kPlaceNoMove | platform::kPlaceNoZOrder |
                                              platform::kPlaceShow)) {
            TRV_TRACE("WindowStatus - nRet=%d", kWindowStepFailed);
            return kWindowStepFailed;
        }
    }
    if ((flags & window_flags::kMove) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0002 / MoveWindow");
        if (!platform::SetWindowPlacement(window, 0, record.X, record.Y, 0, 0,
                                          platform::kPlaceNoSize | platform::kPlaceNoZOrder |
                                              platform::kPlaceShow)) {
            TRV_TRACE("WindowStatus - nRet=%d", kWindowStepFailed);
            return kWindowStepFailed;
        }
    }
    if ((flags & window_flags::kZOrder) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0004 / SendTo...");
        if (record.ZOrder == kWindowZOrderFront) MakeForeground(window, foregroundFailed);
        if (record.ZOrder == kWindowZOrderAway) MoveFocusAway(window);
    } else if ((flags & window_flags::kActivate) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0080 / SendToFront");
        MakeForeground(window, foregroundFailed);
    } else if ((flags & window_flags::kDeactivate) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0100 / SendToBack");
        MoveFocusAway(window);
        if (!platform::SetWindowPlacement(window, platform::kPlaceAtBottom, 0, 0, 0, 0,
                                          platform::kPlaceNoSize | platform::kPlaceNoMove |
                                              platform::kPlaceNoActivate)) {
            TRV_TRACE("WindowStatus - nRet=%d", kWindowStepFailed);
            return kWindowStepFailed;
        }
    }
    if ((flags & (window_flags::kShow | window_flags::kHide)) != 0) {
        TRV_TRACE("WindowStatus - cwin_flags & 0x0008 or 00010 / SetVisible");
        const jvalue show[1] = {BoolArg((flags & window_flags::kShow) != 0)};
        const std::int32_t result = CallPlain(java, "SetVisible", "(Z)J", show);
        if (result != 0) return result;
    }
    if ((flags & (window_flags::kSize | window_flags::kMove)) == 0) {
        TRV_TRACE("WindowStatus - not cwin_flags & 0x0001 and 2 / Min,Max,Restore");
        if ((flags & window_flags::kMinimize) != 0) {
            TRV_TRACE("WindowStatus - Let's Minimize");
            platform::SetWindowShowState(window, platform::kShowMinimized);
        } else if ((flags & window_flags::kMaximize) != 0) {
            TRV_TRACE("WindowStatus - Let's Maximize");
            platform::SetWindowShowState(window, platform::kShowMaximized);
        } else if ((flags & window_flags::kRestore) != 0) {
            TRV_TRACE("WindowStatus - Let's Restore");
            platform::SetWindowShowState(window, platform::kShowRestore);
        }
    }
    const std::int32_t result = foregroundFailed ? kForegroundFailed : 0;
    TRV_TRACE("WindowStatus - nRet=%d", result);
    return result;
}

std::int32_t QueryStatus(JavaCallContext& java, ApplicationBlock& caller, const SessionBlock& session,
                         WindowStatusRecord& record) {
    TRV_TRACE("WindowStatus - cwin_option=2");
    std::int32_t result = QueryFlags(java, session, record.Flags);
    if (result != 0) return result;
    WindowCoordinates coordinates{};
    result = QueryCoordinates(java, caller, coordinates);
    if (result != 0) return result;
    record.X = coordinates.left;
    record.Y = coordinates.top;
    record.Width = coordinates.right - coordinates.left;
    record.Height = coordinates.bottom - coordinates.top;
    std::memset(caller.Data, 0, kDataSize);
    caller.StoreData(&record, sizeof record);
    return 0;
}

std::int32_t QueryExtendedStatus(JavaCallContext& java, ApplicationBlock& caller, const SessionBlock& session,
                                 WindowStatusRecord& record) {
    TRV_TRACE("WindowStatus - cwin_option=3");
    std::int32_t result = QueryFlags(java, session, record.Flags);
    if (result != 0) return result;
    const std::uint32_t font = static_cast<std::uint32_t>(CallPlain(java, "GetFontDimensions"));
    unsigned char bytes[sizeof record];
    std::memcpy(bytes, &record, sizeof record);
    const std::uint16_t fontWidth = static_cast<std::uint16_t>(font >> 16);
    const std::uint16_t fontHeight = static_cast<std::uint16_t>(font & 0xFFFF);
    const std::uint16_t one = 1;
    const std::uint64_t window = session.WindowHandle;
    std::memcpy(bytes + kWindowStatusFontWidthOffset, &fontWidth, sizeof fontWidth);
    std::memcpy(bytes + kWindowStatusFontHeightOffset, &fontHeight, sizeof fontHeight);
    std::memcpy(bytes + kWindowStatusOnesOffset, &one, sizeof one);
    std::memcpy(bytes + kWindowStatusOnesOffset + sizeof one, &one, sizeof one);
    std::memcpy(bytes + kWindowStatusHandleOffset, &window, sizeof window);
    caller.StoreData(bytes, sizeof bytes);
    return 0;
}

}  // namespace

std::optional<WindowCoordinates> ParseCoordinateText(std::string_view text) {
    const std::size_t start = text.find(" L");
    if (start == std::string_view::npos) return std::nullopt;
    // The numbers are read from a bounded copy: a longer text is cut.
    char buffer[kCoordinateTextSize] = {};
    const std::string_view after = text.substr(start + 2);
    std::memcpy(buffer, after.data(), after.size() < sizeof buffer - 1 ? after.size() : sizeof buffer - 1);
    const std::string_view bounded(buffer);
    WindowCoordinates coordinates{};
    std::int32_t* fields[4] = {&coordinates.left, &coordinates.bottom, &coordinates.right, &coordinates.top};
    const char* markers[4] = {"", " B", " R", " T"};
    std::size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t marker = bounded.find(markers[i], at);
        if (marker == std::string_view::npos) return std::nullopt;
        at = marker + std::strlen(markers[i]);
        char* end = nullptr;
        const long value = std::strtol(buffer + at, &end, 10);
        if (end == buffer + at) return std::nullopt;
        *fields[i] = static_cast<std::int32_t>(value);
        at = static_cast<std::size_t>(end - buffer);
    }
    if (bounded.find('W', at) == std::string_view::npos) return std::nullopt;
    return coordinates;
}

std::int32_t ConnectWindowServices(ApplicationBlock& caller, const SessionBlock& session) {
    {
        char shown[kShownTitleSize] = {};
        std::memcpy(shown, caller.Data, sizeof shown - 1);
        TRV_TRACE("ConnectWindowServices enter - window [%s]", shown);
    }
    JavaCallContext java(session.Index);
    const std::int32_t result = CallPlain(java, "GetWindowTitle");
    platform::WindowHandle window = 0;
    if (result == 0) {
        char title[kWindowTitleSize] = {};
        const std::string_view text = DataText(caller);
        std::memcpy(title, text.data(), text.size() < sizeof title - 1 ? text.size() : sizeof title - 1);
        Sessions()->SetWindowTitle(SessionLetterOf(session), title);
        TRV_TRACE("ConnectWindowServices shortN [%c] input [%s]", SessionLetterOf(session), title);
        window = platform::FindEmulatorWindow(title);
        if (window == 0) window = platform::FindTopLevelWindow(nullptr, title);
        TRV_TRACE("ConnectWindowServices - HWND [" TRV_PRIHANDLE "]", window);
        Sessions()->SetWindowHandle(SessionLetterOf(session), window);
    }
    NoteDataWritten(caller, 1);
    caller.Data[0] = static_cast<std::uint8_t>(SessionLetterOf(session));
    std::memset(caller.Data + 1, 0, 4);
    TRV_TRACE("ConnectWindowServices return - nRet [%d] hWnd [" TRV_PRIHANDLE "]", result, window);
    return result;
}

std::int32_t QueryWindowCoordinates(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("QueryWindowCoordinates enter");
    JavaCallContext java(session.Index);
    const std::uint8_t shortName = caller.Data[0];
    WindowCoordinates coordinates{};
    const std::int32_t result = QueryCoordinates(java, caller, coordinates);
    if (result == 0) {
        WindowCoordinatesReply reply{};
        reply.ShortName = static_cast<char>(shortName);
        reply.XLeft = coordinates.left;
        reply.YBottom = coordinates.bottom;
        reply.XRight = coordinates.right;
        reply.YTop = coordinates.top;
        std::memset(caller.Data, 0, kDataSize);
        caller.StoreData(&reply, sizeof reply);
    }
    TRV_TRACE("QueryWindowCoordinates return %d", result);
    return result;
}

std::int32_t WindowStatus(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("WindowStatus entry");
    WindowStatusRecord record;
    std::memcpy(&record, caller.Data, sizeof record);
    JavaCallContext java(session.Index);
    std::int32_t result = 0;
    switch (record.Option) {
        case kWindowStatusSet: result = SetStatus(java, session, record); break;
        case kWindowStatusQuery: result = QueryStatus(java, caller, session, record); break;
        case kWindowStatusQueryExtended: result = QueryExtendedStatus(java, caller, session, record); break;
        default: break;
    }
    TRV_TRACE("WindowStatus return nRet=%d", result);
    return result;
}

std::int32_t ChangeWindowName(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("ChangeWindowName enter");
    const bool titleSaved = session.WindowTitle[0] != '\0';
    const std::uint8_t request = caller.Data[kWindowNameRequestOffset];
    char name[kDataSize] = {};
    bool keepOldTitle = false;
    std::uint8_t request68[kWindowNameRequestSize];
    if (request == kWindowNameSet) {
        std::memcpy(name, caller.Data + kWindowNameTextOffset,
                    strnlen(reinterpret_cast<const char*>(caller.Data + kWindowNameTextOffset),
                            kDataSize - kWindowNameTextOffset - 1));
        keepOldTitle = !titleSaved;
        if (keepOldTitle) std::memcpy(request68, caller.Data, sizeof request68);
    } else if (request == kWindowNameReset && titleSaved) {
        std::memcpy(name, session.WindowTitle, strnlen(session.WindowTitle, kWindowTitleSize));
    } else {
        std::strcpy(name, kNoNameChange);
    }
    JavaCallContext java(session.Index);
    const jvalue args[2] = {ObjectArg(java.ByteArray(name, std::strlen(name))), BoolArg(keepOldTitle)};
    const std::int32_t result = CallPlain(java, "ChangeWindowName", "([BZ)J", args);
    if (keepOldTitle) {
        // The emulator wrote the title it had into Data during the call.
        char title[kWindowTitleSize] = {};
        const std::string_view text = DataText(caller);
        std::memcpy(title, text.data(), text.size() < sizeof title - 1 ? text.size() : sizeof title - 1);
        Sessions()->SetWindowTitle(SessionLetterOf(session), title);
        caller.StoreData(request68, sizeof request68);
        caller.Data[kWindowNameRequestSize] = 0;
    }
    TRV_TRACE("ChangeWindowName return %d", result);
    return result;
}

std::int32_t StartMacro(ApplicationBlock& caller, const SessionBlock& session) {
    TRV_TRACE("StartMacro enter");
    const std::size_t length = caller.DataLength < kDataSize ? caller.DataLength : kDataSize - 1;
    const std::size_t named = strnlen(reinterpret_cast<const char*>(caller.Data), length);
    JavaCallContext java(session.Index);
    const jvalue args[1] = {ObjectArg(java.ByteArray(caller.Data, named))};
    const std::optional<jlong> answer = java.CallLong("StartMacro", "([B)J", args);
    const std::int32_t result = answer ? UnpackResult(*answer).code : kJavaCallFailed;
    TRV_TRACE("StartMacro return %d", result);
    return result;
}

}  // namespace trv
