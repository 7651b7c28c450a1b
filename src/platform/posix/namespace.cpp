// The namespace directory, the gate and the holder protocol (see namespace.h).
#include "platform/posix/namespace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace trv::platform::posix {
namespace {

constexpr const char* kNamespaceVariable = "TRVHA64_NAMESPACE";
constexpr const char* kGateFileName = ".gate";
constexpr std::size_t kMaxFileNameBytes = 200;

// Serialises create, open and close decisions: in-process by a mutex (an
// flock is shared by the threads of a process), across processes by an
// exclusive flock on the gate file.
class Gate {
public:
    static Gate& Instance() {
        static Gate* gate = new Gate;  // never destroyed: holders close during exit
        return *gate;
    }

    bool Lock() {
        threads_.lock();
        if (!fd_) {
            if (!EnsureNamespace()) {
                threads_.unlock();
                return false;
            }
            std::string path = NamespaceDirectory() + "/" + kGateFileName;
            int fd = RetryOnInterrupt([&] {
                return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
            });
            if (fd < 0) {
                RecordErrno();
                threads_.unlock();
                return false;
            }
            fd_.reset(fd);
        }
        if (RetryOnInterrupt([&] { return ::flock(fd_.get(), LOCK_EX); }) != 0) {
            RecordErrno();
            threads_.unlock();
            return false;
        }
        return true;
    }

    void Unlock() {
        ::flock(fd_.get(), LOCK_UN);
        threads_.unlock();
    }

private:
    std::mutex threads_;
    UniqueFd fd_;
};

class GateLock {
public:
    GateLock() : held_(Gate::Instance().Lock()) {}
    ~GateLock() {
        if (held_) Gate::Instance().Unlock();
    }
    GateLock(const GateLock&) = delete;
    GateLock& operator=(const GateLock&) = delete;
    bool held() const { return held_; }

private:
    bool held_;
};

// File name of an object: its name with every byte outside [A-Za-z0-9_.-]
// written as %XX (so distinct names stay distinct), shortened with a hash of
// the whole name when it would be too long for a file name.
std::string ObjectFileName(const char* name) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string file = "o-";
    for (const char* p = name; *p != '\0'; ++p) {
        auto c = static_cast<unsigned char>(*p);
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '_' || c == '.' || c == '-';
        if (plain) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += kHex[c >> 4];
            file += kHex[c & 15];
        }
    }
    if (file.size() > kMaxFileNameBytes) {
        std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
        for (const char* p = name; *p != '\0'; ++p) {
            hash = (hash ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
        }
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "~%016llX", static_cast<unsigned long long>(hash));
        file.resize(kMaxFileNameBytes - 17);
        file += suffix;
    }
    return file;
}

int OpenObjectFile(const std::string& path, int flags) {
    return RetryOnInterrupt([&] {
        return ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | flags, 0600);
    });
}

struct flock WholeFile(short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return lock;
}

// True when a descriptor other than `fd`'s open file description holds a
// shared lock, i.e. another holder (in this or another process) is alive.
bool HasOtherHolder(int fd) {
    struct flock probe = WholeFile(F_WRLCK);
    if (::fcntl(fd, F_OFD_GETLK, &probe) != 0) return true;  // unsure: keep the object
    return probe.l_type != F_UNLCK;
}

bool TakeHolderLock(int fd) {
    struct flock lock = WholeFile(F_RDLCK);
    if (RetryOnInterrupt([&] { return ::fcntl(fd, F_OFD_SETLK, &lock); }) != 0) {
        RecordErrno();
        return false;
    }
    return true;
}

bool ReadHeader(int fd, ObjectHeader* header) {
    ssize_t got = RetryOnInterrupt([&] { return ::pread(fd, header, sizeof *header, 0); });
    if (got != static_cast<ssize_t>(sizeof *header) || header->magic != kObjectMagic) {
        RecordError(EINVAL);
        return false;
    }
    return true;
}

// Gives the file the size of a fresh object and zeroes it.
bool Reinitialise(int fd, std::size_t dataSize) {
    if (RetryOnInterrupt([&] { return ::ftruncate(fd, 0); }) != 0 ||
        RetryOnInterrupt([&] {
            return ::ftruncate(fd, static_cast<off_t>(kObjectDataOffset + dataSize));
        }) != 0) {
        RecordErrno();
        return false;
    }
    return true;
}

