// The few file calls the platform layer's files make, the same on POSIX
// and Windows (whose C runtime spells them with an underscore).
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

namespace opstation::platform::io {

#if defined(_WIN32)
inline int createFile(const std::string &path) { return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0644); }
inline long writeSome(int fd, const char *bytes, std::size_t size) { return _write(fd, bytes, static_cast<unsigned>(size)); }
inline long long endOf(int fd) { return _lseeki64(fd, 0, SEEK_END); }
inline void cutAt(int fd, long long size) {
    if (_chsize_s(fd, size) == 0) _lseeki64(fd, size, SEEK_SET);
}
inline void closeFile(int fd) { _close(fd); }
#else
inline int createFile(const std::string &path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }
inline long writeSome(int fd, const char *bytes, std::size_t size) { return ::write(fd, bytes, size); }
inline long long endOf(int fd) { return ::lseek(fd, 0, SEEK_END); }
inline void cutAt(int fd, long long size) {
    if (::ftruncate(fd, size) == 0) ::lseek(fd, size, SEEK_SET);
}
inline void closeFile(int fd) { ::close(fd); }
#endif

// Hands `add` the file's bytes, chunk by chunk; false when it cannot be
// opened or read to its end.
template <typename Add>
bool readInChunks(const std::string &path, Add &&add) {
    const std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) return false;
    std::array<unsigned char, 65536> chunk;
    for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0;) add(chunk.data(), got);
    return !std::ferror(file.get());
}

// Bytes as lower-case hexadecimal digits, as checksums are written.
inline std::string hexDigits(std::span<const unsigned char> bytes) {
    constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const unsigned char byte : bytes) {
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

}  // namespace opstation::platform::io
