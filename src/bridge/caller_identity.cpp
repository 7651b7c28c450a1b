// The natives by which the emulator keeps what callers hold (intercepts, a
// reservation) per caller: who the caller being served is, and whether a
// caller it knows has ended since.
//
// A caller is named by its identity "<block name>/<start stamp>": the name
// of its exchange block and, in eight hex digits, the start stamp of the
// process that holds it. The stamp tells a caller from a later process that
// got the same id (and so the same block name) after it ended.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bridge/hll_bridge_natives.h"
#include "jni/java_call.h"
#include "shared/process_state.h"
#include "shared/trace.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv {
namespace {

// Block name, the separator, eight hex digits and the terminator.
constexpr std::size_t kIdentitySize = kBlockNameSize + 1 + 8 + 1;

char LetterOf(jchar letter) {
    const char folded = FoldSessionLetter(static_cast<char>(letter & 0xFF));
    return IsSessionLetter(folded) ? folded : 0;
}

// The identity of the caller the session is serving; false when there is
// none (bad letter, no tables, the caller went away).
bool ServedCallerIdentity(char letter, char (&identity)[kIdentitySize]) {
    if (letter == 0 || Sessions() == nullptr || Applications() == nullptr) return false;
    const SessionBlock session = Sessions()->GetSession(letter);
    const ApplicationBlock* caller = Applications()->GetApplicationBlock(session.Caller);
    if (caller == nullptr) return false;
    std::snprintf(identity, sizeof identity, "%.28s/%08X", session.Caller,
                  static_cast<unsigned>(caller->OwnerStartStamp));
    return true;
}

// Whether the caller named by `identity` has ended: no block bears its name
// any more, the block's holder ended (the block is reclaimed on the way, with
// its ties to the sessions), or the block now belongs to a later process.
// A lock that cannot be taken shows nothing: the caller counts as living.
bool CallerEnded(const char* identity, std::size_t size) {
    ApplicationList* applications = Applications();
    const char* separator = static_cast<const char*>(std::memchr(identity, '/', size));
    if (applications == nullptr || separator == nullptr) return false;
    const std::size_t nameLength = static_cast<std::size_t>(separator - identity);
    if (nameLength == 0 || nameLength >= kBlockNameSize) return false;
    char name[kBlockNameSize] = {};  // zero-padded, as block names are compared
    std::memcpy(name, identity, nameLength);
    const auto stamp = static_cast<std::uint32_t>(std::strtoul(separator + 1, nullptr, 16));

    if (applications->ReclaimIfHolderEnded(name)) return true;
    const ApplicationBlock* block = applications->GetApplicationBlock(name);
    if (block == nullptr) return true;
    // Read without the lock: a stamp changes only when the block changes hands.
    const std::uint32_t holderStamp = block->OwnerStartStamp;
    return stamp != 0 && holderStamp != 0 && holderStamp != stamp;
}

}  // namespace
}  // namespace trv

using namespace trv;

extern "C" {

JNIEXPORT jstring JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppGetCallerID(JNIEnv* env, jobject,
                                                                                    jchar letter) {
    try {
        char identity[kIdentitySize] = {};
        if (!ServedCallerIdentity(LetterOf(letter), identity)) {
            TRV_TRACE("cppGetCallerID - no caller being served on session %c", static_cast<char>(letter & 0xFF));
            return nullptr;
        }
        jstring text = env->NewStringUTF(identity);
        if (ClearJavaException(env, "cppGetCallerID")) return nullptr;
        return text;
    } catch (...) {
        TRV_TRACE("cppGetCallerID - failed unexpectedly");
        return nullptr;
    }
}

JNIEXPORT jboolean JNICALL Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppCallerEnded(JNIEnv* env, jobject,
                                                                                     jchar letter,
                                                                                     jstring caller) {
    try {
        if (caller == nullptr) return JNI_FALSE;
        HeldStringUTF identity(env, caller);
        if (identity.data() == nullptr) return JNI_FALSE;
        const bool ended = CallerEnded(identity.data(), identity.size());
        if (ended) {
            TRV_TRACE("cppCallerEnded - caller [%.*s] of session %c has ended", static_cast<int>(identity.size()),
                      identity.data(), static_cast<char>(letter & 0xFF));
        }
        return ended ? JNI_TRUE : JNI_FALSE;
    } catch (...) {
        TRV_TRACE("cppCallerEnded - failed unexpectedly");
        return JNI_FALSE;
    }
}

}  // extern "C"
