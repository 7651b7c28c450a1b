// What the EHLLAPI tests share: the test process attached to the shared
// state as a caller, a responder child that plays the emulator's side of the
// request protocol for scripted sessions, caller threads with a time limit,
// and a look into this process's exchange block.
//
// The responder answers each request from the function number and the
// position word that travels in ReturnCode (see responder_role.cpp):
//   5  Copy PS: a 1,920-byte screen ('A'..'Z' repeated) in ReplyLength,
//      DataLength 1920 (5,760 with STREOT, as the emulator asks for)
//   6  Search PS: code 24, DataLength 77
//   7  Query Cursor Location: DataLength 1234
//   8, 34: 12 bytes "COPIED-TEXT!" in ReplyLength; ReplyCount -1 when the
//      position is 1, else 5; code 7 and nothing written for a position
//      outside 1..1920
//   10 Query Sessions: a 16-byte entry starting with the session letter
//   13 Copy OIA: 104 bytes 'O', DataLength 104
//   22 Query Session Status: 20 bytes starting with the session letter
//   40 Set Cursor: code 516 (raise the window)
//   99 Convert Position: DataLength 100 + session index
//   any other: DataLength = the number of non-zero bytes of Data
// Position 999: signal "held", wait for "go", then answer as above.
// Position 998: signal "held" and never answer (the test kills it).
// Notify(letter, event) has the responder report an event of its session
// through the emulator's notification natives: "wait" (input no longer
// inhibited), "ps", "oia" (host updates) or "close" (a close attempt).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/handle.h"
#include "platform/thread.h"
#include "protocol/caller_data.h"
#include "support/attached_caller.h"
#include "support/child_role.h"
#include "support/test_thread.h"
#include "trvha64.h"

namespace trv {
struct ApplicationBlock;
}

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
constexpr std::int32_t kHoldPosition = 999;
constexpr std::int32_t kDiePosition = 998;

// Names of the events the parent and the responder share.
std::string ReadyEventName();
std::string HeldEventName();
std::string GoEventName();
std::string StopEventName();
std::string NotifyEventName(char letter, const std::string& event);
std::string NotifiedEventName();

// One EHLLAPI call through the process-wide entry (or the per-thread one),
// keeping the caller's words for inspection.
struct Call {
    std::int32_t function = 0;
    std::int32_t length = 0;
    std::int32_t returnCode = 0;  // in: the position word
    std::int32_t result = -1;

    Call(std::int32_t fn, std::int32_t len = 0, std::int32_t position = 0)
        : function(fn), length(len), returnCode(position) {}
    Call& Run(void* data) {
        result = hllapi(&function, static_cast<char*>(data), &length, &returnCode);
        return *this;
    }
    Call& RunPerThread(void* data) {
        result = hllapi_thread(&function, static_cast<char*>(data), &length, &returnCode);
        return *this;
    }
};

// Connect Presentation Space and Set Session Parameters; their answers.
inline std::int32_t Connect(char letter) {
    char name[4] = {letter};
    return Call(HA_CONNECT_PS, 1).Run(name).result;
}
inline Call SetParametersCall(const char* text) {
    std::string data = text;
    return Call(HA_SET_SESSION_PARMS, static_cast<std::int32_t>(data.size())).Run(data.data());
}
inline std::int32_t SetParameters(const char* text) { return SetParametersCall(text).result; }

// A fixed-size name field of a shared table (BlockName, PSConnection, ...).
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// This process's per-process exchange block, or nullptr.
ApplicationBlock* ProcessBlock();

// A responder child registering `letters`, ready when constructed; stopped
// (its sessions unregistered by its detach) when destroyed.
class Responder {
public:
    explicit Responder(const std::string& letters);
    ~Responder();
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    bool ready() const { return ready_; }
    std::uint32_t id() const { return process_->id(); }
    // Waits until the responder holds a request (positions 998, 999).
    bool WaitHeld();
    void Go();
    void Kill() { process_->Kill(); }
    int Stop();

private:
    platform::UniqueHandle ready_event_;
    platform::UniqueHandle held_;
    platform::UniqueHandle go_;
    platform::UniqueHandle stop_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

// The data string of the notification and intercept functions (23 to 25,
// 41 to 43, 50 to 53), laid out as trv::NotifyRequest: the session letter,
// the form, a window (message form) or the returned event address, and the
// notification type or key option; room to spare after it.
struct NotifyRequest {
    unsigned char bytes[24] = {};
    NotifyRequest(char session, char form, char option = '\0', std::uint64_t window = 0) {
        bytes[offsetof(trv::NotifyRequest, ShortName)] = static_cast<unsigned char>(session);
        bytes[offsetof(trv::NotifyRequest, Form)] = static_cast<unsigned char>(form);
        std::memcpy(bytes + offsetof(trv::NotifyRequest, Handle), &window, sizeof window);
        bytes[offsetof(trv::NotifyRequest, Type)] = static_cast<unsigned char>(option);
    }
    std::uint64_t Word8() const {
        std::uint64_t value;
        std::memcpy(&value, bytes + offsetof(trv::NotifyRequest, Handle), sizeof value);
        return value;
    }
    std::uint16_t MessageId() const {
        std::uint16_t value;
        std::memcpy(&value, bytes + offsetof(trv::NotifyRequest, Handle), sizeof value);
        return value;
    }
};

// A caller thread of the test process (see support/test_thread.h).
using CallerThread = TestThread;

// The characters of the keys the typer child types: key i is the pair
// kKeyAlphabet[n % 62], kKeyAlphabet[n / 62] with n = i % kTypedKeyNumbers.
constexpr const char* kKeyAlphabet = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kTypedKeyNumbers = 62 * 62;

// Has the responder serving `letter` report `event`; answers 0 once it has.
int Notify(char letter, const std::string& event);


// A test suite served by one responder child for sessions A, B and C,
// started before the suite's first test and stopped after its last; every
// test starts as a new caller.
class ResponderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = new Responder("ABC"); }
    static void TearDownTestSuite() {
        delete responder_;
        responder_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(responder_->ready()); }
    void TearDown() override { ForgetCallerBlocks(); }
    static inline Responder* responder_ = nullptr;
};

}  // namespace trv::test
