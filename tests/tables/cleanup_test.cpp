// AlertWaitingBlocks within one process. (ApplicationDestroyed, which meets
// another process's blocks, is tested with the tables across processes.)
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "platform/atom.h"
#include "platform/event.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "protocol/notification.h"
#include "shared/shared_control.h"
#include "table_fixture.h"
#include "tables/cleanup.h"

namespace trv::test {
namespace {

using Posted = std::tuple<std::uintptr_t, std::uint32_t, std::uintptr_t, std::intptr_t>;

std::vector<Posted> DrainMessages() {
    std::vector<Posted> posted;
    platform::ThreadMessage m;
    while (platform::GetThreadMessage(m, 0) == platform::MessageWait::message) {
        posted.push_back({m.window, m.message, m.wParam, m.lParam});
    }
    return posted;
}

TEST(AlertWaitingBlocksTest, ReleasesNotifiesAndDetachesEveryCallerOfTheSession) {
    Tables tables;
    SessionList& sessions = *tables.sessions;
    ApplicationList& list = *tables.applications;
    const std::uint8_t available = Control().SessionsAvailable.exchange(1);
    const std::uint32_t savedMessage = Process().notifyMessage;
    Process().notifyMessage = platform::RegisterMessageName("QMXHLL");
    const platform::WindowHandle window = platform::CreateMessageWindow();
    ASSERT_NE(window, 0u);
    const int n = 'N' - 'A';
    ASSERT_TRUE(sessions.AddNamedSession(RegistrationTemplate(kSelf), 'N'));
    ASSERT_TRUE(sessions.AddNamedSession(RegistrationTemplate(kSelf), 'P'));
    ApplicationBlock* ps = list.AddApplicationBlock(kSelf, 1, false);
    ApplicationBlock* win = list.AddApplicationBlock(kSelf, 2, false);
    ApplicationBlock* quiet = list.AddApplicationBlock(kSelf, 3, false);

    sessions.ConnectSessionPS(ps->BlockName, 'N');  // waits for a reply
    ps->ShortName = 'N';
    ps->SessionID = n;
    ps->Waiting = 1;
    sessions.ConnectSessionWin(win->BlockName, 'N');  // does not wait
    win->WinConnected[n] = 1;
    win->HostUpdateNotifyType[n] = kNotifyBoth | kNotifyByMessage;
    win->HostNotifyHandle[n] = window;
    sessions.AddToHostNotificationList('N', *win);
    quiet->HostUpdateNotifyType[n] = kNotifyBoth | kNotifyByEvent;
    sessions.AddToHostNotificationList('N', *quiet);
    ps->CloseInterceptMode[n] = kCloseByEvent;
    sessions.AddToCloseNotificationList('N', *ps);
    quiet->CloseInterceptMode[n] = kCloseByMessage;
    quiet->CloseInterceptHandle[n] = window;
    sessions.AddToCloseNotificationList('N', *quiet);
    platform::UniqueHandle keyEvent(platform::OpenNamedEvent("KEY_EVENT_SESS_N"));
    win->KeyInterceptOptions[n] = kInterceptAidKeys | kInterceptAllKeys | kInterceptByMessage;
    win->KeyInterceptWindow[n] = window;
    win->KeyInterceptEvent[n] = keyEvent.get();  // the caller's own handle
    win->ClearKeyQueue(n, 96);
    win->QueueKey(n, KeyQueueEntry{'A', 0, 'x'});
    sessions.AddToKeyNotificationList('N', *win);
    platform::UniqueHandle psEvent(platform::OpenNamedEvent("PS_EVENT_SESS_N"));
    platform::UniqueHandle closeEvent(platform::OpenNamedEvent("CLOSE_EVENT_SESS_N"));
    DrainMessages();

    AlertWaitingBlocks(kSelf + 1, sessions.GetSession('N'));  // not the registering process
    EXPECT_EQ(sessions.IsSessionEstablished('N'), 1);
    EXPECT_EQ(ps->ReturnCode, 0u);

    AlertWaitingBlocks(kSelf, sessions.GetSession('N'));
    EXPECT_EQ(ps->ShortName, 0);
    EXPECT_EQ(ps->SessionID, -1);
    EXPECT_EQ(ps->ReturnCode, 9u);
    EXPECT_EQ(platform::WaitForEvent(ps->ReplyEvent, 0), platform::kWaitObject0) << "waiting caller not woken";
    EXPECT_EQ(win->WinConnected[n], 0);
    EXPECT_EQ(win->ReturnCode, 9u);
    EXPECT_EQ(platform::WaitForEvent(win->ReplyEvent, 0), platform::kWaitTimeout) << "idle caller signalled";
    EXPECT_EQ(win->PSUpdated + quiet->PSUpdated, 2);
    EXPECT_EQ(ps->CloseRequested + quiet->CloseRequested, 2);
    EXPECT_EQ(win->KeyInterceptEvent[n], platform::kNoHandle);
    EXPECT_EQ(win->KeyInterceptOptions[n], 0u);
    EXPECT_EQ(win->KeyQueueCount[n], 0);
    EXPECT_EQ(platform::WaitForEvent(keyEvent.get(), 0), platform::kWaitObject0)
        << "key event not signalled, or the caller's handle was closed";
    EXPECT_EQ(platform::WaitForEvent(psEvent.get(), 0), platform::kWaitObject0);
    EXPECT_EQ(platform::WaitForEvent(closeEvent.get(), 0), platform::kWaitObject0);

    const std::uint32_t qmxhll = Process().notifyMessage;
    const std::vector<Posted> expected = {
        {window, qmxhll, HLLAPI_NOTIFY_WPARAM_BASE, HLLAPI_NOTIFY_SESSION_ENDED},   // host, 1st listed
        {window, qmxhll, HLLAPI_NOTIFY_WPARAM_BASE + 1, HLLAPI_NOTIFY_CLOSE_ATTEMPT},  // close, 2nd listed
        {window, qmxhll, HLLAPI_NOTIFY_WPARAM_BASE, HLLAPI_NOTIFY_KEYSTROKE}};  // key, 1st listed
    EXPECT_EQ(DrainMessages(), expected);

    const SessionBlock& ended = sessions.Blocks[n];
    EXPECT_EQ(ended.Established, 0);
    EXPECT_EQ(ended.HostNotifyCount + ended.CloseNotifyCount + ended.KeyNotifyCount, 0);
    EXPECT_EQ(Control().SessionsAvailable.load(), 1) << "cleared while P remains";
    AlertWaitingBlocks(kSelf, sessions.GetSession('P'));
    EXPECT_EQ(sessions.SessionCount, 0);
    EXPECT_EQ(Control().SessionsAvailable.load(), 0);

    platform::DestroyMessageWindow(window);
    Control().SessionsAvailable.store(available);
    Process().notifyMessage = savedMessage;
}

}  // namespace
}  // namespace trv::test
