#include "windows_dll.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "opstation/drive_library.h"

namespace opstation::winbridge {

namespace {

constexpr std::array<WindowsMachine, 2> kMachines = {{
    {0x014C, "i686", "32-bit", "wine", "wine and wine32:i386 (after dpkg --add-architecture i386 and apt-get update)",
     "run it on a machine whose kernel runs 32-bit programs, or use a 64-bit build of the DLL"},
    {0x8664, "x86_64", "64-bit", "wine64", "wine and wine64", "run it on a 64-bit x86 machine"},
}};

constexpr uint32_t kPeOffsetField = 0x3C;  // where the PE header's offset stands

struct File {
    int fd;
    ~File() { ::close(fd); }
};

// `size` bytes at `offset`, or false when the file is shorter.
bool readAt(const File &file, void *into, std::size_t size, off_t offset) {
    const ssize_t got = ::pread(file.fd, into, size, offset);
    if (got < 0) throw DriveLibraryError(std::strerror(errno));
    return static_cast<std::size_t>(got) == size;
}

uint32_t littleEndian(const uint8_t *bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

const WindowsMachine &dllMachine(const std::string &file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw DriveLibraryError(std::strerror(errno));
    const File dll{fd};
    uint8_t dos[64];
    uint8_t pe[6];
    if (!readAt(dll, dos, sizeof dos, 0) || dos[0] != 'M' || dos[1] != 'Z' ||
        !readAt(dll, pe, sizeof pe, static_cast<off_t>(littleEndian(dos + kPeOffsetField, 4))) ||
        std::memcmp(pe, "PE\0\0", 4) != 0)
        throw DriveLibraryError("it is no Windows DLL (no PE header), or it is cut short");
    const auto machine = static_cast<uint16_t>(littleEndian(pe + 4, 2));
    const auto *known = std::find_if(kMachines.begin(), kMachines.end(),
                                     [&](const WindowsMachine &m) { return m.peMachine == machine; });
    if (known != kMachines.end()) return *known;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", machine);
    throw DriveLibraryError(std::string("it is a Windows DLL for another processor (PE machine ") + hex +
                            "); only 32-bit x86 (i386) and 64-bit x86 (AMD64) DLLs run under wine here");
}

const WindowsMachine &widestMachine() { return kMachines.back(); }

std::string windowsPath(const std::string &unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace opstation::winbridge
