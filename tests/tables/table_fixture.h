// The three shared tables built by the tests themselves, in this process's
// heap or in named mappings that child processes open, and installed in
// Process() for the scope of a test so that the table operations and the
// clean-up routines work on them without the library entry.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "platform/mapping.h"
#include "platform/thread.h"
#include "shared/process_state.h"
#include "support/child_role.h"
#include "tables/application_list.h"
#include "tables/qmxapi_list.h"
#include "tables/session_list.h"

namespace trv::test {

// The table memory: a heap buffer, or a view of a named mapping that a
// child process opens under the same test-unique name.
class TableMemory {
public:
    explicit TableMemory(std::size_t size) : size_(size), heap_(new unsigned char[size]) {}
    TableMemory(const std::string& name, std::size_t size, bool create) : size_(size) {
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
    unsigned char* bytes() const {
        return heap_ ? heap_.get() : static_cast<unsigned char*>(view_);
    }

private:
    std::size_t size_;
    std::unique_ptr<unsigned char[]> heap_;
    platform::Handle mapping_ = platform::kNoHandle;
    void* view_ = nullptr;
};

// The three tables, built (constructed in place, destroyed at the end) or
// only opened, and installed in Process() meanwhile. Sessions this process
// registered are removed first, so that no event outlives its test.
class Tables {
public:
    // In heap memory.
    Tables() : Tables(std::make_unique<TableMemory>(sizeof(SessionList)),
                      std::make_unique<TableMemory>(sizeof(ApplicationList)),
                      std::make_unique<TableMemory>(sizeof(QMXAPIList)), true) {}
    // In named mappings "<base>_sess_<run>" and so on.
    Tables(const std::string& base, bool build)
        : Tables(std::make_unique<TableMemory>(UniqueName(base + "_sess"), sizeof(SessionList), build),
                 std::make_unique<TableMemory>(UniqueName(base + "_appl"), sizeof(ApplicationList), build),
                 std::make_unique<TableMemory>(UniqueName(base + "_qmx"), sizeof(QMXAPIList), build),
                 build) {}
    ~Tables() {
        Process().sessions = savedSessions_;
        Process().applications = savedApplications_;
        Process().qmxapi = savedQMXAPI_;
        if (!build_ || !ok()) return;
        for (int i = 0; i < kSessionCount; ++i) {
            const SessionBlock& block = sessions->Blocks[i];
            if (block.Established != 0 && block.ProcessID == platform::CurrentProcessId()) {
                sessions->RemoveSession(static_cast<char>('A' + i));
            }
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
    Tables(std::unique_ptr<TableMemory> s, std::unique_ptr<TableMemory> a,
           std::unique_ptr<TableMemory> q, bool build)
        : build_(build), memory_{std::move(s), std::move(a), std::move(q)} {
        sessions = Place<SessionList>(memory_[0]->bytes());
        applications = Place<ApplicationList>(memory_[1]->bytes());
        qmxapi = Place<QMXAPIList>(memory_[2]->bytes());
        Process().sessions = sessions;
        Process().applications = applications;
        Process().qmxapi = qmxapi;
    }
    template <typename Table>
    Table* Place(unsigned char* memory) {
        if (memory == nullptr) return nullptr;
        return build_ ? new (memory) Table() : reinterpret_cast<Table*>(memory);
    }

    bool build_;
    std::unique_ptr<TableMemory> memory_[3];
    SessionList* savedSessions_ = Process().sessions;
    ApplicationList* savedApplications_ = Process().applications;
    QMXAPIList* savedQMXAPI_ = Process().qmxapi;
};

inline SessionBlock RegistrationTemplate(std::uint32_t processId) {
    SessionBlock templ;
    templ.ProcessID = processId;
    templ.Established = 1;
    return templ;
}

inline bool AllZero(const void* bytes, std::size_t size) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < size; ++i) {
        if (p[i] != 0) return false;
    }
    return true;
}

// Process id of a process that has ended: a child that exits at once.
std::uint32_t EndedProcessId();

}  // namespace trv::test
