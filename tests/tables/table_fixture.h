// The three shared tables built by the tests themselves, in this process's
// heap or in named mappings that child processes open, and installed in
// Process() for the scope of a test so that the table operations and the
// clean-up routines work on them without the library entry.
#pragma once

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

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

// The memory of one table: a heap buffer when it has no name, else a view of
// the named mapping that a child process opens under the same name.
class TableMemory {
public:
    TableMemory(const std::string& name, std::size_t size, bool create) : size_(size) {
        if (name.empty()) {
            heap_.resize(size);
            return;
        }
        mapping_ = create ? platform::CreateNamedMapping(name.c_str(), size).handle
                          : platform::OpenNamedMapping(name.c_str());
        if (mapping_ != platform::kNoHandle) view_ = platform::MapView(mapping_, size);
    }
    ~TableMemory() {
        if (view_ != nullptr) platform::UnmapView(view_, size_);
        platform::CloseObject(mapping_);
    }
    TableMemory(const TableMemory&) = delete;
    TableMemory& operator=(const TableMemory&) = delete;
    unsigned char* bytes() { return heap_.empty() ? static_cast<unsigned char*>(view_) : heap_.data(); }

private:
    std::size_t size_;
    std::vector<unsigned char> heap_;
    platform::Handle mapping_ = platform::kNoHandle;
    void* view_ = nullptr;
};

// The three tables, built (constructed in place, destroyed at the end) or
// only opened, and installed in Process() meanwhile: in heap memory without
// a base name, else in the named mappings "<base>_sess_<run>" and so on.
// Sessions this process registered, the events it made for the blocks and
// every record are removed first, so that no event or atom outlives its
// test.
class Tables {
public:
    explicit Tables(const std::string& base = "", bool build = true)
        : build_(build),
          memory_{{MappingName(base, "_sess"), sizeof(SessionList), build},
                  {MappingName(base, "_appl"), sizeof(ApplicationList), build},
                  {MappingName(base, "_qmx"), sizeof(QMXAPIList), build}} {
        Process().sessions = sessions = Place<SessionList>(memory_[0].bytes());
        Process().applications = applications = Place<ApplicationList>(memory_[1].bytes());
        Process().qmxapi = qmxapi = Place<QMXAPIList>(memory_[2].bytes());
    }
    ~Tables() {
        Process().sessions = savedSessions_;
        Process().applications = savedApplications_;
        Process().qmxapi = savedQMXAPI_;
        if (!build_ || !ok()) return;
        for (int i = 0; i < kSessionCount; ++i) {
            const SessionBlock& block = sessions->Blocks[i];
            if (block.Established != 0 && block.ProcessID == kSelf) {
                sessions->RemoveSession(static_cast<char>('A' + i));
            }
        }
        for (ApplicationBlock& block : applications->Blocks) {
            if (TakeOwnHandle(&block.ReplyEvent, block.ReplyEvent)) platform::CloseObject(block.ReplyEvent);
        }
        for (QMXAPIBlock& record : qmxapi->Blocks) {
            if (record.ProcessId == 0) continue;
            if (TakeOwnHandle(&record.Event, record.Event)) platform::CloseObject(record.Event);
            qmxapi->RemoveQMXAPIBlock(record.ProcessId, record.ThreadId);
        }
        qmxapi->~QMXAPIList();
        applications->~ApplicationList();
        sessions->~SessionList();
    }
    Tables(const Tables&) = delete;
    Tables& operator=(const Tables&) = delete;

    bool ok() const { return sessions != nullptr && applications != nullptr && qmxapi != nullptr; }

    SessionList* sessions = nullptr;
    ApplicationList* applications = nullptr;
    QMXAPIList* qmxapi = nullptr;

private:
    static std::string MappingName(const std::string& base, const char* table) {
        return base.empty() ? base : UniqueName(base + table);
    }
    template <typename Table>
    Table* Place(unsigned char* memory) {
        if (memory == nullptr) return nullptr;
        return build_ ? new (memory) Table() : reinterpret_cast<Table*>(memory);
    }

    SessionList* savedSessions_ = Process().sessions;
    ApplicationList* savedApplications_ = Process().applications;
    QMXAPIList* savedQMXAPI_ = Process().qmxapi;
    bool build_;
    TableMemory memory_[3];
};

inline SessionBlock RegistrationTemplate(std::uint32_t processId) {
    SessionBlock templ;
    templ.ProcessID = processId;
    templ.Established = 1;
    return templ;
}

inline bool AllZero(const void* bytes, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(bytes);
    return std::all_of(p, p + size, [](unsigned char b) { return b == 0; });
}

}  // namespace trv::test
