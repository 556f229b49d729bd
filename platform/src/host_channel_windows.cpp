#include "opstation/platform/host_channel.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace opstation::platform {

namespace {

// The C runtime's descriptor and the Win32 standard handle of a stream both
// point elsewhere: a library may write through either.
void redirect(int fd, DWORD standard, HANDLE to, int toFd) {
    _dup2(toFd, fd);
    SetStdHandle(standard, to);
}

}  // namespace

Channel takeStandardStreams() {
    // No translation of 0x0A or 0x1A: the channel carries bytes.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    Channel channel{_dup(_fileno(stdin)), _dup(_fileno(stdout))};
    const int nothing = _open("NUL", _O_RDONLY | _O_BINARY);
    if (nothing >= 0) {
        redirect(_fileno(stdin), STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(_get_osfhandle(nothing)), nothing);
        _close(nothing);
    }
    redirect(_fileno(stdout), STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE), _fileno(stderr));
    return channel;
}

long readSome(int fd, std::span<uint8_t> into, std::chrono::microseconds) {
    return _read(fd, into.data(), static_cast<unsigned>(into.size()));
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
        const int sent = _write(fd, bytes.data(), static_cast<unsigned>(bytes.size()));
        if (sent <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

}  // namespace opstation::platform
