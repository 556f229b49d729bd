#include "opstation/platform/program.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace opstation::platform {

std::string programFolder() {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return ".";
    const std::string self(path, length);
    return self.substr(0, self.find_last_of("\\/"));
}

void binaryStandardStreams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace opstation::platform
