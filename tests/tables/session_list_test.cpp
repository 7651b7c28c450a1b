// The session table: registered sessions and their notification lists.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/event.h"
#include "table_fixture.h"

namespace trv::test {
namespace {

std::vector<ApplicationBlock*> MakeCallers(ApplicationList& applications, int count) {
    std::vector<ApplicationBlock*> callers;
    for (int i = 0; i < count; ++i) callers.push_back(applications.AddApplicationBlock(kSelf, 0x100 + i, false));
    return callers;
}

TEST(SessionListTest, LettersFoldALetterIsRegisteredOnceAndRemovalLeavesOnlyIndexAndShortName) {
    Tables tables;
    SessionList& sessions = *tables.sessions;
    ASSERT_TRUE(sessions.AddNamedSession(RegistrationTemplate(kSelf), 'a'));
    ASSERT_TRUE(sessions.AddNamedSession(RegistrationTemplate(kSelf), 'q'));
    EXPECT_FALSE(sessions.AddNamedSession(RegistrationTemplate(kSelf + 1), 'Q'));
    EXPECT_EQ(sessions.SessionCount, 2);
    EXPECT_EQ(sessions.IsSessionEstablished('q'), 1);
    std::memset(sessions.Blocks[16].Reserved13, 0x5A, sizeof sessions.Blocks[16].Reserved13);
    SessionBlock copy = sessions.GetSession('q');
    EXPECT_EQ(std::memcmp(&copy, &sessions.Blocks[16], sizeof copy), 0) << "not a byte-for-byte copy";
    EXPECT_EQ(copy.ProcessID, kSelf) << "a refused registration changed the block";
    EXPECT_STREQ(copy.HLLEventName, "HLL_EVENT_SESS_Q");

    // HLL and KEY are auto-reset, the five others manual-reset.
    const std::pair<const char*, bool> kinds[] = {
        {copy.HLLEventName, false}, {copy.PSEventName, true},    {copy.OIAEventName, true},
        {copy.BothEventName, true}, {copy.WaitEventName, true},  {copy.CloseEventName, true},
        {copy.KeyEventName, false}};
    for (auto [name, manualReset] : kinds) {
        platform::UniqueHandle event(platform::OpenNamedEvent(name));
        platform::SignalEvent(event.get());
        EXPECT_EQ(platform::WaitForEvent(event.get(), 0), platform::kWaitObject0) << name;
        EXPECT_EQ(platform::WaitForEvent(event.get(), 0),
                  manualReset ? platform::kWaitObject0 : platform::kWaitTimeout) << name;
        platform::ClearEvent(event.get());
    }

    ApplicationBlock* caller = MakeCallers(*tables.applications, 1)[0];
    sessions.ConnectSessionPS(caller->BlockName, 'Q');
    sessions.SetWindowTitle('Q', "host session");
    ASSERT_EQ(sessions.AddToKeyNotificationList('Q', *caller), 0);
    sessions.RemoveSession('q');
    SessionBlock expected;
    expected.Index = 16;
    expected.ShortName = 'Q';
    EXPECT_EQ(std::memcmp(&sessions.Blocks[16], &expected, sizeof expected), 0);
    EXPECT_EQ(sessions.SessionCount, 1);
    sessions.RemoveSession('Q');  // a free letter does not lower the count
    EXPECT_EQ(sessions.SessionCount, 1);
}

// Unlike the plain connect, a claim of the window services never takes them
// from another holder: it settles a race between two callers' connects.
TEST(SessionListTest, AWindowServicesClaimNeverTakesThemFromAnotherHolder) {
    Tables tables;
    SessionList& sessions = *tables.sessions;
    std::vector<ApplicationBlock*> callers = MakeCallers(*tables.applications, 2);
    EXPECT_TRUE(sessions.ClaimSessionWin(callers[1]->BlockName, 'E'));
    EXPECT_FALSE(sessions.ClaimSessionWin(callers[0]->BlockName, 'E'));
    EXPECT_TRUE(sessions.ClaimSessionWin(callers[1]->BlockName, 'E'));
    EXPECT_STREQ(sessions.GetSession('E').WinConnection, callers[1]->BlockName);
}

TEST(SessionListTest, FieldsAreBoundedAndInvalidLettersAreRefusedAndWriteNothing) {
    Tables tables;
    SessionList& sessions = *tables.sessions;
    ApplicationBlock* caller = MakeCallers(*tables.applications, 1)[0];
    sessions.SetWindowTitle('F', std::string(300, 'x').c_str());
    sessions.ClaimSessionWin(std::string(40, 'N').c_str(), 'F');
    const SessionBlock& block = sessions.Blocks[5];
    EXPECT_EQ(std::strlen(block.WindowTitle), kWindowTitleSize - 1);
    EXPECT_EQ(block.WindowHandle, 0u) << "the title ran into the next field";
    EXPECT_EQ(std::strlen(block.WinConnection), kBlockNameSize - 1);
    EXPECT_EQ(block.Caller[0], '\0');

    // A count spoiled by a process that died mid-update is not trusted.
    sessions.Blocks[7].KeyNotifyCount = 1000;
    EXPECT_EQ(sessions.AddToKeyNotificationList('H', *caller), -1);
    sessions.Blocks[7].CloseNotifyCount = -7;
    EXPECT_EQ(sessions.AddToCloseNotificationList('H', *caller), 0);
    EXPECT_EQ(sessions.Blocks[7].CloseNotifyCount, 1);

    const auto* bytes = reinterpret_cast<const unsigned char*>(tables.sessions);
    std::vector<unsigned char> before(bytes, bytes + sizeof(SessionList));
    for (char invalid : {'@', '[', '0', '\0', '`', '{', '\x7f'}) {
        char copy = invalid;
        EXPECT_FALSE(sessions.IsValidSession(copy)) << int{invalid};
        const SessionBlock none = sessions.GetSession(invalid);
        EXPECT_TRUE(AllZero(&none, sizeof none)) << int{invalid};
        sessions.ConnectSessionPS("APPL_BLOCK_X", invalid);
        sessions.SetCaller("APPL_BLOCK_X", invalid);
        sessions.SetWindowTitle(invalid, "title");
        sessions.SetInhibitedStatus(invalid, 1);
        EXPECT_EQ(sessions.AddToHostNotificationList(invalid, *caller), -1);
    }
    EXPECT_EQ(std::memcmp(before.data(), bytes, before.size()), 0);
}

TEST(SessionListTest, NotificationListsStayDenseAndHoldACallerOnce) {
    struct ListOps {
        int (SessionList::*add)(char, const ApplicationBlock&);
        void (SessionList::*remove)(char, const ApplicationBlock&);
        NotifyList SessionBlock::*entries;
        std::int32_t SessionBlock::*count;
    };
    const ListOps lists[] = {
        {&SessionList::AddToHostNotificationList, &SessionList::RemoveFromHostNotificationList,
         &SessionBlock::HostNotifyList, &SessionBlock::HostNotifyCount},
        {&SessionList::AddToCloseNotificationList, &SessionList::RemoveFromCloseNotificationList,
         &SessionBlock::CloseNotifyList, &SessionBlock::CloseNotifyCount},
        {&SessionList::AddToKeyNotificationList, &SessionList::RemoveFromKeyNotificationList,
         &SessionBlock::KeyNotifyList, &SessionBlock::KeyNotifyCount},
    };
    for (const ListOps& list : lists) {
        SCOPED_TRACE(&list - lists);
        Tables tables;
        SessionList& sessions = *tables.sessions;
        std::vector<ApplicationBlock*> callers = MakeCallers(*tables.applications, 26);
        const SessionBlock& g = sessions.Blocks['G' - 'A'];
        auto add = [&](ApplicationBlock* caller) { return (sessions.*list.add)('G', *caller); };

        for (int i : {0, 1, 2, 0}) EXPECT_EQ(add(callers[i]), i);
        EXPECT_EQ(g.*list.count, 3);

        (sessions.*list.remove)('g', *callers[0]);
        EXPECT_EQ(g.*list.count, 2);
        EXPECT_STREQ((g.*list.entries)[0], callers[1]->BlockName);
        EXPECT_STREQ((g.*list.entries)[1], callers[2]->BlockName);
        EXPECT_TRUE(AllZero((g.*list.entries)[2], kBlockNameSize));
        (sessions.*list.remove)('G', *callers[0]);  // no longer listed
        EXPECT_EQ(g.*list.count, 2);
        EXPECT_EQ(sessions.Blocks['F' - 'A'].*list.count + sessions.Blocks['H' - 'A'].*list.count, 0);

        for (ApplicationBlock* caller : callers) EXPECT_GE(add(caller), 0);
        EXPECT_EQ(g.*list.count, 26);
        // A 27th caller, while the 26 listed ones all live.
        auto extra = std::make_unique<ApplicationBlock>();
        std::strcpy(extra->BlockName, "APPL_BLOCK_TOO_MANY");
        EXPECT_EQ(add(extra.get()), -1);
        EXPECT_EQ(g.*list.count, 26);
    }
}

}  // namespace
}  // namespace trv::test
