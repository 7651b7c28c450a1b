// Thread message queues: the Win32 queue of the calling thread, read with
// PeekMessageA and never dispatched, so that messages for the thread's
// message-only windows arrive here too, with their window.
#include "platform/message_queue.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

void Fill(const MSG& msg, ThreadMessage& out) {
    out.window = win32::FromWindow(msg.hwnd);
    out.message = msg.message;
    out.wParam = msg.wParam;
    out.lParam = msg.lParam;
}

}  // namespace

void EnsureMessageQueue() {
    // The first message call of a thread gives it its queue.
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
}

bool PostToThread(std::uint32_t threadId, std::uint32_t message, std::uintptr_t wParam,
                  std::intptr_t lParam) {
    if (!PostThreadMessageA(threadId, message, wParam, lParam)) {
        win32::RecordLastError();
        return false;
    }
    return true;
}

MessageWait GetThreadMessage(ThreadMessage& out, std::uint32_t timeoutMs) {
    HANDLE stop = win32::CurrentStopEvent();
    const DWORD handleCount = stop != nullptr ? 1 : 0;
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        if (win32::CurrentThreadStopping()) {
            win32::RecordError(win32::kStopError);
            return MessageWait::failed;
        }
        MSG msg;
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Fill(msg, out);
            return msg.message == kQuitMessage ? MessageWait::quit : MessageWait::message;
        }
        const DWORD remaining = win32::RemainingMs(start, timeoutMs);
        if (remaining == 0) return MessageWait::timed_out;
        // MWMO_INPUTAVAILABLE: wake for anything already queued, not only for
        // what arrives after the last PeekMessage. A wake for a sent message
        // (handled inside PeekMessageA) or other input just loops.
        const DWORD result = MsgWaitForMultipleObjectsEx(handleCount, handleCount ? &stop : nullptr,
                                                         remaining, QS_ALLINPUT,
                                                         MWMO_INPUTAVAILABLE);
        if (result == WAIT_FAILED) {
            win32::RecordLastError();
            return MessageWait::failed;
        }
        if (result == WAIT_TIMEOUT) {
            // Take a message that raced the time limit rather than dropping it.
            if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                Fill(msg, out);
                return msg.message == kQuitMessage ? MessageWait::quit : MessageWait::message;
            }
            return MessageWait::timed_out;
        }
        // WAIT_OBJECT_0 with a stop event is the stop; the loop's check answers it.
    }
}

}  // namespace trv::platform
