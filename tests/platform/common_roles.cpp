// The child roles that several platform tests start (described in
// platform_support.h).
#include <string>
#include <vector>

#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/mutex.h"
#include "platform_support.h"

namespace trv::platform {
namespace {

TRV_CHILD_ROLE(signal_event) {
    if (args.size() != 1) return 10;
    return test::SignalNamedEvent(args[0]) ? 0 : 11;
}

TRV_CHILD_ROLE(wait_events) {
    if (args.size() < 3 || args.size() > 2 + kMaxWaitObjects) return 110;
    std::vector<UniqueHandle> owners;
    std::vector<Handle> events;
    for (std::size_t i = 2; i < args.size(); ++i) {
        owners.emplace_back(OpenNamedEvent(args[i].c_str()));
        if (!owners.back()) return 111;
        events.push_back(owners.back().get());
    }
    if (!test::SignalNamedEvent(args[0])) return 112;
    const std::uint32_t result =
        WaitForEvents(events.size(), events.data(), false, static_cast<std::uint32_t>(std::stoul(args[1])));
    if (result == kWaitTimeout) return 100;
    return result - kWaitObject0 < events.size() ? static_cast<int>(result - kWaitObject0) : 101;
}

TRV_CHILD_ROLE(mutex_waiter) {
    if (args.size() < 2) return 10;
    UniqueHandle mutex(OpenNamedMutex(args[0].c_str()));
    if (!mutex) return 11;
    if (args.size() > 2 && !test::SignalNamedEvent(args[2])) return 12;
    const LockResult result = WaitMutex(mutex.get(), static_cast<std::uint32_t>(std::stoul(args[1])));
    if (result == LockResult::acquired || result == LockResult::acquired_owner_died) {
        if (!ReleaseNamedMutex(mutex.get())) return 13;
    }
    return LockExit(result);
}

TRV_CHILD_ROLE(hold_until_killed) {
    if (args.size() != 4) return 10;
    UniqueHandle mapping(CreateNamedMapping(args[0].c_str(), kHeldMappingSize).handle);
    UniqueHandle event(CreateNamedEvent(true, args[1].c_str()));
    UniqueHandle mutex(CreateNamedMutex(args[2].c_str()));
    if (!mapping || !event || !mutex) return 11;
    auto* bytes = static_cast<unsigned char*>(MapView(mapping.get(), kHeldMappingSize));
    if (bytes == nullptr) return 12;
    for (std::size_t i = 0; i < kHeldMappingSize; ++i) bytes[i] = 0xAB;
    SignalEvent(event.get());
    if (WaitMutex(mutex.get(), 0) == LockResult::failed) return 13;
    test::SignalNamedEvent(args[3]);
    UniqueHandle never(CreateNamedEvent(false, nullptr));
    WaitForEvent(never.get(), 60000);
    return 14;
}

}  // namespace
}  // namespace trv::platform
