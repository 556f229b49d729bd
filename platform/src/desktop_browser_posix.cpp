#include "opstation/platform/desktop_browser.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace opstation::platform {

// xdg-open is started by a child that ends at once, so that it belongs to
// no one here and no child of ours is left to reap; it writes to our
// standard error, never into the standard output that scripts read. A
// pipe closed by the exec tells whether it started, or carries its errno.
std::string openInDesktopBrowser(const std::string &target) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return std::string("pipe: ") + std::strerror(errno);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        return std::string("fork: ") + std::strerror(error);
    }
    if (child == 0) {
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) ::dup2(null, STDIN_FILENO);
        ::execlp("xdg-open", "xdg-open", target.c_str(), static_cast<char *>(nullptr));
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    while ((got = ::read(report[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) return std::string("xdg-open: ") + std::strerror(error);
    return {};
}

}  // namespace opstation::platform
