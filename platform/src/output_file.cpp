#include "opstation/platform/output_file.h"

#include <cerrno>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace opstation::platform {

namespace {

#if defined(_WIN32)
int openForWriting(const std::string &path) { return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0644); }
long writeSome(int fd, const char *bytes, std::size_t size) { return _write(fd, bytes, static_cast<unsigned>(size)); }
void closeFd(int fd) { _close(fd); }
#else
int openForWriting(const std::string &path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644); }
long writeSome(int fd, const char *bytes, std::size_t size) { return ::write(fd, bytes, size); }
void closeFd(int fd) { ::close(fd); }
#endif

}  // namespace

OutputFile::OutputFile(const std::string &path) : fd_(openForWriting(path)), owned_(true), openError_(fd_ < 0 ? errno : 0) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputFile::OutputFile(int fd) : fd_(fd), openError_(fd < 0 ? EBADF : 0) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

OutputFile::~OutputFile() {
    flushNow();
    if (owned_ && fd_ >= 0) closeFd(fd_);
}

bool OutputFile::flushNow() noexcept {
    const char *at = pbase();
    while (at < pptr() && !failed()) {
        const long written = writeSome(fd_, at, static_cast<std::size_t>(pptr() - at));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) error_ = written < 0 ? errno : EIO;
        else at += written;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return !failed();
}

OutputFile::int_type OutputFile::overflow(int_type c) {
    if (!flushNow()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) sputc(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int keepStandardOutput() {
#if defined(_WIN32)
    const int own = _dup(1);
    _dup2(2, 1);
    SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
#else
    const int own = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
#endif
    return own;
}

}  // namespace opstation::platform
