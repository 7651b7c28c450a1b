// What the EHLLAPI tests share: calls as a caller makes them, a responder
// child that plays the emulator's side for scripted sessions (its replies:
// Answer in ehllapi_fixture.cpp), and this process's exchange block.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "platform/event.h"
#include "platform/handle.h"
#include "protocol/caller_data.h"
#include "support/attached_caller.h"
#include "support/child_role.h"
#include "support/test_thread.h"
#include "tables/application_block.h"
#include "trvha64.h"

namespace trv::test {

constexpr std::uint32_t kTestLimitMs = 20000;
// Positions (the ReturnCode word of a request) the responder holds: until
// Go, or for ever (the test kills it).
constexpr std::int32_t kHoldPosition = 999;
constexpr std::int32_t kDiePosition = 998;

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

// A function whose data names a session in its first byte (and, for Post
// Intercept Status, gives byte 4); its answer.
inline std::int32_t Named(std::int32_t function, char letter, char byte4 = '\0') {
    char data[8] = {letter, 0, 0, 0, byte4};
    return Call(function, 4).Run(data).result;
}
inline std::int32_t Connect(char letter) { return Named(HA_CONNECT_PS, letter); }
inline Call SetParameters(const char* text) {
    std::string data = text;
    return Call(HA_SET_SESSION_PARMS, static_cast<std::int32_t>(data.size())).Run(data.data());
}

// A fixed-size name field of a shared table (BlockName, PSConnection, ...).
template <std::size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

// A session's named event (its key, update or wait event), opened.
template <std::size_t N>
platform::UniqueHandle OpenSessionEvent(const char (&name)[N]) {
    return platform::UniqueHandle(platform::OpenNamedEvent(FieldText(name).c_str()));
}

// This process's per-process exchange block, or nullptr.
ApplicationBlock* ProcessBlock();

// A responder child registering `letters`, ready when constructed; stopped
// (its sessions unregistered by its detach) when destroyed.
class Responder {
public:
    explicit Responder(const std::string& letters);
    ~Responder() { Stop(); }
    Responder(const Responder&) = delete;
    Responder& operator=(const Responder&) = delete;

    bool ready() const { return ready_; }
    // Waits until the responder holds a request (positions 998, 999).
    bool WaitHeld() { return platform::WaitForEvent(held_.get(), kTestLimitMs) == platform::kWaitObject0; }
    void Go() { platform::SignalEvent(go_.get()); }
    void Kill() { process_->Kill(); }
    int Stop();

private:
    platform::UniqueHandle held_;
    platform::UniqueHandle go_;
    platform::UniqueHandle stop_;
    std::unique_ptr<RoleProcess> process_;
    bool ready_ = false;
};

// Has the responder serving `letter` report `event` through the emulator's
// notification natives: "wait" (input no longer inhibited), "ps", "oia"
// (host updates) or "close" (a close attempt). Answers 0 once it has.
int Notify(char letter, const std::string& event);

// The data string of the notification and intercept functions, laid out as
// trv::NotifyRequest, with room to spare after it.
struct NotifyRequest {
    unsigned char bytes[24] = {};
    NotifyRequest(char session, char form, char option = '\0', std::uint64_t window = 0) {
        bytes[offsetof(trv::NotifyRequest, ShortName)] = static_cast<unsigned char>(session);
        bytes[offsetof(trv::NotifyRequest, Form)] = static_cast<unsigned char>(form);
        std::memcpy(bytes + offsetof(trv::NotifyRequest, Handle), &window, sizeof window);
        bytes[offsetof(trv::NotifyRequest, Type)] = static_cast<unsigned char>(option);
    }
};

// A start of host notification or of the close or key intercept; its answer.
inline std::int32_t Start(std::int32_t function, NotifyRequest request,
                          std::int32_t length = sizeof NotifyRequest::bytes) {
    return Call(function, length).Run(request.bytes).result;
}

// A test suite served by one responder child for sessions A, B and C; every
// test starts as a new caller.
class ResponderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { responder_ = std::make_unique<Responder>("ABC"); }
    static void TearDownTestSuite() { responder_.reset(); }
    void SetUp() override { ASSERT_TRUE(responder_->ready()); }
    void TearDown() override { ForgetCallerBlocks(); }
    static inline std::unique_ptr<Responder> responder_;
};

}  // namespace trv::test
