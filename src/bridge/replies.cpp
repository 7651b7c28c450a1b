// The reply and notification natives of HLLBridge.
//
// Replies are written into the Data of the caller that the session is
// serving (the block named by the session's Caller). That caller is blocked
// waiting for its reply, so its block is written without a lock. Every copy
// is bounded by Data (10,240 bytes with the terminator) and by the Java
// array or text it comes from, whatever length the Java side passes.
//
// Notifications mark the blocks of the callers in the session's lists, post
// the "QMXHLL" message to those that asked for messages and signal the
// session's events. A keystroke is appended to a caller's key queue under
// the queue lock, since the caller takes keys out of it at the same time.
// The event handles in the session's block are used only
// when this process registered the session (they are its own handles).
#include <cstring>

#include "bridge/emulator_state.h"
#include "bridge/hll_bridge_natives.h"
#include "jni/java_call.h"
#include "protocol/mnemonic_table.h"
#include "tables/session_parms.h"
#include "platform/text.h"
#include "protocol/notification.h"
#include "platform/thread.h"
#include "platform/window.h"
#include "shared/named_objects.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {
namespace {

constexpr std::size_t kKeyTextSize = 32;

// The session letter a native was given (its low byte, folded), or 0.
char LetterOf(jchar letter) {
    const char folded = FoldSessionLetter(static_cast<char>(letter & 0xFF));
    return IsSessionLetter(folded) ? folded : 0;
}

// The block of the caller the session is serving, or nullptr (traced) when
// there is none: the letter is bad, or the caller went away. During a
// request, the block the service thread serves; otherwise the caller the
// session table records.
ApplicationBlock* ServedCaller(char letter, const char* native) {
    if (letter == 0 || Sessions() == nullptr || Applications() == nullptr) {
        TRV_TRACE("%s - no session to reply for", native);
        return nullptr;
    }
    bool callerEnded = false;
    if (ApplicationBlock* serving = BlockInService(letter - 'A', &callerEnded)) return serving;
    if (callerEnded) {
        TRV_TRACE("%s - caller of session %c ended during the request, reply dropped", native, letter);
        return nullptr;
    }
    const SessionBlock session = Sessions()->GetSession(letter);
    ApplicationBlock* caller = Applications()->GetApplicationBlock(session.Caller);
    if (caller == nullptr) {
        TRV_TRACE("%s - caller [%.28s] of session %c gone, reply dropped", native, session.Caller, letter);
    }
    return caller;
}

// The reply length a request asks for when Java passes -1: DataLength,
// doubled for the extended attributes and again for the end character of a
// Copy PS (to String).
std::int64_t RequestedLength(const ApplicationBlock& caller) {
    std::int64_t n = static_cast<std::int32_t>(caller.DataLength);
    if (caller.Function == HA_COPY_PS || caller.Function == HA_COPY_PS_TO_STR) {
        if ((caller.SessionParms & parms::kEab) != 0) n *= 2;
        if ((caller.SessionParms & parms::kStrEot) != 0) n *= 2;
    }
    return n;
}

std::size_t Bounded(std::int64_t n, std::size_t available, std::size_t limit) {
    if (n <= 0) return 0;
    std::size_t bounded = static_cast<std::size_t>(n);
    if (bounded > available) bounded = available;
    if (bounded > limit) bounded = limit;
    return bounded;
}

// The byte-array replies copy the array's bytes straight into Data: a screen
// goes over once, without the copy of the whole array that holding its
// elements would make.
void SetRawData(JNIEnv* env, jchar letterArgument, jbyteArray data, jint length) {
    const std::optional<std::size_t> available = ByteArrayLength(env, data);
    ApplicationBlock* caller = ServedCaller(LetterOf(letterArgument), "cppSetRawData");
    if (caller == nullptr || !available) return;
    const std::int64_t wanted = length == -1 ? RequestedLength(*caller) : length;
    const std::size_t n = Bounded(wanted, *available, kDataSize - 1);
    NoteDataWritten(*caller, n + 1);
    if (!CopyFromByteArray(env, data, n, caller->Data)) return;
    caller->ReplyLength = static_cast<std::uint32_t>(n);
    caller->ReplyCount = static_cast<std::int32_t>(n);
    caller->Data[n] = 0;
}

void SetRawDataUnicodePS(JNIEnv* env, jchar letterArgument, jbyteArray data, jint length,
                         jint count) {
    const std::optional<std::size_t> available = ByteArrayLength(env, data);
    ApplicationBlock* caller = ServedCaller(LetterOf(letterArgument), "cppSetRawDataUnicodePS");
    if (caller == nullptr || !available) return;
    const std::int64_t requested = 2 * static_cast<std::int64_t>(static_cast<std::int32_t>(caller->DataLength));
    const std::int64_t wanted = length < requested ? length : requested;
    const std::size_t n = Bounded(wanted, *available, kDataSize - 2);
    NoteDataWritten(*caller, n + 2);
    if (!CopyFromByteArray(env, data, n, caller->Data)) return;
    caller->ReplyCount = count;
    caller->ReplyLength = static_cast<std::uint32_t>(n);
    caller->Data[n] = 0;
    caller->Data[n + 1] = 0;
}

void SetRawDataString(JNIEnv* env, jchar letterArgument, jstring text, jint length) {
    HeldStringUTF chars(env, text);
    ApplicationBlock* caller = ServedCaller(LetterOf(letterArgument), "cppSetRawDataString");
    if (caller == nullptr || chars.data() == nullptr) return;
    std::int64_t wanted = length == -1 ? RequestedLength(*caller) : length;
    const std::int64_t requested = static_cast<std::int32_t>(caller->DataLength);
    if (requested < wanted) wanted = requested;
    const std::size_t n = Bounded(wanted, chars.size(), kDataSize - 1);
    caller->ReplyLength = static_cast<std::uint32_t>(n);
    caller->ReplyCount = static_cast<std::int32_t>(n);
    NoteDataWritten(*caller, n + 1);
    std::memcpy(caller->Data, chars.data(), n);
    caller->Data[n] = 0;
}

// ---- notifications -----------------------------------------------------------

// A private copy of the session's block, or nothing for a bad letter.
std::optional<SessionBlock> NotifiedSession(char letter, const char* native) {
    if (letter == 0 || Sessions() == nullptr || Applications() == nullptr) {
        TRV_TRACE("%s - no session to notify", native);
        return std::nullopt;
    }
    return Sessions()->GetSession(letter);
}

// Signals one of the session's events by the handle in its block, which is
// this process's own only when this process registered the session.
void SignalSessionEvent(const SessionBlock& session, platform::Handle event) {
    if (session.ProcessID != platform::CurrentProcessId() || session.Established == 0) return;
    TriggerHLLEvent(event);
}

void Post(std::uintptr_t window, std::size_t position, std::intptr_t lParam) {
    platform::PostWindowMessage(window, Process().notifyMessage, kNotifyWParamBase + position, lParam);
}

struct HostNotice {
    std::uint32_t wanted;                 // bit of HostUpdateNotifyType
    std::uint8_t ApplicationBlock::*flag; // set in the caller's block
    std::intptr_t lParam;
    const char* missing;                  // trace for a block not found
};

void NotifyHostList(const SessionBlock& session, const HostNotice& notice) {
    const int slot = session.ShortName - 'A';
    const int used = UsedNotifyEntries(session.HostNotifyCount);
    for (int i = 0; i < used; ++i) {
        ApplicationBlock* caller = Applications()->GetApplicationBlock(session.HostNotifyList[i]);
        if (caller == nullptr) {
            TRV_TRACE(notice.missing, i);
            continue;
        }
        const std::uint32_t type = caller->HostUpdateNotifyType[slot];
        if ((type & notice.wanted) == 0) continue;
        caller->*notice.flag = 1;
        if ((type & kNotifyByMessage) != 0) Post(caller->HostNotifyHandle[slot], static_cast<std::size_t>(i), notice.lParam);
    }
}

void SendOIANotifications(char letter, bool inhibited) {
    const std::optional<SessionBlock> session = NotifiedSession(letter, "cppSendOIANotifications");
    if (!session) return;
    NotifyHostList(*session, {kNotifyOIA, &ApplicationBlock::OIAUpdated, kOIAUpdateLParam,
                              "lpAB value in cppSendOIANotifications is NULL - i = %d"});
    Sessions()->SetInhibitedStatus(letter, inhibited ? 1 : 0);
    TRV_TRACE("TMan:SendOIANotifications - TriggerEvent %.28s, Session ID %c", session->OIAEventName, letter);
    SignalSessionEvent(*session, session->OIAEvent);
    SignalSessionEvent(*session, session->BothEvent);
}

void SendPSNotifications(char letter) {
    const std::optional<SessionBlock> session = NotifiedSession(letter, "cppSendPSNotifications");
    if (!session) return;
    NotifyHostList(*session, {kNotifyPS, &ApplicationBlock::PSUpdated, kPSUpdateLParam,
                              "lpAB value in cppSendPSNotifications is NULL - i = %d"});
    TRV_TRACE("TMan:SendPSNotifications - TriggerEvent %.28s, Session ID %c", session->PSEventName, letter);
    SignalSessionEvent(*session, session->PSEvent);
    SignalSessionEvent(*session, session->BothEvent);
}

void InterruptWait(char letter) {
    const std::optional<SessionBlock> session = NotifiedSession(letter, "cppInterruptWait");
    if (!session) return;
    TRV_TRACE("TMan:InterruptWait - TriggerEvent %.28s, Session ID %c", session->WaitEventName, letter);
    SignalSessionEvent(*session, session->WaitEvent);
}

void SendClosingNotifications(char letter) {
    const std::optional<SessionBlock> session = NotifiedSession(letter, "cppSendClosingNotifications");
    if (!session) return;
    const int slot = letter - 'A';
    const int used = UsedNotifyEntries(session->CloseNotifyCount);
    for (int i = 0; i < used; ++i) {
        ApplicationBlock* caller = Applications()->GetApplicationBlock(session->CloseNotifyList[i]);
        if (caller == nullptr) {
            TRV_TRACE("lpAB value in cppSendClosingNotifications is NULL - i = %d", i);
            continue;
        }
        caller->CloseRequested = 1;
        if (caller->CloseInterceptMode[slot] == kCloseByMessage) {
            Post(caller->CloseInterceptHandle[slot], static_cast<std::size_t>(i), kCloseAttemptLParam);
        }
    }
    TRV_TRACE("TMan:SendClosingNotifications - TriggerEvent %.28s, Session ID %c", session->CloseEventName, letter);
    SignalSessionEvent(*session, session->CloseEvent);
}

// Queues the key for the intercepting callers; answers whether they took it.
// `found` and `taken` carry over from one caller to the next.
// An intercepting caller that ended without stopping (killed, or exited
// without Stop): its block is reclaimed and its entry leaves the list, so
// that the operator's keys are the operator's again.
void DropEndedInterceptor(char letter, const char (&entry)[kBlockNameSize]) {
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, entry);
    if (Applications()->ReclaimIfHolderEnded(name)) Sessions()->RemoveFromKeyNotificationList(letter, name);
}

