#include "opstation/platform/wine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "opstation/drive_library.h"
#include "opstation/platform/child_process.h"
#include "wine_environment.h"

namespace opstation::platform {

namespace {

using namespace std::chrono_literals;
using std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char *kWineFolder = "/usr/lib/wine";  // where Debian keeps wine's loaders
constexpr const char *kLoaderFolderVariable = "OPSTATION_WINE_DIR";
constexpr const char *kReadyMark = ".opstation-ready";  // tools/wine-run.sh marks its prefixes alike
// How long the server of a session started by the bridge stays after the
// last program of the prefix ended.
constexpr std::chrono::seconds kServerPersistence{2};

std::string variable(const char *name) {
    const char *value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string errorText(int error) { return std::strerror(error); }

// A script named like a loader (Debian's /usr/bin/wine picks a loader by
// what is installed) is no loader: only the ELF program itself will do.
bool isProgram(const std::string &path) {
    if (::access(path.c_str(), X_OK) != 0) return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char magic[4] = {};
    const bool elf = ::read(fd, magic, sizeof magic) == 4 && std::memcmp(magic, "\x7F" "ELF", 4) == 0;
    ::close(fd);
    return elf;
}

// Where wine's loaders are looked for: OPSTATION_WINE_DIR alone when it is
// set, else Debian's folder, then PATH.
std::vector<std::string> loaderFolders() {
    if (std::string only = variable(kLoaderFolderVariable); !only.empty()) return {only};
    std::vector<std::string> folders{kWineFolder};
    std::istringstream path(variable("PATH"));
    for (std::string folder; std::getline(path, folder, ':');)
        if (!folder.empty()) folders.push_back(folder);
    return folders;
}

std::string whereLoadersWereSought() {
    if (std::string only = variable(kLoaderFolderVariable); !only.empty())
        return std::string("in ") + kLoaderFolderVariable + "=" + only;
    return std::string("in ") + kWineFolder + " or on PATH";
}

// The first file called `name` in the loaders' folders that `fits`.
template <typename Fits>
std::optional<std::string> find(std::string_view name, Fits &&fits) {
    for (const std::string &folder : loaderFolders())
        if (std::string candidate = folder + "/" + std::string(name); fits(candidate)) return candidate;
    return std::nullopt;
}

std::optional<std::string> findLoader(std::string_view name) { return find(name, isProgram); }

// wineserver may be a script that picks the server of the installed width
// (Debian's does): any program will do.
std::string findProgram(std::string_view name) {
    return find(name, [](const std::string &path) { return ::access(path.c_str(), X_OK) == 0; }).value_or("");
}

// A program of wine's, started beside this one and not tied to it: wine's
// session needs it to outlive this program (see startWineSession). Its
// output goes to `output`. How it ended, or nothing when it ran past
// `limit` and was stopped; std::system_error when it could not start.
std::optional<ChildEnding> runWine(std::vector<std::string> command, const std::vector<std::string> &environment,
                                   const std::string &output, std::chrono::seconds limit) {
    return runToEnd(std::move(command), {.environment = environment, .outputFile = output}, limit);
}

// The error of starting `loader` at all, 0 when it starts: a kernel without
// the 32-bit compatibility mode refuses a 32-bit loader with ENOEXEC.
int startError(const std::string &loader) {
    try {
        runWine({loader, "--version"}, {}, "/dev/null", 10s);
        return 0;
    } catch (const std::system_error &error) {
        return error.code().value();
    }
}

// Serialises the first start of a prefix between programs: held while it lives.
class PrefixLock {
public:
    explicit PrefixLock(const std::string &prefix) : fd_(::open((prefix + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
        if (fd_ < 0) throw DriveLibraryError("cannot create " + prefix + ".lock: " + errorText(errno));
        while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    ~PrefixLock() { ::close(fd_); }
    PrefixLock(const PrefixLock &) = delete;
    PrefixLock &operator=(const PrefixLock &) = delete;

private:
    int fd_;
};

}  // namespace

std::optional<std::string> preparingLoader() {
    if (auto wide = findLoader(widestMachine().loader)) return wide;
    return findLoader("wine");
}

std::string winePrefix() {
    if (const std::string chosen = variable("OPSTATION_WINEPREFIX"); !chosen.empty()) return fs::absolute(chosen).string();
    if (const std::string data = variable("XDG_DATA_HOME"); !data.empty() && data[0] == '/') return data + "/op-station/wine";
    const std::string home = variable("HOME");
    if (home.empty()) throw DriveLibraryError("no wine prefix: neither OPSTATION_WINEPREFIX nor XDG_DATA_HOME nor HOME is set");
    return home + "/.local/share/op-station/wine";
}

// platform/wine.env says why each entry is there.
std::vector<std::string> wineEnvironment(const std::string &prefix) {
    std::vector<std::string> environment{"WINEPREFIX=" + prefix};
    environment.insert(environment.end(), kWineEnvironment.begin(), kWineEnvironment.end());
    return environment;
}

Wine wineFor(const WindowsMachine &machine) {
    const std::string kind = std::string(machine.bits);
    const std::optional<std::string> loader = findLoader(machine.loader);
    if (!loader)
        throw DriveLibraryError("it is a " + kind + " Windows DLL, which runs under wine, and wine's " + kind + " loader " +
                                std::string(machine.loader) + " is not installed (not found " + whereLoadersWereSought() +
                                "); install the Debian packages " + std::string(machine.packages));
    if (const int error = startError(*loader); error == ENOEXEC)
        throw DriveLibraryError("it is a " + kind + " Windows DLL, and this machine cannot run " + kind +
                                " x86 programs at all, wine's loader " + *loader + " included (" + errorText(error) +
                                ": the kernel has no " + kind + " compatibility mode); " + std::string(machine.elsewhere));
    else if (error != 0)
        throw DriveLibraryError("wine's " + kind + " loader " + *loader + " cannot be started: " + errorText(error));
    const std::string prefix = winePrefix();
    return {*loader, preparingLoader().value_or(*loader), findProgram("wineserver"), prefix, wineEnvironment(prefix)};
}

void startWineSession(const Wine &wine, const std::string &host) {
    if (wine.server.empty()) return;  // each program starts the server as it would
    try {
        // It returns once it serves; with another status when one runs already.
        const std::optional<ChildEnding> server =
            runWine({wine.server, "-p" + std::to_string(kServerPersistence.count())}, wine.environment, "/dev/null", 10s);
        if (!server || server->how != ChildEnding::How::exit || server->code != 0) return;
        runWine({wine.loader, host, "--version"}, wine.environment, "/dev/null", 25s);
    } catch (const std::system_error &) {
        // the host's own start then says what is wrong
    }
}

void prepareWinePrefix(const Wine &wine, std::string_view program, std::chrono::seconds limit) {
    const fs::path ready = fs::path(wine.prefix) / kReadyMark;
    if (fs::exists(ready)) return;
    std::error_code error;
    fs::create_directories(fs::path(wine.prefix).parent_path(), error);
    if (error) throw DriveLibraryError("cannot create the folder of the wine prefix " + wine.prefix + ": " + error.message());
    const PrefixLock lock(wine.prefix);
    if (fs::exists(ready)) return;  // another program prepared it meanwhile

    std::fprintf(stderr, "%.*s: preparing the wine prefix %s for Windows drive libraries, first use only, about 10 s\n",
                 static_cast<int>(program.size()), program.data(), wine.prefix.c_str());
    const auto start = steady_clock::now();
    const std::string log = wine.prefix + ".log";
    const std::string failed = "could not prepare the wine prefix " + wine.prefix + ": " + wine.preparer + " wineboot --init ";
    std::optional<ChildEnding> wineboot;
    try {
        wineboot = runWine({wine.preparer, "wineboot", "--init"}, wine.environment, log, limit);
    } catch (const std::system_error &error) {
        throw DriveLibraryError(failed + "could not be started: " + errorText(error.code().value()));
    }
    if (!wineboot) throw DriveLibraryError(failed + "did not end within " + std::to_string(limit.count()) + " s (its output is in " + log + ")");
    if (wineboot->how != ChildEnding::How::exit || wineboot->code != 0)
        throw DriveLibraryError(failed + "ended with " + wineboot->text + " (its output is in " + log + ")");
    if (FILE *mark = std::fopen(ready.c_str(), "w")) std::fclose(mark);
    std::fprintf(stderr, "%.*s: the wine prefix is ready after %.1f s\n", static_cast<int>(program.size()), program.data(),
                 std::chrono::duration<double>(steady_clock::now() - start).count());
}

}  // namespace opstation::platform
