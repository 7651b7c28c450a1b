// The per-user namespace of named objects on POSIX, and the lifetime rule that
// gives them Win32 lifetimes.
//
// Every named object (mapping, event, mutex, thread message queue, the atom
// table, the window registry) is one file in the namespace directory (mode
// 0700: every process of the user reaches every object, other users none):
// <runtime>/trvha64 where the user has a private runtime directory
// ($XDG_RUNTIME_DIR, else /run/user/<uid>, owned by the user with no access
// for others), where no other user can create the name first; otherwise
// /dev/shm/trvha64-<uid>. The environment variable TRVHA64_NAMESPACE, when
// set to a non-empty text without '/', appends "-<value>" to the directory's
// name, so that test runs can be isolated from each other; both are read
// once, at the first use of the namespace in a process.
//
// All kinds share one set of names, as on Windows: a name created as an event
// cannot be opened or created as a mutex.
//
// Lifetime: every open holder of an object (a handle, or a mapped view that
// outlives its handle) is a file descriptor of its own holding a shared OFD
// lock on the object's file. The kernel drops that lock when the descriptor
// is closed or the process dies, however it dies. Whether any live holder is
// left is then visible as "a write lock would not conflict". Creating,
// opening and closing are serialised across the namespace by the gate, an
// flock on a file in the directory that the kernel also releases at death.
// Under the gate:
//   - closing the last holder unlinks the file;
//   - opening an object whose holders all died unlinks it and answers "absent";
//   - creating over such an object starts it again from zeros (existed=false).
// So after every process of an object was killed, the next one starts clean.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/posix/system.h"

namespace trv::platform::posix {

enum class ObjectKind : std::uint32_t {
    mapping = 1,
    event = 2,
    mutex = 3,
    message_queue = 4,
    atom_table = 5,
    window_registry = 6,
};

// The first page of every object file. The object's own state follows at
// kObjectDataOffset, so that a mapping's views start page-aligned.
struct ObjectHeader {
    std::uint32_t magic;     // kObjectMagic once initialised
    std::uint32_t kind;      // ObjectKind
    std::uint64_t dataSize;  // bytes from kObjectDataOffset, as created
};
static_assert(sizeof(ObjectHeader) == 16);
constexpr std::uint32_t kObjectMagic = 0x4F565254;  // "TRVO"
constexpr std::size_t kObjectDataOffset = 4096;

// Creates the namespace directory when missing and checks that it belongs to
// this user with no access for others. False (error recorded) otherwise.
bool EnsureNamespace();

// Removes every object whose holders all died (each would be found stale on
// its next use anyway), so that the directory does not collect the files of
// ended processes. Run once per process, at attach.
void SweepStaleObjects();

// The namespace directory's path.
const std::string& NamespaceDirectory();

// Why the namespace could not be used at the last failed EnsureNamespace
// (one line naming the directory); empty when it could.
std::string NamespaceProblem();

// One open holder of a named object, or of a private (unnamed) one. The
// destructor applies the closing rule above.
class NamespaceObject {
public:
    // Called on the zero-filled data of a new (or restarted) object while the
    // gate is held, so that no other process sees it half-built.
    using Initializer = std::function<bool(void* data)>;

    // Creates the object or opens it when it exists with a live holder. The
    // data is mapped when `mapData` is true. A kind mismatch fails (EEXIST).
    static std::unique_ptr<NamespaceObject> Create(ObjectKind kind, const char* name,
                                                   std::size_t dataSize, bool mapData,
                                                   const Initializer& init, bool* existed);

    // Opens an existing object of `kind`; nullptr with ENOENT when absent or
    // when its holders all died.
    static std::unique_ptr<NamespaceObject> Open(ObjectKind kind, const char* name, bool mapData);

    ~NamespaceObject();
    NamespaceObject(const NamespaceObject&) = delete;
    NamespaceObject& operator=(const NamespaceObject&) = delete;

    ObjectKind kind() const { return kind_; }
    int fd() const { return fd_.get(); }
    std::size_t dataSize() const { return dataSize_; }
    void* data() const { return data_; }
    // Equal for two holders of the same object (its file's inode number).
    std::uint64_t identity() const { return identity_; }

    // Leaves the data mapped when this holder is closed (for memory that the
    // C library may still reach, such as a robust mutex this process owns).
    void KeepDataMapped() { keepMapped_ = true; }

private:
    NamespaceObject() = default;
    bool MapData();
    bool ReadIdentity();

    ObjectKind kind_ = ObjectKind::mapping;
    UniqueFd fd_;
    std::string path_;  // empty for a private object
    std::size_t dataSize_ = 0;
    void* data_ = nullptr;
    bool keepMapped_ = false;
    std::uint64_t identity_ = 0;
};

}  // namespace trv::platform::posix
