// The typer: a child process playing an operator typing on the session while a caller
// intercepts its keys. It types through the emulator's own keystroke native
// (with a stand-in for the Java side), so the keys are queued as the
// emulator queues them; it holds back while the first intercepting caller's
// queue is nearly a third full, so that no key is dropped for lack of room.
// args: the session letter, the number of keys (key i as in kKeyAlphabet).
#include <cstring>
#include <string>

#include "bridge/hll_bridge_natives.h"
#include "ehllapi_fixture.h"
#include "platform/clock.h"
#include "support/jni_double.h"
#include "library/process_lifecycle.h"
#include "tables/application_block.h"
#include "tables/application_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv::test {

TRV_CHILD_ROLE(ehllapi_typer) {
    if (args.size() < 2 || args[0].empty()) return 2;
    OnProcessAttach();
    if (Sessions() == nullptr || Applications() == nullptr) return 3;
    const char letter = args[0][0];
    const int slot = letter - 'A';
    const int keys = std::stoi(args[1]);
    const SessionBlock session = Sessions()->GetSession(letter);
    if (session.Established == 0 || session.KeyNotifyCount < 1) return 4;
    char name[kBlockNameSize + 1];
    TerminatedCopy<kBlockNameSize>(name, session.KeyNotifyList[0]);
    const ApplicationBlock* caller = Applications()->GetApplicationBlock(name);
    if (caller == nullptr) return 5;
    const int base = static_cast<int>(std::strlen(kKeyAlphabet));
    FakeJvm jvm;
    jvm.AttachCurrentThreadAsJava();
    int result = 0;
    for (int i = 0; i < keys && result == 0; ++i) {
        while (caller->QueuedKeys(slot) + 1 >= caller->KeyQueueLimit[slot] / 3) platform::SleepMs(1);
        const int number = i % kTypedKeyNumbers;
        const std::u16string key = {static_cast<char16_t>(kKeyAlphabet[number % base]),
                                    static_cast<char16_t>(kKeyAlphabet[number / base])};
        jstring text = jvm.NewString(key);
        if (Java_com_ombrel_eQintra_hllbridge_HLLBridge_cppSendKeyNotifications(
                jvm.env(), nullptr, static_cast<jchar>(letter), text) != JNI_TRUE) {
            result = 6;
        }
        jvm.env()->DeleteLocalRef(text);
    }
    jvm.DetachCurrentThreadAsJava();
    OnProcessDetach();
    return result;
}

}  // namespace trv::test
