// The remaining caller-side functions: the window-services group (101 to
// 106), the two lock functions (60, 61), file transfer (90, 91) and Start
// Playing Macro (110).
//
// Window services of a session are held by at most one exchange block: the
// session table's WinConnection names it, and the block's WinConnected and
// WinOwnerThreadId say which sessions it holds and which thread may let them
// go. The window operations themselves are the emulator side's; here only
// the holder rules and the request sizes are decided. File transfer commands
// are split here into the block's XferPCFile and XferOptions, which the
// emulator side reads.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "ehllapi/call_to_session.h"
#include "ehllapi/dispatcher.h"
#include "ehllapi/notify_support.h"
#include "platform/thread.h"
#include "protocol/caller_data.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/session_parms.h"
#include "tables/table_support.h"

namespace trv::handlers {
namespace {

// Request bytes of the functions whose data string has a fixed layout.
constexpr std::int64_t kLockPSRequestBytes = 8;
constexpr std::int64_t kLockWindowServicesRequestBytes = 12;
constexpr std::int64_t kWindowCoordinatesBytes = sizeof(WindowCoordinatesReply);
constexpr std::int64_t kWindowStatusBytes = sizeof(WindowStatusRecord);
constexpr std::int64_t kWindowNameBytes = kWindowNameRequestSize;

// The longest file name and options text the block's fields hold with their
// terminators.
constexpr std::size_t kMaxTransferName = kTransferNameSize - 1;
constexpr std::size_t kMaxTransferOptions = kTransferOptionsSize - 1;

int IndexOfFirstByte(const ParserCall& call) {
    const char name[2] = {call.caller.FirstDataByte(), '\0'};
    return SessionIndex(name);
}

char Shown(char c) { return c != '\0' ? c : ' '; }

bool IsOwnBlockName(const char (&field)[kBlockNameSize], const ApplicationBlock& block) {
    return std::strncmp(field, block.BlockName, kBlockNameSize) == 0;
}

bool HoldsWindowServices(const ApplicationBlock& block, int index) {
    return index >= 0 && index < kSessionCount && block.WinConnected[index] != 0;
}

// The holder named in the session record is gone when its block no longer
// exists or its process ended without detaching (killed); a live process
// that took the dead one's id does not count as the holder. A dead holder's
// block is reclaimed as a whole, which also frees the services; merely
// clearing the record would let the later reclaim of that block clear the
// new holder's record.
bool WindowServicesHolderGone(char letter, const char (&holderName)[kBlockNameSize]) {
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, holderName);
    const ApplicationBlock* holder = Applications()->GetApplicationBlock(name);
    if (holder == nullptr) {
        Sessions()->DisconnectSessionWin(letter);
        return true;
    }
    if (!ApplicationList::HolderEnded(*holder)) return false;
    TRV_TRACE("EHLLAPIParser CPS - holder process %x ended, reclaimed", holder->ProcessId);
    Applications()->ReclaimBlocksOfEndedProcesses();
    return true;
}

// The session of 103 to 106 when it is valid, established and its window
// services are held by this block; -1 otherwise.
int HeldSession(const ParserCall& call, int index) {
    if (index < 0 || !IsSessionEstablished(index)) return -1;
    return HoldsWindowServices(call.block, index) ? index : -1;
}

// What ParseTransferCommand found: whether the command is bad and the
// session it names (-1 when it names none).
struct TransferCommand {
    bool bad = false;
    int session = -1;
};

// The command's bytes: with STREOT those before the first EotChar (searched
// within one Data's worth), otherwise the caller's length. Answers false
// when there is no such command.
bool CommandBytes(const ApplicationBlock& block, const CallerParameters& caller, std::size_t& size) {
    const unsigned char* data = caller.data;
    if ((block.SessionParms & parms::kStrEot) != 0) {
        if (data == nullptr) return false;
        const auto* end = static_cast<const unsigned char*>(
            std::memchr(data, static_cast<unsigned char>(block.EotChar), kDataSize));
        if (end == nullptr) return false;
        size = static_cast<std::size_t>(end - data);
        return true;
    }
    const std::int32_t length = caller.LengthOrZero();
    if (length < 0 || length > static_cast<std::int32_t>(kDataSize)) return false;
    if (length > 0 && data == nullptr) return false;
    size = static_cast<std::size_t>(length);
    return true;
}

void CopyTransferField(char* field, std::string_view text) {
    std::memcpy(field, text.data(), text.size());
    field[text.size()] = '\0';
}

// Splits the command into the personal-computer file name (XferPCFile) and
// the rest (XferOptions: the host file and the options, upper case, with the
// appended blank at the end). A name or rest longer than its field holds
// makes the command bad rather than cut: a cut name would name another file.
TransferCommand ParseTransferCommand(ApplicationBlock& block, const CallerParameters& caller) {
    TransferCommand result;
    std::memset(block.XferPCFile, 0, sizeof block.XferPCFile);
    std::memset(block.XferHostFile, 0, sizeof block.XferHostFile);
    std::memset(block.XferOptions, 0, sizeof block.XferOptions);

    std::size_t size = 0;
    if (!CommandBytes(block, caller, size)) {
        result.bad = true;
        return result;
    }
    std::array<char, kDataSize + 2> buffer{};
    if (size > 0) std::memcpy(buffer.data(), caller.data, size);
    buffer[size] = ' ';
    for (char& c : buffer) c = UpperAscii(c);
    // An embedded NUL ends the command as it ends any text of the block.
    const std::string_view text(buffer.data(), std::strlen(buffer.data()));

    std::size_t at = 0;
    std::string_view name;
    if (text[0] == '"') {
        const std::size_t close = text.find('"', 1);
        if (close == std::string_view::npos) {
            result.bad = true;
            return result;
        }
        name = text.substr(1, close - 1);
        at = close + 1;
    } else {
        at = text.find(' ');  // the appended blank at least
        name = text.substr(0, at);
    }
    if (name.size() > kMaxTransferName) {
        result.bad = true;
    } else {
        CopyTransferField(block.XferPCFile, name);
    }

    auto skipBlanks = [&] {
        while (at < text.size() && text[at] == ' ') ++at;
    };
    skipBlanks();
    if (at >= text.size()) {
        result.bad = true;
        return result;
    }
    if (at + 1 < text.size() && text[at + 1] == ':') {
        const char letter[2] = {text[at], '\0'};
        result.session = SessionIndex(letter);
        at += 2;
        skipBlanks();
        if (at >= text.size()) {
            result.bad = true;
            return result;
        }
    } else if (IsSessionEstablished(0)) {
        result.session = 0;
    } else {
        result.bad = true;
    }
    const std::string_view rest = text.substr(at);
    if (rest.size() > kMaxTransferOptions) {
        result.bad = true;
    } else {
        CopyTransferField(block.XferOptions, rest);
    }
    return result;
}

}  // namespace