bool SendKeyNotifications(char letter, const char (&keyText)[kKeyTextSize]) {
    const std::optional<SessionBlock> session = NotifiedSession(letter, "cppSendKeyNotifications");
    if (!session) return false;
    const int slot = letter - 'A';
    const int row = FindMnemonicPrefixOf(keyText);
    const bool aidKey = row >= 0 && MnemonicTable[static_cast<std::size_t>(row)].aid;
    bool found = false;
    bool taken = true;
    // Only a caller that still lives can take a key: with none, the key is
    // the operator's, whatever the list holds.
    bool offered = false;
    const int used = UsedNotifyEntries(session->KeyNotifyCount);
    for (int i = 0; i < used; ++i) {
        // The caller takes keys out of its queue meanwhile: the lookup, the
        // test of the queue and the append are one step under the queue lock.
        const KeyQueueLock queueLock;
        if (!queueLock.held()) {
            TRV_TRACE("cppSendKeyNotifications - key queue lock not taken, caller %d skipped", i);
            continue;
        }
        ApplicationBlock* caller = Applications()->GetApplicationBlock(session->KeyNotifyList[i]);
        if (caller == nullptr || ApplicationList::HolderEnded(*caller)) {
            TRV_TRACE("lpAB value in cppSendKeyNotifications is NULL - i = %d", i);
            DropEndedInterceptor(letter, session->KeyNotifyList[i]);
            continue;
        }
        offered = true;
        const std::int16_t count = caller->KeyQueueCount[slot];
        const std::int16_t limit = static_cast<std::int16_t>(caller->KeyQueueLimit[slot]);
        const bool allKeys = (caller->KeyInterceptOptions[slot] & kInterceptAllKeys) != 0;
        // A count outside the queue (a block spoiled by a dead process)
        // counts as a full queue.
        const bool full = count > limit / 3 || count < 0 ||
                          static_cast<std::size_t>(count) >= kKeyQueueEntries;
        if (row >= 0) {
            found = true;
            if (!allKeys && !aidKey) taken = false;
        } else if (!allKeys) {
            taken = false;
        }
        if (!full) {
            KeyQueueEntry& entry = caller->KeyQueue[slot][count];
            bool written = false;
            if (row >= 0) {
                entry = {'M', 0, static_cast<std::uint16_t>(row)};
                written = true;
            } else if (!found && allKeys) {
                const auto first = static_cast<std::uint8_t>(keyText[0]);
                const auto second = static_cast<std::uint8_t>(keyText[1]);
                entry = {'A', 0, static_cast<std::uint16_t>(first | second << 8)};
                written = true;
            }
            if (taken && written) caller->KeyQueueCount[slot] = static_cast<std::int16_t>(count + 1);
        }
        if (taken && (caller->KeyInterceptOptions[slot] & kInterceptByMessage) != 0) {
            Post(caller->KeyInterceptWindow[slot], static_cast<std::size_t>(i), kKeystrokeLParam);
        }
    }
    if (!taken || !offered) return false;
    TRV_TRACE("TMan:SendKeyNotifications - TriggerEvent %.28s, Session ID %c", session->KeyEventName, letter);
    SignalSessionEvent(*session, session->KeyEvent);
    return true;
}

}  // namespace
}  // namespace trv

