// Files and environment variables of tests that look at what the library or
// a child process leaves on disk.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "support/child_role.h"

namespace trv::test {

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// An empty directory "<base>_<pid>" under the current one, removed with it.
class FreshDirectory {
public:
    explicit FreshDirectory(const std::string& base) : path_(std::filesystem::current_path() / UniqueName(base)) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~FreshDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    FreshDirectory(const FreshDirectory&) = delete;
    FreshDirectory& operator=(const FreshDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Sets (null: removes) a variable of this process's environment, which the
// children started meanwhile inherit; puts the previous value back after.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char* name, const char* value) : name_(name), old_(platform::GetEnvironment(name)) {
        platform::SetEnvironment(name, value);
    }
    ~ScopedEnvironment() { platform::SetEnvironment(name_, old_ ? old_->c_str() : nullptr); }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    const char* name_;
    std::optional<std::string> old_;
};

}  // namespace trv::test
