#include "opstation/drive_library.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "opstation/ansi_codepage.h"
#include "opstation/drive_api.h"

#if defined(_WIN32)
#include <windows.h>

#include <string_view>
#include <vector>
#else
#include <dlfcn.h>
#include <link.h>
#include <signal.h>
#include <unistd.h>
#endif

namespace opstation {

namespace {

using InitialiseFn = decltype(&opstat_initialise);
using TerminateFn = decltype(&opstat_terminate);
using DownloadFn = decltype(&opstat_download);
using UploadFn = decltype(&opstat_upload);

#if !defined(_WIN32)
std::string g_loadFaultProgram = "op-station: ";
int g_loadFaultStatus = 1;

// The program's own report of a load fault: the message on stderr, then
// the program ends with its failure exit status.
void reportLoadFaultOnStderr(const char *message, std::size_t size) {
    [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, g_loadFaultProgram.data(), g_loadFaultProgram.size());
    written = ::write(STDERR_FILENO, message, size);
    written = ::write(STDERR_FILENO, "\n", 1);
    ::_exit(g_loadFaultStatus);
}

LoadFaultReport g_loadFaultReport = &reportLoadFaultOnStderr;

// A file cut short after its headers (an interrupted copy, a full disk)
// makes the system loader map pages past the end of the file and fault on
// them inside dlopen: a bus error, not an error return. Nothing can go on
// after that, since the loader's own lock is still held, so the process
// says which file it was and ends. The message is made before the call,
// because a signal handler may only write it.
class LoadFaultGuard {
public:
    explicit LoadFaultGuard(const std::string &fileName) {
        const std::string text = "cannot load the drive library " + fileName +
                                 ": the file is damaged or cut short (the loader faulted while mapping it)";
        length_ = std::min(text.size(), message_.size());
        std::memcpy(message_.data(), text.data(), length_);
        report_ = g_loadFaultReport;
        struct sigaction action {};
        action.sa_handler = &LoadFaultGuard::onFault;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousBus_);
        sigaction(SIGSEGV, &action, &previousSegv_);
    }
    ~LoadFaultGuard() {
        sigaction(SIGBUS, &previousBus_, nullptr);
        sigaction(SIGSEGV, &previousSegv_, nullptr);
    }
    LoadFaultGuard(const LoadFaultGuard &) = delete;
    LoadFaultGuard &operator=(const LoadFaultGuard &) = delete;

private:
    static void onFault(int) {
        report_(message_.data(), length_);
        ::_exit(1);  // a report must not return; if it does, end here
    }

    static inline std::array<char, 4096> message_{};
    static inline std::size_t length_ = 0;
    static inline LoadFaultReport report_ = nullptr;
    struct sigaction previousBus_ {};
    struct sigaction previousSegv_ {};
};
#endif

#if defined(_WIN32)
// Bytes of arguments of each entry point, one four-byte slot per argument:
// the N in the names that compilers give standard-call functions.
struct StdcallEntryPoint {
    std::string_view name;
    int argumentBytes;
};
constexpr std::array<StdcallEntryPoint, 4> kStdcallEntryPoints = {{
    {"opstat_initialise", 8},
    {"opstat_terminate", 4},
    {"opstat_download", 40},
    {"opstat_upload", 64},
}};

// The names under which a DLL may export an entry point, in the order they
// are tried: the plain name (a DLL built with a module-definition file, or
// mingw's --kill-at), then the decorated standard-call names of a DLL built
// without one: _name@N as MSVC writes it, name@N as mingw does.
std::vector<std::string> exportNames(std::string_view name) {
    std::vector<std::string> names{std::string(name)};
    for (const StdcallEntryPoint &entry : kStdcallEntryPoints) {
        if (entry.name != name) continue;
        const std::string decorated = std::string(name) + "@" + std::to_string(entry.argumentBytes);
        names.push_back("_" + decorated);
        names.push_back(decorated);
    }
    return names;
}

// The system's text for a Windows error code, with the code itself.
std::string windowsErrorText(DWORD code) {
    char buffer[512] = {};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer, sizeof buffer,
                   nullptr);
    std::string text(buffer);
    if (const auto insert = text.find("%1"); insert != std::string::npos) text.replace(insert, 2, "the file");
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    std::string detail = "error " + std::to_string(code);
    // A DLL for the other width, or a damaged one: the loader cannot tell.
    if (code == ERROR_BAD_EXE_FORMAT)
        detail += sizeof(void *) == 4 ? "; not a 32-bit DLL, or a damaged one" : "; not a 64-bit DLL, or a damaged one";
    return (text.empty() ? "unknown reason" : text) + " (" + detail + ")";
}
#endif

