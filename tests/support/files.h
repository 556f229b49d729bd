// Files that tests read: a whole file's bytes, and the drive libraries
// built for tests.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace opstation::test {

inline std::string slurp(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

#if defined(OPSTATION_TESTLIBS_DIR)
// The test library called `name`, in its own folder below the test
// libraries' folder, under the file name the panel loads.
inline std::string testLibrary(const std::string &name) {
#if defined(_WIN32)
    constexpr const char *kFile = "drive.dll";
#else
    constexpr const char *kFile = "libdrive.so";
#endif
    return std::string(OPSTATION_TESTLIBS_DIR) + "/" + name + "/" + kFile;
}
#endif

}  // namespace opstation::test