HandlerOutcome LockPresentationSpace(ParserCall& call) {
    const int index = IndexOfFirstByte(call);
    if (index < 0 || !IsSessionEstablished(index)) return HLLAPI_RC_NO_SESSION;
    call.session = index;
    call.requestBytes = call.caller.function == HA_LOCK_PS ? kLockPSRequestBytes
                                                           : kLockWindowServicesRequestBytes;
    return kSendToSession;
}

HandlerOutcome SendReceiveFile(ParserCall& call) {
    // Send File shares Receive File's path and trace.
    if (call.caller.function == HA_SEND_FILE) TRV_TRACE("EHLLAPIParser HA_RECEIVE_FILE");
    ApplicationBlock& block = call.block;
    const TransferCommand command = ParseTransferCommand(block, call.caller);
    if (command.bad) {
        TRV_TRACE("EHLLAPIParser HRF - Error - Bad Parm");
        return HLLAPI_RC_BAD_PARAMETER;
    }
    const int session = command.session >= 0 ? command.session : ConnectedSession(block);
    if (session < 0) return HLLAPI_RC_NO_SESSION;
    call.session = session;
    call.requestBytes = call.caller.LengthOrZero();
    return kSendToSession;
}

HandlerOutcome ConnectWindowServices(ParserCall& call) {
    ApplicationBlock& block = call.block;
    TRV_TRACE("EHLLAPIParser HA_CONNECT_PM_SRVCS - session %c", Shown(call.caller.FirstDataByte()));
    const int index = IndexOfFirstByte(call);
    TRV_TRACE("EHLLAPIParser CPS - session ID %d", index);
    if (index < 0 || !IsSessionEstablished(index)) {
        TRV_TRACE("EHLLAPIParser CPS - invalid PS");
        return HLLAPI_RC_NO_SESSION;
    }
    const char letter = SessionLetter(index);
    SessionBlock session = Sessions()->GetSession(letter);
    if (session.WinConnection[0] != '\0' && !IsOwnBlockName(session.WinConnection, block)) {
        if (!WindowServicesHolderGone(letter, session.WinConnection)) {
            TRV_TRACE("EHLLAPIParser CPS - window unavailable");
            return HLLAPI_RC_IN_USE;
        }
        session = Sessions()->GetSession(letter);
    }
    if (session.WinConnection[0] == '\0') {
        char name[kBlockNameSize + 1];
        TerminatedCopy<kBlockNameSize>(name, block.BlockName);
        if (!Sessions()->ClaimSessionWin(name, letter)) {
            // Another caller claimed them between the look and the claim.
            if (Sessions()->GetSession(letter).WinConnection[0] == '\0') return HLLAPI_RC_SYSTEM_ERROR;
            TRV_TRACE("EHLLAPIParser CPS - window unavailable");
            return HLLAPI_RC_IN_USE;
        }
    }
    block.WinConnected[index] = 1;
    block.WinOwnerThreadId[index] = platform::CurrentThreadId();
    call.session = index;
    call.requestBytes = call.caller.LengthOrZero();
    return kSendToSession;
}