// A loaded shared library, through the platform's own loader.
class SharedObject {
public:
    // `fileName` is loaded; messages name it as `shown`.
    SharedObject(const std::string &fileName, const std::string &shown) {
#if defined(_WIN32)
        // A bare name is looked for beside the program and in the system
        // folders, never in the current folder, where anyone may have left a
        // drive.dll; a path is loaded as it stands. No error box on a
        // desktop: the failure comes back here.
        const bool bareName = fileName.find_first_of("/\\") == std::string::npos;
        DWORD previousMode = 0;
        SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
        handle_ = bareName ? LoadLibraryExA(fileName.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS)
                           : LoadLibraryA(fileName.c_str());
        const DWORD error = GetLastError();
        SetThreadErrorMode(previousMode, nullptr);
        if (handle_ == nullptr) throw DriveLibraryError("cannot load the drive library " + shown + ": " + windowsErrorText(error));
#else
        // RTLD_LOCAL keeps the library's symbols out of the panel's own
        // namespace; RTLD_NOW finds unresolved references at load, not in
        // the middle of a cycle.
        {
            const LoadFaultGuard guard(shown);
            handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
        }
        if (handle_ == nullptr)
            throw DriveLibraryError("cannot load the drive library " + shown + ": " + withoutFileName(dlerrorText(), fileName));
#endif
    }

    SharedObject(const SharedObject &) = delete;
    SharedObject &operator=(const SharedObject &) = delete;

    // Never unloaded: the library stays loaded until the process ends, since
    // it may keep threads or exit handlers of its own that must not outlive
    // its code.
    ~SharedObject() = default;

    void *symbol(const std::string &fileName, const char *name) const {
#if defined(_WIN32)
        const std::vector<std::string> names = exportNames(name);
        for (const std::string &exported : names) {
            if (const FARPROC address = GetProcAddress(handle_, exported.c_str())) return reinterpret_cast<void *>(address);
        }
        const std::string reason = windowsErrorText(GetLastError());
        std::string tried = names.front();
        for (std::size_t i = 1; i < names.size(); ++i) tried += (i + 1 == names.size() ? " or " : ", ") + names[i];
        throw missingEntryPoint(fileName, name, "not exported as " + tried + ": " + reason);
#else
        dlerror();  // a symbol's value may legitimately be null: check dlerror
        void *address = dlsym(handle_, name);
        if (const char *error = dlerror()) {
            const std::string reason = error;  // the loader's next call frees it
            throw missingEntryPoint(fileName, name, withoutFileName(reason, path()));
        }
        if (address == nullptr) throw missingEntryPoint(fileName, name, "the symbol's address is null");
        return address;
#endif
    }

    // The file the system loader loaded, as a full path.
    std::string path() const {
#if defined(_WIN32)
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(handle_, path, MAX_PATH);
        return length > 0 && length < MAX_PATH ? std::string(path, length) : std::string();
#else
        link_map *map = nullptr;
        if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr) return {};
        char full[PATH_MAX];
        return ::realpath(map->l_name, full) != nullptr ? full : map->l_name;
#endif
    }

private:
    static DriveLibraryError missingEntryPoint(const std::string &fileName, const char *name, const std::string &reason) {
        return DriveLibraryError(std::string("the drive library ") + fileName + " has no entry point " + name + ": " + reason);
    }

