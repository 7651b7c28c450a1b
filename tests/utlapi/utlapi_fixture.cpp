// The test process as a UTLAPI caller and the scratch directory of
// utlapi_fixture.h.
#include "utlapi_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace trv::test {
namespace {

[[maybe_unused]] testing::Environment* const g_attached =
    testing::AddGlobalTestEnvironment(new AttachedCaller("utl-tests"));

}  // namespace

ScratchDirectory::ScratchDirectory(const std::string& name) {
    previous_ = std::filesystem::current_path().string();
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / UniqueName(name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    path_ = dir.string();
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace trv::test
