// The three shared tables built by the tests themselves in a named mapping
// that child processes may open, and installed in Process() for the scope of
// a test so that the table operations and the clean-up routines work on them
// without the library entry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>

#include "platform/event.h"
#include "platform/mapping.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "support/child_role.h"
#include "tables/application_list.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"
#include "tables/table_support.h"

namespace trv::test {

inline const std::uint32_t kSelf = platform::CurrentProcessId();

// The three tables in one named mapping "<base>_<run>" (one Tables per base
// at a time), built (constructed in place, destroyed at the end) or only
// opened by a child process, and installed in Process() meanwhile. Sessions
// this process registered, the events it made for the blocks and every record
// are removed first, so that no event or atom outlives its test.
class Tables {
public:
    explicit Tables(const std::string& base = "trv_tables", bool build = true) : build_(build) {
        const std::string name = UniqueName(base);
        mapping_.reset(build ? platform::CreateNamedMapping(name.c_str(), sizeof(Set)).handle
                             : platform::OpenNamedMapping(name.c_str()));
        void* view = mapping_ ? platform::MapView(mapping_.get(), sizeof(Set)) : nullptr;
        if (view == nullptr) return;
        set_ = build ? new (view) Set() : static_cast<Set*>(view);
        Process().sessions = sessions = &set_->sessions;
        Process().applications = applications = &set_->applications;
        Process().qmxapi = qmxapi = &set_->qmxapi;
    }
    ~Tables() {
        Process().sessions = savedSessions_;
        Process().applications = savedApplications_;
        Process().qmxapi = savedQMXAPI_;
        if (set_ == nullptr) return;
        if (build_) {
            for (const SessionBlock& block : sessions->Blocks) {
                if (block.Established != 0 && block.ProcessID == kSelf) sessions->RemoveSession(block.ShortName);
            }
            for (ApplicationBlock& block : applications->Blocks) {
                if (TakeOwnHandle(&block.ReplyEvent, block.ReplyEvent)) platform::CloseObject(block.ReplyEvent);
            }
            for (QMXAPIBlock& record : qmxapi->Blocks) {
                if (record.ProcessId == 0) continue;
                if (TakeOwnHandle(&record.Event, record.Event)) platform::CloseObject(record.Event);
                qmxapi->RemoveQMXAPIBlock(record.ProcessId, record.ThreadId);
            }
            set_->~Set();
        }
        platform::UnmapView(set_, sizeof(Set));
    }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;

    bool ok() const { return set_ != nullptr; }

    SessionList* sessions = nullptr;
    ApplicationList* applications = nullptr;
    QMXAPIList* qmxapi = nullptr;

private:
    struct Set {
        SessionList sessions;
        ApplicationList applications;
        QMXAPIList qmxapi;
    };

    SessionList* savedSessions_ = Process().sessions;
    ApplicationList* savedApplications_ = Process().applications;
    QMXAPIList* savedQMXAPI_ = Process().qmxapi;
    bool build_;
    platform::UniqueHandle mapping_;
    Set* set_ = nullptr;
};

inline SessionBlock RegistrationTemplate(std::uint32_t processId) {
    SessionBlock templ;
    templ.ProcessID = processId;
    templ.Established = 1;
    return templ;
}

inline bool EventExists(const std::string& name) {
    return static_cast<bool>(platform::UniqueHandle(platform::OpenNamedEvent(name.c_str())));
}

inline bool AllZero(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    return std::all_of(p, p + size, [](unsigned char b) { return b == 0; });
}

}  // namespace trv::test
