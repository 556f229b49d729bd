#include "opstation/platform/windows_dll.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "opstation/drive_library.h"

namespace opstation::platform {

namespace {

constexpr std::array<WindowsMachine, 2> kMachines = {{
    {0x014C, "i686", "32-bit", "wine", "wine and wine32:i386 (after dpkg --add-architecture i386 and apt-get update)",
     "run it on a machine whose kernel runs 32-bit programs, or use a 64-bit build of the DLL"},
    {0x8664, "x86_64", "64-bit", "wine64", "wine and wine64", "run it on a 64-bit x86 machine"},
}};

constexpr long kPeOffsetField = 0x3C;  // where the PE header's offset stands

using File = std::unique_ptr<FILE, int (*)(FILE *)>;

File openForReading(const std::string &file) { return File(std::fopen(file.c_str(), "rb"), &std::fclose); }

// `size` bytes at `offset`, or false when the file is shorter.
bool readAt(FILE *file, uint8_t *into, std::size_t size, long offset) {
    if (std::fseek(file, offset, SEEK_SET) != 0) return false;
    const std::size_t got = std::fread(into, 1, size, file);
    if (got != size && std::ferror(file)) throw DriveLibraryError(std::strerror(errno));
    return got == size;
}

uint32_t littleEndian(const uint8_t *bytes, int count) {
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
    return value;
}

bool endsWithDll(const std::string &file) {
    if (file.size() < 4) return false;
    std::string end = file.substr(file.size() - 4);
    std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == ".dll";
}

}  // namespace

bool looksLikeWindowsDll(const std::string &file) {
    if (endsWithDll(file)) return true;
    const File dll = openForReading(file);
    uint8_t magic[2] = {};
    return dll && std::fread(magic, 1, 2, dll.get()) == 2 && magic[0] == 'M' && magic[1] == 'Z';
}

const WindowsMachine &dllMachine(const std::string &file) {
    const File dll = openForReading(file);
    if (!dll) throw DriveLibraryError(std::strerror(errno));
    uint8_t dos[64];
    uint8_t pe[6];
    if (!readAt(dll.get(), dos, sizeof dos, 0) || dos[0] != 'M' || dos[1] != 'Z' ||
        !readAt(dll.get(), pe, sizeof pe, static_cast<long>(littleEndian(dos + kPeOffsetField, 4))) ||
        std::memcmp(pe, "PE\0\0", 4) != 0)
        throw DriveLibraryError("it is no Windows DLL (no PE header), or it is cut short");
    const auto machine = static_cast<uint16_t>(littleEndian(pe + 4, 2));
    const auto *known = std::find_if(kMachines.begin(), kMachines.end(),
                                     [&](const WindowsMachine &m) { return m.peMachine == machine; });
    if (known != kMachines.end()) return *known;
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", machine);
    throw DriveLibraryError(std::string("it is a Windows DLL for another processor (PE machine ") + hex +
                            "); only 32-bit x86 (i386) and 64-bit x86 (AMD64) DLLs run here");
}

const WindowsMachine &widestMachine() { return kMachines.back(); }
const WindowsMachine &ownMachine() { return sizeof(void *) == 4 ? kMachines.front() : kMachines.back(); }

std::string windowsPath(const std::string &unixPath) {
    std::string path = "Z:" + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace opstation::platform
