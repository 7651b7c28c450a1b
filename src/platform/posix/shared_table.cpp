// Process-lifetime holders of the namespace-wide tables (see shared_table.h).
#include "platform/posix/shared_table.h"

#include <cerrno>
#include <map>
#include <memory>
#include <string>

namespace trv::platform::posix {

void* OpenSharedTable(const char* name, ObjectKind kind, std::size_t size,
                      const NamespaceObject::Initializer& init) {
    // Never destroyed: the tables stay mapped while threads run at exit.
    static std::mutex* mutex = new std::mutex;
    static auto* tables = new std::map<std::string, std::unique_ptr<NamespaceObject>>;
    std::lock_guard lock(*mutex);
    auto found = tables->find(name);
    if (found != tables->end()) return found->second->data();
    std::unique_ptr<NamespaceObject> object =
        NamespaceObject::Create(kind, name, size, true, init, nullptr);
    if (!object) return nullptr;
    if (object->dataSize() < size) {
        RecordError(EINVAL);
        return nullptr;
    }
    void* data = object->data();
    tables->emplace(name, std::move(object));
    return data;
}

}  // namespace trv::platform::posix
