// A symbol of a drive library built for tests, found in the same loaded copy
// that the panel's loader opens: loading a file that is already loaded
// hands out that copy again, on Linux and on Windows alike.
#pragma once

#include <stdexcept>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "files.h"

namespace opstation::test {

template <typename T>
T librarySymbol(const std::string &path, const char *name) {
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path.c_str());
    if (handle == nullptr) throw std::runtime_error("cannot load " + path);
    auto address = reinterpret_cast<void *>(GetProcAddress(handle, name));
#else
    void *handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    void *address = dlsym(handle, name);
#endif
    if (address == nullptr) throw std::runtime_error(std::string("no symbol ") + name + " in " + path);
    return reinterpret_cast<T>(address);
}

}  // namespace opstation::test