using namespace trv;

extern "C" {

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppRetrieveEHLLAPIData(JNIEnv*,
                                                                                        jobject) {}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawData(
    JNIEnv* env, jobject, jchar letter, jbyteArray data, jint length) {
    try {
        SetRawData(env, letter, data, length);
    } catch (...) {
        TRV_TRACE("cppSetRawData - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataUnicodePS(
    JNIEnv* env, jobject, jchar letter, jbyteArray data, jint length, jint count) {
    try {
        SetRawDataUnicodePS(env, letter, data, length, count);
    } catch (...) {
        TRV_TRACE("cppSetRawDataUnicodePS - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSetRawDataString(
    JNIEnv* env, jobject, jchar letter, jstring text, jint length) {
    try {
        SetRawDataString(env, letter, text, length);
    } catch (...) {
        TRV_TRACE("cppSetRawDataString - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendOIANotifications(
    JNIEnv*, jobject, jchar letter, jboolean inhibited) {
    try {
        SendOIANotifications(LetterOf(letter), inhibited != JNI_FALSE);
    } catch (...) {
        TRV_TRACE("cppSendOIANotifications - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendPSNotifications(
    JNIEnv*, jobject, jchar letter) {
    try {
        SendPSNotifications(LetterOf(letter));
    } catch (...) {
        TRV_TRACE("cppSendPSNotifications - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppInterruptWait(JNIEnv*, jobject,
                                                                                   jchar letter) {
    try {
        InterruptWait(LetterOf(letter));
    } catch (...) {
        TRV_TRACE("cppInterruptWait - failed unexpectedly");
    }
}

JNIEXPORT void JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendClosingNotifications(
    JNIEnv*, jobject, jchar letter) {
    try {
        SendClosingNotifications(LetterOf(letter));
    } catch (...) {
        TRV_TRACE("cppSendClosingNotifications - failed unexpectedly");
    }
}

JNIEXPORT jboolean JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(
    JNIEnv* env, jobject, jchar letter, jstring key) {
    try {
        char keyText[kKeyTextSize] = {};
        {
            HeldStringChars chars(env, key);
            if (chars.data() != nullptr) {
                platform::Utf16ToAnsi(chars.data(), chars.size(), keyText, sizeof keyText);
            }
        }
        return SendKeyNotifications(LetterOf(letter), keyText) ? JNI_TRUE : JNI_FALSE;
    } catch (...) {
        TRV_TRACE("cppSendKeyNotifications - failed unexpectedly");
        return JNI_FALSE;
    }
}

}  // extern "C"
