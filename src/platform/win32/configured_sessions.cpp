// The configured sessions in the registry, under the local-machine hive.
#include "platform/configured_sessions.h"

#include "platform/win32/windows_api.h"

namespace trv::platform {
namespace {

constexpr const char* kKey = "SOFTWARE\\Ombrel\\Ombrel Palvero EHLLAPI Bridge\\7";

class RegistryKey {
public:
    RegistryKey(REGSAM access, bool create) {
        const LONG status = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, access, nullptr,
                                                     &key_, nullptr)
                                   : RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, access, &key_);
        if (status != ERROR_SUCCESS) key_ = nullptr;
    }
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace

ConfiguredSessions ReadConfiguredSessions() {
    ConfiguredSessions sessions;
    RegistryKey key(KEY_READ, false);
    if (key.get() == nullptr) return sessions;
    sessions.opened = true;
    for (int i = 0; i < 26; ++i) {
        const char name[2] = {static_cast<char>('A' + i), 0};
        char value[kConfiguredProfileMax + 1] = {};
        DWORD type = 0;
        DWORD size = kConfiguredProfileMax;
        if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            sessions.profiles[static_cast<std::size_t>(i)] = value;
        }
    }
    return sessions;
}

bool WriteConfiguredSession(char letter, const std::string& profile) {
    RegistryKey key(KEY_WRITE, true);
    if (key.get() == nullptr) return false;
    const char name[2] = {letter, 0};
    if (profile.empty()) {
        const LONG status = RegDeleteValueA(key.get(), name);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(profile.c_str()),
                          static_cast<DWORD>(profile.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace trv::platform
