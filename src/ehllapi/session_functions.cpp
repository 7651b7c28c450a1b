// The session and connection functions of the dispatcher: Connect and
// Disconnect Presentation Space, Set Session Parameters, Query Sessions,
// Reserve, Release, Query System, Reset System and Query Session Status.
//
// A caller's connection is its block's ShortName, SessionID and
// OwnerThreadId together with the session table's PSConnection; these
// functions keep the two sides in step.
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "ehllapi/keyword_table.h"
#include "ehllapi/notify_support.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "platform/thread.h"
#include "protocol/library_version.h"
#include "protocol/caller_data.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/cleanup.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"
#include "tables/table_support.h"

namespace trv::handlers {
namespace {

char LetterOf(int index) { return static_cast<char>('A' + index); }

// A session counts as established only while a live process serves it; the
// sessions of an emulator that ended without unregistering (killed) are
// reclaimed here, so the caller hears "no session" instead of connecting to
// a session that can never answer.
bool IsEstablished(int index) {
    if (index < 0 || index >= kSessionCount) return false;
    if (Sessions()->IsSessionEstablished(LetterOf(index)) == 0) return false;
    const SessionBlock session = Sessions()->GetSession(LetterOf(index));
    if (SessionOwnerEnded(session)) {
        ReclaimSessionsOfEndedProcess(session.ProcessID);
        return false;
    }
    return session.Established != 0;
}

bool SameBlockName(const char (&field)[kBlockNameSize], const char (&name)[kBlockNameSize]) {
    return std::strncmp(field, name, kBlockNameSize) == 0;
}

// The block's connection is undone in the session table and in the block.
void ClearConnection(ApplicationBlock& block) {
    Sessions()->DisconnectSessionPS(block.ShortName);
    block.ShortName = 0;
    block.SessionID = -1;
}

void ReleaseIfReserved(ApplicationBlock& block) {
    if (block.Reserved != 0) InternalRequest(block, HA_RELEASE, nullptr, 0);
}

// The Query System reply as the library image was built: version, level,
// build date and the fixed fields; the code page is filled per call.
QuerySystemReply BuildQuerySystemTemplate() {
    QuerySystemReply reply{};
    auto put = [](auto& field, std::string_view text) { std::memcpy(&field, text.data(), text.size()); };
    put(reply.Version, kLibraryVersion);
    put(reply.Level, kLibraryLevel);
    FormatBuildDate(BuildDate(), reply.BuildDate);
    put(reply.Reserved9, "   ");
    put(reply.HardwareBase, "U");
    put(reply.ProgramType, "H");
    put(reply.Reserved14, "0090");
    put(reply.Reserved18, " ");
    put(reply.Reserved19, "00000000");
    put(reply.Reserved32, " ");
    return reply;
}

const QuerySystemReply kQuerySystemTemplate = BuildQuerySystemTemplate();

}  // namespace

HandlerOutcome ConnectPS(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const char requested = call.caller.FirstDataByte();
    TRV_TRACE("EHLLAPIParser HA_CONNECT_PS - Session %c", requested != '\0' ? requested : ' ');
    const char name[2] = {requested, '\0'};
    const int index = SessionIndex(name);
    if (index < 0 || !IsEstablished(index)) return HLLAPI_RC_NO_SESSION;
    const char letter = LetterOf(index);

    // The new session is claimed before the old one is let go, so that a
    // refusal (11) leaves the caller's connection as it was.
    char blockName[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(blockName, block.BlockName);
    if (!Sessions()->ConnectSessionPS(blockName, letter)) return HLLAPI_RC_SYSTEM_ERROR;
    SessionBlock session = Sessions()->GetSession(letter);
    if (session.PSConnection[0] != '\0' && !SameBlockName(session.PSConnection, block.BlockName)) {
        // A holder whose process has ended blocks nobody: it is reclaimed
        // (or its stale name cleared) and the connect tried once more.
        char holder[kBlockNameSize + 1];
        TerminatedCopy<kBlockNameSize>(holder, session.PSConnection);
        if (!Applications()->ReclaimIfHolderEnded(holder)) return HLLAPI_RC_IN_USE;
        Sessions()->DisconnectSessionPS(letter, holder);
        if (!Sessions()->ConnectSessionPS(blockName, letter)) return HLLAPI_RC_SYSTEM_ERROR;
        session = Sessions()->GetSession(letter);
        if (!SameBlockName(session.PSConnection, block.BlockName)) return HLLAPI_RC_IN_USE;
    }
    if (block.ShortName != '\0' && block.ShortName != letter) {
        ReleaseIfReserved(block);
        Sessions()->DisconnectSessionPS(block.ShortName);
    }
    TRV_TRACE("EHLLAPIParser CP - was session %c, id %d.", block.ShortName, block.SessionID);
    block.ShortName = letter;
    block.SessionID = index;
    TRV_TRACE("EHLLAPIParser CP - now session %c, id %d.", block.ShortName, block.SessionID);
    // Disconnect is allowed only to the connecting thread, with or without
    // CONPHYS; the physical connect is the emulator's to make.
    block.OwnerThreadId = platform::CurrentThreadId();
    if ((block.SessionParms & parms::kConPhys) == 0) return HLLAPI_RC_SUCCESS;
    call.session = index;
    call.requestBytes = 0;
    return kSendToSession;
}

HandlerOutcome DisconnectPS(ParserCall& call) {
    ApplicationBlock& block = call.block;
    if (block.ShortName == '\0' || block.OwnerThreadId != platform::CurrentThreadId()) {
        return HLLAPI_RC_NO_SESSION;
    }
    ReleaseIfReserved(block);
    TRV_TRACE("EHLLAPIParser DP - session %c, id %d, disconnected.", block.ShortName, block.SessionID);
    ClearConnection(block);
    return HLLAPI_RC_SUCCESS;
}

HandlerOutcome SetSessionParameters(ParserCall& call) {
    const CallerParameters& caller = call.caller;
    const std::int32_t length = caller.LengthOrZero();
    // At most one Data's worth of parameters; the text ends at its first 0
    // byte as well as at the caller's length.
    if (length < 0 || length > static_cast<std::int32_t>(kDataSize) ||
        (caller.data == nullptr && length > 0)) {
        TRV_TRACE("EHLLAPIParser HA_SET_SESSION_PARMS parms: %s", "");
        caller.StoreLength(0);
        TRV_TRACE("EHLLAPIParser HA_SET_SESSION_PARMS - break2");
        return HLLAPI_RC_BAD_PARAMETER;
    }
    std::array<char, kDataSize + 1> text{};
    std::size_t size = static_cast<std::size_t>(length);
    if (size > 0) {
        std::memcpy(text.data(), caller.data, size);
        size = std::strlen(text.data());
    }
    TRV_TRACE("EHLLAPIParser HA_SET_SESSION_PARMS parms: %s", text.data());
    bool allRecognised = true;
    const int recognised =
        ApplySessionParameters(call.block, std::string_view(text.data(), size), allRecognised);
    caller.StoreLength(recognised);
    TRV_TRACE("EHLLAPIParser HA_SET_SESSION_PARMS - break2");
    return allRecognised ? HLLAPI_RC_SUCCESS : HLLAPI_RC_BAD_PARAMETER;
}

HandlerOutcome QuerySessions(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const CallerParameters& caller = call.caller;
    const std::int32_t length = caller.LengthOrZero();
    // Without a buffer nothing can be reported, but the count still can.
    const int capacity = caller.data == nullptr || length < 0
                             ? 0
                             : static_cast<int>(length / static_cast<std::int32_t>(sizeof(QuerySessionsEntry)));
    const int count = UsedNotifyEntries(Sessions()->SessionCount);
    const int toReport = capacity < count ? capacity : count;
    caller.StoreReturnCode(HLLAPI_RC_SUCCESS);

    int reported = 0;
    for (int index = 0; index < kSessionCount && reported < toReport; ++index) {
        const SessionBlock session = Sessions()->GetSession(LetterOf(index));
        if (session.Established == 0) continue;
        const BlockRequestLock requestLock(block);
        block.Function = HA_QUERY_SESSIONS;
        block.DataLength = 0;
        block.ReturnCode = 0;
        EHLLAPICallToSession(block, session);
        if (block.ReturnCode == 0) {
            std::memcpy(caller.data + static_cast<std::size_t>(reported) * sizeof(QuerySessionsEntry),
                        block.Data, sizeof(QuerySessionsEntry));
            ++reported;
        }
        block.ReturnCode = 0;
        block.DataLength = 0;
        std::memset(block.Data, 0, sizeof(QuerySessionsEntry));
    }
    caller.StoreLength(count);
    return capacity >= count ? HLLAPI_RC_SUCCESS : HLLAPI_RC_BAD_PARAMETER;
}

HandlerOutcome Reserve(ParserCall& call) {
    ApplicationBlock& block = call.block;
    const int session = ConnectedSession(block);
    if (session < 0) return HLLAPI_RC_NO_SESSION;
    if (block.KeyInterceptOptions[session] != 0) return HLLAPI_RC_KEY_INTERCEPT_ACTIVE;
    block.Reserved = 1;
    call.session = session;
    call.requestBytes = 0;
    return kSendToSession;
}

HandlerOutcome Release(ParserCall& call) {
    ApplicationBlock& block = call.block;
    if (block.Reserved == 0) return HLLAPI_RC_SUCCESS;
    block.Reserved = 0;
    const int session = ConnectedSession(block);
    if (session < 0) return HLLAPI_RC_NO_SESSION;
    call.session = session;
    call.requestBytes = 0;
    return kSendToSession;
}

HandlerOutcome QuerySystem(ParserCall& call) {
    if (call.caller.data == nullptr) return HLLAPI_RC_BAD_PARAMETER;
    QuerySystemReply reply = kQuerySystemTemplate;
    reply.CodePage = static_cast<std::uint16_t>(platform::AnsiCodePage() & 0xFFFF);
    std::memcpy(call.caller.data, &reply, sizeof reply);
    if (TraceEnabled()) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(&reply);
        char shown[sizeof reply + 1];
        for (std::size_t i = 0; i < sizeof reply; ++i) {
            shown[i] = bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : ' ';
        }
        shown[sizeof reply] = '\0';
        TRV_TRACE("                        [0        1         2         3       ]");
        TRV_TRACE("                        [1234567890123456789012345678901234567]");
        TRV_TRACE("EHLLAPIParser QS - data [%s] NLS=[%01x%01x]", shown, reply.CodePage & 0xFF, reply.CodePage >> 8);
    }
    return HLLAPI_RC_SUCCESS;
}

HandlerOutcome ResetSystem(ParserCall& call) {
    ApplicationBlock& block = call.block;
    if (block.ShortName != '\0') {
        Sessions()->DisconnectSessionPS(block.ShortName);
        block.ShortName = 0;
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (block.WinConnected[s] == 0) continue;
        Sessions()->DisconnectSessionWin(LetterOf(s));
        block.WinConnected[s] = 0;
    }
    trv::EndEmulatorTies(block);
    for (int s = 0; s < kSessionCount; ++s) {
        if (block.HostUpdateNotifyType[s] == 0) continue;
        Sessions()->RemoveFromHostNotificationList(LetterOf(s), block);
        // The event of an event-form registration is this process's handle.
        if ((block.HostUpdateNotifyType[s] & kNotifyByEvent) != 0) {
            FreeHLLEvent(static_cast<platform::Handle>(block.HostNotifyHandle[s]));
            block.HostNotifyHandle[s] = 0;
        }
    }
    // Whatever ties are left would name a block that no longer exists.
    UnlinkFromSessions(SessionLinksOf(block), &block);

    call.caller.StoreReturnCode(HLLAPI_RC_SUCCESS);
    const std::uint32_t processId = block.ProcessId;
    const std::uint32_t threadId = block.ThreadId;
    const bool perProcess = block.EnhEHLLAPI != 0;
    // The reply event is this process's handle; the table frees the block
    // but not the handle.
    if (TakeOwnHandle(&block.ReplyEvent, block.ReplyEvent)) {
        FreeHLLEvent(block.ReplyEvent);
        block.ReplyEvent = platform::kNoHandle;
    }
    if (perProcess) {
        Applications()->RemoveApplicationBlock(processId);
    } else {
        Applications()->RemoveApplicationBlock(processId, threadId);
    }
    return HLLAPI_RC_SUCCESS;
}

HandlerOutcome QuerySessionStatus(ParserCall& call) {
    const char first = call.caller.FirstDataByte();
    int index = -1;
    if (first != ' ' && first != '\0') {
        TRV_TRACE("EHLLAPIParser QSS - ptr1 is %c", first);
        index = SelectSession(call);
        TRV_TRACE("EHLLAPIParser QSS - session ID from SessionIndex is %d, name = %c", index, first);
    } else {
        TRV_TRACE("EHLLAPIParser QSS - ptr1 is NULL or BLANK");
        index = ConnectedSession(call.block);
        TRV_TRACE("EHLLAPIParser QSS - session ID from lpAB is %d, name = %c", index,
                  call.block.ShortName != '\0' ? call.block.ShortName : ' ');
    }
    if (!IsEstablished(index)) {
        TRV_TRACE("EHLLAPIParser QSS - SessionID is INVALID");
        return HLLAPI_RC_NO_SESSION;
    }
    call.session = index;
    call.requestBytes = sizeof(QuerySessionStatusReply);
    return kSendToSession;
}

}  // namespace trv::handlers

namespace trv {

bool IsSessionEstablished(int index) { return handlers::IsEstablished(index); }

void EndEmulatorTies(ApplicationBlock& block) {
    if (block.Reserved != 0) {
        // Reset System has dropped the connection already, so there the
        // release stays local.
        InternalRequest(block, HA_RELEASE, nullptr, 0);
    }
    // What the stops leave (a session that ended meanwhile answers 12 and
    // keeps its entries) is unlinked by the caller all the same.
    for (int s = 0; s < kSessionCount; ++s) {
        if (block.CloseInterceptMode[s] == '\0') continue;
        unsigned char name[4] = {static_cast<unsigned char>(static_cast<char>('A' + s)), 0, 0, 0};
        InternalRequest(block, HA_STOP_CLOSE_INTERCEPT, name, sizeof name);
    }
    for (int s = 0; s < kSessionCount; ++s) {
        if (block.KeyInterceptOptions[s] == 0) continue;
        unsigned char name[4] = {static_cast<unsigned char>(static_cast<char>('A' + s)), 0, 0, 0};
        InternalRequest(block, HA_STOP_KEY_INTERCEPT, name, sizeof name);
    }
}

}  // namespace trv
