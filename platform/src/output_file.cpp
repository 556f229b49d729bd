#include "opstation/platform/output_file.h"

#include <cerrno>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "file_io.h"

namespace opstation::platform {

namespace {

using namespace io;

}  // namespace

OutputFile::OutputFile(const std::string &path) : fd_(createFile(path)), owned_(true), openError_(fd_ < 0 ? errno : 0) {
    setp(buffer_.data(), buffer_.data() + buffer_.size());
}

OutputFile::OutputFile(int fd) : fd_(fd), openError_(fd < 0 ? EBADF : 0) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

OutputFile::~OutputFile() {
    flushNow();
    if (owned_ && fd_ >= 0) closeFile(fd_);
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