#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    static std::string dlerrorText() {
        const char *error = dlerror();
        return error != nullptr ? error : "unknown reason";
    }
    // The loader's text starts with the file's name, which the message
    // already gives.
    static std::string withoutFileName(std::string text, const std::string &fileName) {
        if (const std::string prefix = fileName + ": "; text.starts_with(prefix)) text.erase(0, prefix.size());
        return text;
    }
    void *handle_ = nullptr;
#endif
};

// A NUL-filled buffer of N bytes with one more NUL after its end, so a
// library that fills all N bytes still leaves a terminated string, and a
// guard pattern behind that NUL.
template <std::size_t N>
struct LentBuffer {
    static constexpr std::size_t kGuard = 15;
    static constexpr char kGuardByte = static_cast<char>(0xA5);
    std::array<char, N + 1 + kGuard> bytes{};

    LentBuffer() { fresh(); }
    char *data() { return bytes.data(); }
    std::span<const char> contents() const { return {bytes.data(), N}; }
    void fresh() {
        std::fill(bytes.begin(), bytes.begin() + N + 1, '\0');
        std::fill(bytes.begin() + N + 1, bytes.end(), kGuardByte);
    }
    bool intact() const {
        return bytes[N] == '\0' && std::all_of(bytes.begin() + N + 1, bytes.end(), [](char c) { return c == kGuardByte; });
    }
};

int64_t ticksNow() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// The full path of a loaded library: a path given stays as given (made
// absolute on POSIX; on Windows, where wine gives a Linux path a drive
// letter, as the user wrote it); a bare name becomes the file the loader's
// search found.
std::string fullPath(const std::string &fileName, const SharedObject &object) {
#if defined(_WIN32)
    if (fileName.find_first_of("/\\") != std::string::npos) return fileName;
#else
    if (fileName.find('/') != std::string::npos) return std::filesystem::absolute(fileName).lexically_normal().string();
#endif
    const std::string found = object.path();
    return found.empty() ? fileName : found;
}

}  // namespace

#if !defined(_WIN32)
void setLoadFaultReport(LoadFaultReport report) { g_loadFaultReport = report != nullptr ? report : &reportLoadFaultOnStderr; }

void setLoadFaultExit(const std::string &programName, int exitStatus) {
    g_loadFaultProgram = programName + ": ";
    g_loadFaultStatus = exitStatus;
}
#else
// LoadLibrary reports a damaged file as an error; nothing faults.
void setLoadFaultReport(LoadFaultReport) {}
void setLoadFaultExit(const std::string &, int) {}
#endif

LibraryActivity &libraryActivity() {
    static LibraryActivity activity;
    return activity;
}

struct DriveLibrary::Impl {
    std::unique_ptr<SharedObject> library;
    InitialiseFn initialise = nullptr;
    TerminateFn terminate = nullptr;
    DownloadFn download = nullptr;
    UploadFn upload = nullptr;
    // A failed load, or a buffer written past: the library is never called again.
    std::optional<DriveLibraryError> failure;
    LentBuffer<kTitleSize> title;
    LentBuffer<kLineSize> line1;
    LentBuffer<kLineSize> line2;
    long cycle = 0;

    SharedObject &loaded(const std::string &fileName, const std::string &shown) {
        if (failure) throw *failure;
        if (!library) {
            try {
                library = std::make_unique<SharedObject>(fileName, shown);
            } catch (const DriveLibraryError &error) {
                failure = error;
                throw;
            }
        }
        return *library;
    }

    template <typename Fn>
    Fn entry(Fn &cached, DriveLibrary &drive, const char *name) {
        if (failure) throw *failure;
        if (cached == nullptr) {
            const bool first = !library;
            SharedObject &object = loaded(drive.fileName_, drive.shownName_);
            if (first && !drive.named_) drive.shownName_ = fullPath(drive.fileName_, object);
            cached = reinterpret_cast<Fn>(object.symbol(drive.shownName_, name));
        }
        return cached;
    }