bool WriteHeader(int fd, ObjectKind kind, std::size_t dataSize) {
    ObjectHeader header{kObjectMagic, static_cast<std::uint32_t>(kind), dataSize};
    ssize_t put = RetryOnInterrupt([&] { return ::pwrite(fd, &header, sizeof header, 0); });
    if (put != static_cast<ssize_t>(sizeof header)) {
        RecordErrno();
        return false;
    }
    return true;
}

}  // namespace

namespace {

// A directory only this user can have made and can enter: owned by the
// effective user, no access for others.
bool IsPrivateDirectory(const std::string& path) {
    struct stat info;
    return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &info) == 0 &&
           S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// The per-user runtime directory ($XDG_RUNTIME_DIR, else /run/user/<uid>)
// when there is one that is private to this user; empty otherwise.
std::string RuntimeDirectory() {
    const char* variable = std::getenv("XDG_RUNTIME_DIR");
    if (variable != nullptr && IsPrivateDirectory(variable)) return variable;
    const std::string standard = "/run/user/" + std::to_string(::geteuid());
    if (IsPrivateDirectory(standard)) return standard;
    return std::string();
}

// Never destroyed: a process that calls exit() runs the C++ destructors of
// statics before the library's own destructor detaches it, and the detach
// still opens named objects and may note a problem.
std::mutex& ProblemLock() {
    static auto* lock = new std::mutex;
    return *lock;
}
std::string& Problem() {
    static auto* problem = new std::string;
    return *problem;
}

void NoteProblem(const std::string& text) {
    std::lock_guard lock(ProblemLock());
    Problem() = text;
}

}  // namespace

const std::string& NamespaceDirectory() {
    // Never destroyed, for the detach that runs after exit()'s destructors.
    static const std::string* directory = new std::string([] {
        // Under the runtime directory no other user can create the namespace
        // first; /dev/shm, where every user may create names, is the fallback.
        const std::string runtime = RuntimeDirectory();
        std::string path = runtime.empty() ? "/dev/shm/trvha64-" + std::to_string(::geteuid())
                                           : runtime + "/trvha64";
        const char* suffix = std::getenv(kNamespaceVariable);
        if (suffix != nullptr && *suffix != '\0' && std::strchr(suffix, '/') == nullptr) {
            path += '-';
            path += suffix;
        }
        return path;
    }());
    return *directory;
}

std::string NamespaceProblem() {
    std::lock_guard lock(ProblemLock());
    return Problem();
}

bool EnsureNamespace() {
    const std::string& directory = NamespaceDirectory();
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        const int error = errno;
        NoteProblem("the object namespace " + directory + " cannot be created: " + std::strerror(error));
        RecordError(error);
        return false;
    }
    struct stat info;
    if (::lstat(directory.c_str(), &info) != 0) {
        const int error = errno;
        NoteProblem("the object namespace " + directory + " cannot be examined: " + std::strerror(error));
        RecordError(error);
        return false;
    }
    // Someone else's directory, or one that others can enter, is not ours to use.
    std::string problem;
    if (!S_ISDIR(info.st_mode)) {
        problem = "is not a directory";
    } else if (info.st_uid != ::geteuid()) {
        problem = "belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    } else if ((info.st_mode & 077) != 0) {
        char mode[16];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        problem = std::string("is open to other users (mode ") + mode + ")";
    }
    if (!problem.empty()) {
        NoteProblem("the object namespace " + directory + " " + problem + "; no session can be reached");
        RecordError(EACCES);
        return false;
    }
    return true;
}

