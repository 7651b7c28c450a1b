// The notification protocol between the emulator side and a caller: the
// bits a caller's exchange block keeps for its host-update notification
// (HostUpdateNotifyType), keystroke intercept (KeyInterceptOptions) and
// close intercept (CloseInterceptMode), and the parameters of the "QMXHLL"
// message posted to the caller's window. The message parameters are part of
// the public interface (include/trvha64.h); this header gives them their
// types here and states how they are built.
#pragma once

#include <cstdint>

#include "trvha64.h"

namespace trv {

// Bits of HostUpdateNotifyType.
constexpr std::uint32_t kNotifyPS = 0x1;
constexpr std::uint32_t kNotifyOIA = 0x2;
constexpr std::uint32_t kNotifyBoth = kNotifyPS | kNotifyOIA;
constexpr std::uint32_t kNotifyByMessage = 0x10;
constexpr std::uint32_t kNotifyByEvent = 0x20;

// Bits of KeyInterceptOptions.
constexpr std::uint32_t kInterceptAidKeys = 0x1;
constexpr std::uint32_t kInterceptAllKeys = 0x2;
constexpr std::uint32_t kInterceptByMessage = 0x10;

// CloseInterceptMode: 0 none, else the form of the close intercept.
constexpr char kCloseByEvent = 'Q';
constexpr char kCloseByMessage = 'M';

// The letters of a start request's form byte (23, 41, 50; either case).
constexpr char kMessageFormLetter = 'M';
constexpr char kEventFormLetter = 'A';

// The message's wParam: this base plus the caller's position in the
// session's list, which the start functions also hand the caller.
constexpr std::uintptr_t kNotifyWParamBase = HLLAPI_NOTIFY_WPARAM_BASE;

// The message's lParam: a return code in the high word and the function
// that registered the notification in the low word.
constexpr std::intptr_t NotifyLParam(std::int32_t code, std::int32_t function) {
    return (static_cast<std::intptr_t>(code) << 16) | function;
}
constexpr std::intptr_t kOIAUpdateLParam = HLLAPI_NOTIFY_STATUS_LINE;
constexpr std::intptr_t kPSUpdateLParam = HLLAPI_NOTIFY_PRESENTATION_SPACE;
constexpr std::intptr_t kSessionEndedLParam = HLLAPI_NOTIFY_SESSION_ENDED;
constexpr std::intptr_t kCloseAttemptLParam = HLLAPI_NOTIFY_CLOSE_ATTEMPT;
constexpr std::intptr_t kKeystrokeLParam = HLLAPI_NOTIFY_KEYSTROKE;
static_assert(kOIAUpdateLParam == NotifyLParam(HLLAPI_RC_OIA_UPDATED, HA_START_HOST_NOTIFY));
static_assert(kPSUpdateLParam == NotifyLParam(HLLAPI_RC_PS_UPDATED, HA_START_HOST_NOTIFY));
static_assert(kSessionEndedLParam == NotifyLParam(HLLAPI_RC_BOTH_UPDATED, HA_START_HOST_NOTIFY));
static_assert(kCloseAttemptLParam == NotifyLParam(HLLAPI_RC_EVENT_OCCURRED, HA_START_CLOSE_INTERCEPT));
static_assert(kKeystrokeLParam == NotifyLParam(0, HA_START_KEY_INTERCEPT));

}  // namespace trv