    // The first buffer the library wrote past, if any.
    const char *overrun() const {
        if (!title.intact()) return "the title";
        if (!line1.intact()) return "line 1";
        if (!line2.intact()) return "line 2";
        return nullptr;
    }
};

DriveLibrary::DriveLibrary(std::string fileName, std::string shownName)
    : fileName_(std::move(fileName)), named_(!shownName.empty()),
      shownName_(named_ ? std::move(shownName) : fileName_), impl_(std::make_unique<Impl>()) {}

DriveLibrary::~DriveLibrary() = default;

// Once loaded, the library is named by its full path.
std::string DriveLibrary::loadedFile() const { return impl_->library ? shownName_ : std::string(); }

// The call, the library's load and the entry point's lookup included, is
// under way for reports from elsewhere while it runs; after it the buffers'
// guards are checked.
template <typename Fn, typename Invoke>
void DriveLibrary::call(wire::Call which, Fn &cached, const char *name, Invoke &&invoke) {
    LibraryActivity &activity = libraryActivity();
    activity.cycle = impl_->cycle;
    activity.since = ticksNow();
    activity.call = which;
    struct Done {
        LibraryActivity &activity;
        ~Done() { activity.call = wire::Call::none; }
    } done{activity};
    invoke(impl_->entry(cached, *this, name));
    if (const char *buffer = impl_->overrun()) {
        const std::string entry(wire::entryPointName(which));
        impl_->failure = DriveLibraryError("the drive library " + shownName_ + " failed in " + entry + cycleNote(which) + ": " +
                                           entry + " wrote past the end of " + buffer +
                                           ", so its memory can no longer be trusted");
        throw *impl_->failure;
    }
}

std::string DriveLibrary::cycleNote(wire::Call which) const {
    if (which == wire::Call::initialise || which == wire::Call::terminate) return {};
    return ", in exchange cycle " + std::to_string(impl_->cycle);
}

void DriveLibrary::load() {
    call(wire::Call::initialise, impl_->initialise, "opstat_initialise", [](auto) {});
}

std::span<const char> DriveLibrary::initialiseBytes(int32_t station) {
    impl_->title.fresh();
    call(wire::Call::initialise, impl_->initialise, "opstat_initialise", [&](auto fn) { fn(station, impl_->title.data()); });
    return impl_->title.contents();
}

Text DriveLibrary::initialise(int32_t station) {
    const std::span<const char> title = initialiseBytes(station);
    return decodeAnsi(title.data(), title.size());
}

void DriveLibrary::terminate(int32_t station) {
    call(wire::Call::terminate, impl_->terminate, "opstat_terminate", [&](auto fn) { fn(station); });
}

void DriveLibrary::download(const DownloadKeys &k) {
    ++impl_->cycle;
    call(wire::Call::download, impl_->download, "opstat_download",
         [&](auto fn) { fn(k[0], k[1], k[2], k[3], k[4], k[5], k[6], k[7], k[8], k[9]); });
}

// The entry point returns a 16-bit value: only the low 16 bits of the
// return register count, whatever the library left in the rest.
DriveLibrary::UploadBytes DriveLibrary::uploadBytes(const UploadLedWords &w) {
    impl_->line1.fresh();
    impl_->line2.fresh();
    char *line1 = impl_->line1.data();
    char *line2 = impl_->line2.data();
    int16_t result = 0;
    call(wire::Call::upload, impl_->upload, "opstat_upload", [&](auto fn) {
        result = fn(w[0], w[1], w[2], w[3], w[4], w[5], w[6], w[7], w[8], w[9], w[10], w[11], w[12], w[13], line1, line2);
    });
    return {result, impl_->line1.contents(), impl_->line2.contents()};
}

UploadResult DriveLibrary::upload(const UploadLedWords &leds) {
    const UploadBytes bytes = uploadBytes(leds);
    UploadResult result;
    result.result = bytes.result;
    decodeAnsi(bytes.line1.data(), kLineSize, result.line1.data());
    decodeAnsi(bytes.line2.data(), kLineSize, result.line2.data());
    return result;
}

}  // namespace opstation
