// Named mappings on POSIX: a file of the namespace (see namespace.h) whose
// data follows the object header. A view keeps the mapping alive after its
// handle is closed, as a Win32 view keeps its section: the view registry
// holds the mapping object until UnmapView.
#include "platform/mapping.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>

#include <sys/mman.h>

#include "platform/posix/handle_table.h"
#include "platform/posix/namespace.h"

namespace trv::platform {
namespace {

class MappingObject : public posix::KernelObject {
public:
    static constexpr posix::HandleType kType = posix::HandleType::mapping;
    explicit MappingObject(std::unique_ptr<posix::NamespaceObject> object)
        : KernelObject(kType), object_(std::move(object)) {}
    const posix::NamespaceObject& object() const { return *object_; }

private:
    std::unique_ptr<posix::NamespaceObject> object_;
};

struct View {
    std::shared_ptr<MappingObject> mapping;
    std::size_t length;
};

class ViewRegistry {
public:
    static ViewRegistry& Instance() {
        static ViewRegistry* registry = new ViewRegistry;  // views may outlive static destructors
        return *registry;
    }
    void Add(void* address, View view) {
        std::lock_guard lock(mutex_);
        views_[address] = std::move(view);
    }
    // The view's record, removed; an empty mapping when `address` is no view.
    View Remove(void* address) {
        std::lock_guard lock(mutex_);
        auto found = views_.find(address);
        if (found == views_.end()) return View{nullptr, 0};
        View view = std::move(found->second);
        views_.erase(found);
        return view;
    }

private:
    std::mutex mutex_;
    std::map<void*, View> views_;
};

}  // namespace

CreatedMapping CreateNamedMapping(const char* name, std::size_t size) {
    CreatedMapping created;
    bool existed = false;
    std::unique_ptr<posix::NamespaceObject> object = posix::NamespaceObject::Create(
        posix::ObjectKind::mapping, name, size, false, nullptr, &existed);
    if (!object) return created;
    created.handle = posix::InsertHandle(std::make_shared<MappingObject>(std::move(object)));
    created.existed = created.handle != kNoHandle && existed;
    return created;
}

Handle OpenNamedMapping(const char* name) {
    std::unique_ptr<posix::NamespaceObject> object =
        posix::NamespaceObject::Open(posix::ObjectKind::mapping, name, false);
    if (!object) return kNoHandle;
    return posix::InsertHandle(std::make_shared<MappingObject>(std::move(object)));
}

void* MapView(Handle mapping, std::size_t size) {
    std::shared_ptr<MappingObject> object = posix::LookupAs<MappingObject>(mapping);
    if (!object) return nullptr;
    std::size_t available = object->object().dataSize();
    if (size == 0) size = available;  // 0 maps the whole mapping, as on Windows
    if (size > available) {
        posix::RecordError(EACCES);  // past the end would fault on access
        return nullptr;
    }
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, object->object().fd(),
                        static_cast<off_t>(posix::kObjectDataOffset));
    if (view == MAP_FAILED) {
        posix::RecordErrno();
        return nullptr;
    }
    ViewRegistry::Instance().Add(view, View{std::move(object), size});
    return view;
}

void UnmapView(void* view, std::size_t size) {
    if (view == nullptr) return;
    View record = ViewRegistry::Instance().Remove(view);
    if (!record.mapping) {
        posix::RecordError(EINVAL);
        return;
    }
    (void)size;  // the length mapped is known; a caller's size cannot shorten it
    ::munmap(view, record.length);
    // record.mapping is released here: the last holder closes the mapping.
}

}  // namespace trv::platform