void SweepStaleObjects() {
    GateLock gate;
    if (!gate.held()) return;
    DIR* directory = ::opendir(NamespaceDirectory().c_str());
    if (directory == nullptr) return;
    int directoryFd = ::dirfd(directory);
    while (dirent* entry = ::readdir(directory)) {
        if (std::strncmp(entry->d_name, "o-", 2) != 0) continue;
        UniqueFd fd(RetryOnInterrupt([&] {
            return ::openat(directoryFd, entry->d_name, O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        }));
        if (fd && !HasOtherHolder(fd.get())) ::unlinkat(directoryFd, entry->d_name, 0);
    }
    ::closedir(directory);
}

std::unique_ptr<NamespaceObject> NamespaceObject::Create(ObjectKind kind, const char* name,
                                                         std::size_t dataSize, bool mapData,
                                                         const Initializer& init, bool* existed) {
    if (existed != nullptr) *existed = false;
    if (dataSize == 0) {
        RecordError(EINVAL);
        return nullptr;
    }
    // Declared before the gate: a failed create closes it after the gate is released.
    std::unique_ptr<NamespaceObject> object(new NamespaceObject);
    object->kind_ = kind;

    if (name == nullptr) {
        // A private object: an anonymous file with no name and no holders to count.
        int fd = static_cast<int>(::memfd_create("trvha64", MFD_CLOEXEC));
        if (fd < 0) {
            RecordErrno();
            return nullptr;
        }
        object->fd_.reset(fd);
        object->dataSize_ = dataSize;
        if (!Reinitialise(fd, dataSize) || !WriteHeader(fd, kind, dataSize)) return nullptr;
        if (mapData && !object->MapData()) return nullptr;
        if (init && !init(object->data_)) return nullptr;
        if (!object->ReadIdentity()) return nullptr;
        return object;
    }

    GateLock gate;
    if (!gate.held()) return nullptr;
    std::string path = NamespaceDirectory() + "/" + ObjectFileName(name);
    bool fresh = true;
    int fd = OpenObjectFile(path, O_CREAT | O_EXCL);
    if (fd < 0 && errno == EEXIST) {
        fd = OpenObjectFile(path, 0);
        if (fd >= 0) fresh = !HasOtherHolder(fd);
    }
    if (fd < 0) {
        RecordErrno();
        return nullptr;
    }
    object->fd_.reset(fd);
    object->path_ = path;  // from here on the destructor unlinks it when no one else holds it
    if (!TakeHolderLock(fd)) return nullptr;

    if (fresh) {
        object->dataSize_ = dataSize;
        // The header goes last, so a file whose creator died half-way never
        // passes for a built object.
        if (!Reinitialise(fd, dataSize)) return nullptr;
        if (mapData && !object->MapData()) return nullptr;
        if (init && !init(object->data_)) return nullptr;
        if (!WriteHeader(fd, kind, dataSize)) return nullptr;
    } else {
        ObjectHeader header;
        if (!ReadHeader(fd, &header)) return nullptr;
        if (header.kind != static_cast<std::uint32_t>(kind)) {
            RecordError(EEXIST);  // the name belongs to an object of another kind
            return nullptr;
        }
        object->dataSize_ = static_cast<std::size_t>(header.dataSize);
        if (mapData && !object->MapData()) return nullptr;
        if (existed != nullptr) *existed = true;
    }
    if (!object->ReadIdentity()) return nullptr;
    return object;
}

std::unique_ptr<NamespaceObject> NamespaceObject::Open(ObjectKind kind, const char* name,
                                                       bool mapData) {
    if (name == nullptr) {
        RecordError(EINVAL);
        return nullptr;
    }
    // Declared before the gate: a failed open closes it after the gate is released.
    std::unique_ptr<NamespaceObject> object(new NamespaceObject);
    object->kind_ = kind;
    GateLock gate;
    if (!gate.held()) return nullptr;
    std::string path = NamespaceDirectory() + "/" + ObjectFileName(name);
    int fd = OpenObjectFile(path, 0);
    if (fd < 0) {
        RecordErrno();
        return nullptr;
    }
    object->fd_.reset(fd);
    if (!HasOtherHolder(fd)) {
        // Every holder died: the object is gone, as it would be on Windows.
        ::unlink(path.c_str());
        RecordError(ENOENT);
        return nullptr;
    }
    ObjectHeader header;
    if (!ReadHeader(fd, &header)) return nullptr;
    if (header.kind != static_cast<std::uint32_t>(kind)) {
        RecordError(EEXIST);
        return nullptr;
    }
    object->path_ = path;
    object->dataSize_ = static_cast<std::size_t>(header.dataSize);
    if (!TakeHolderLock(fd)) return nullptr;
    if (mapData && !object->MapData()) return nullptr;
    if (!object->ReadIdentity()) return nullptr;
    return object;
}

bool NamespaceObject::ReadIdentity() {
    struct stat info;
    if (::fstat(fd_.get(), &info) != 0) {
        RecordErrno();
        return false;
    }
    identity_ = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

bool NamespaceObject::MapData() {
    void* view = ::mmap(nullptr, dataSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_.get(),
                        static_cast<off_t>(kObjectDataOffset));
    if (view == MAP_FAILED) {
        RecordErrno();
        return false;
    }
    data_ = view;
    return true;
}

NamespaceObject::~NamespaceObject() {
    if (data_ != nullptr && !keepMapped_) ::munmap(data_, dataSize_);
    if (!fd_ || path_.empty()) return;
    GateLock gate;
    if (!HasOtherHolder(fd_.get())) ::unlink(path_.c_str());
    fd_.reset();
}

}  // namespace trv::platform::posix