HandlerOutcome DisconnectWindowServices(ParserCall& call) {
    ApplicationBlock& block = call.block;
    TRV_TRACE("EHLLAPIParser HA_DISCONNECT_PM_SRVCS - session %c", Shown(call.caller.FirstDataByte()));
    const int index = IndexOfFirstByte(call);
    TRV_TRACE("EHLLAPIParser DPS - session ID %d", index);
    if (!HoldsWindowServices(block, index) || block.WinOwnerThreadId[index] != platform::CurrentThreadId()) {
        return HLLAPI_RC_NO_SESSION;
    }
    Sessions()->DisconnectSessionWin(SessionLetter(index));
    block.WinConnected[index] = 0;
    return HLLAPI_RC_SUCCESS;
}

HandlerOutcome QueryWindowCoordinates(ParserCall& call) {
    if (call.caller.data == nullptr) return HLLAPI_RC_BAD_PARAMETER;
    const int index = HeldSession(call, SelectSession(call));
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    call.session = index;
    call.requestBytes = kWindowCoordinatesBytes;
    return kSendToSession;
}

HandlerOutcome WindowStatus(ParserCall& call) {
    TRV_TRACE("EHLLAPIParser HA_PM_WINDOW_STATUS - session %c", Shown(call.caller.FirstDataByte()));
    const int index = HeldSession(call, IndexOfFirstByte(call));
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    call.session = index;
    call.requestBytes = kWindowStatusBytes;
    return kSendToSession;
}

HandlerOutcome ChangeWindowName(ParserCall& call) {
    if (call.caller.function == HA_CHANGE_SWITCH_NAME) TRV_TRACE("EHLLAPIParser HA_CHANGE_WINDOW_NAME");
    const int index = HeldSession(call, IndexOfFirstByte(call));
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    // Setting an empty name is refused; the emulator is not asked.
    const unsigned char* data = call.caller.data;
    if (data[kWindowNameRequestOffset] == kWindowNameSet && data[kWindowNameTextOffset] == 0) {
        return HLLAPI_RC_BAD_PARAMETER;
    }
    call.session = index;
    call.requestBytes = kWindowNameBytes;
    return kSendToSession;
}

HandlerOutcome StartPlayingMacro(ParserCall& call) {
    const int index = ConnectedSession(call.block);
    if (index < 0) return HLLAPI_RC_NO_SESSION;
    call.session = index;
    call.requestBytes = call.caller.LengthOrZero();
    return kSendToSession;
}

}  // namespace trv::handlers
