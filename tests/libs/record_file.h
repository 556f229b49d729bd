// The recording drive's record as a file mapped into memory, shared by every
// process that maps it: the test makes it, the library (in the test's own
// process or in a drive host) opens it by the name the environment gives.
#pragma once

#include <cstddef>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace recording {

// The first `size` bytes of the file at `path`, mapped for reading and
// writing; with `create`, the file is made (or emptied) first. Null when it
// cannot be done. The mapping lasts as long as the process.
inline void *mapFile(const std::string &path, std::size_t size, bool create) {
#if defined(_WIN32)
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    create ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    const HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(size), nullptr);
    CloseHandle(file);
    if (mapping == nullptr) return nullptr;
    void *at = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, size);
    CloseHandle(mapping);
    return at;
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT | O_TRUNC : 0), 0600);
    if (fd < 0) return nullptr;
    if (create && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        ::close(fd);
        return nullptr;
    }
    void *at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return at == MAP_FAILED ? nullptr : at;
#endif
}

inline void setVariable(const char *name, const std::string &value) {
#if defined(_WIN32)
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

}  // namespace recording
