// The real drive library: loaded by file name at the first call, each entry
// point looked up by name at its own first call and cached. Nothing is
// retried: a library that cannot be loaded, or a missing entry point, throws
// DriveLibraryError at that call, naming the file or the entry point and the
// platform's reason.
//
// The buffers it lends are those the panel lends: NUL-filled, one more NUL
// after each, and behind that NUL a guard. After every call the guards are
// checked: a library that wrote past a buffer fails that call (its memory
// can no longer be trusted) and is never called again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

#include "opstation/drive_link.h"
#include "opstation/host_protocol.h"

namespace opstation {

class DriveLibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The file name under which the panel looks for its drive library.
#if defined(_WIN32)
inline constexpr const char *kDefaultDriveLibrary = "drive.dll";
#else
inline constexpr const char *kDefaultDriveLibrary = "libdrive.so";
#endif

// A library file cut short can make the system loader fault inside the
// load, where nothing can go on. By default the process then writes
// "<program>: cannot load the drive library <file>: the file is damaged or
// cut short ..." on stderr and exits with exitStatus; the panel's are
// "op-station" and 1, and another program sets its own before its first
// load.
void setLoadFaultExit(const std::string &programName, int exitStatus);

// Or the message goes elsewhere (a drive host sends it to the panel). The
// report is called from a signal handler inside the loader, so it may only
// use async-signal-safe calls; the process ends after it.
using LoadFaultReport = void (*)(const char *message, std::size_t size);
void setLoadFaultReport(LoadFaultReport report);

// What the drive library of this process is doing: the entry point under
// way, the exchange cycle (its opstat_download calls so far) and since when
// (steady clock ticks). Lock-free, so that a signal handler or a watchdog
// thread can report a crash, an exit() or a hang in a call by name.
struct LibraryActivity {
    std::atomic<wire::Call> call{wire::Call::none};
    std::atomic<long> cycle{0};
    std::atomic<int64_t> since{0};
};
LibraryActivity &libraryActivity();

class DriveLibrary final : public DriveLink {
public:
    // fileName without a slash is found by the platform's library search;
    // with a slash it is opened as that path. Messages name the library as
    // shownName (a drive host run by wine is given the Windows path of a
    // file its user knows by the Linux one); by default as the file name,
    // and once loaded by its full path: a path given made absolute, or
    // the file the loader's search found for a bare name.
    explicit DriveLibrary(std::string fileName = kDefaultDriveLibrary, std::string shownName = {});
    ~DriveLibrary() override;
    DriveLibrary(const DriveLibrary &) = delete;
    DriveLibrary &operator=(const DriveLibrary &) = delete;

    const std::string &fileName() const { return fileName_; }
    const std::string &shownName() const { return shownName_; }
    // Loads the library and finds opstat_initialise, as the first call
    // would; the later calls do so themselves.
    void load();
    // The file loaded, as a full path (its name, when given one); empty before.
    std::string loadedFile() const override;

    Text initialise(int32_t station) override;
    void terminate(int32_t station) override;
    void download(const DownloadKeys &keys) override;
    UploadResult upload(const UploadLedWords &leds) override;

    // The same calls with the bytes as the library left them, undecoded (a
    // drive host passes them on); valid until the next call.
    std::span<const char> initialiseBytes(int32_t station);
    struct UploadBytes {
        int16_t result;
        std::span<const char> line1, line2;
    };
    UploadBytes uploadBytes(const UploadLedWords &leds);

private:
    struct Impl;
    template <typename Fn, typename Invoke>
    void call(wire::Call which, Fn &cached, const char *name, Invoke &&invoke);
    std::string cycleNote(wire::Call which) const;

    std::string fileName_;
    bool named_;
    std::string shownName_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace opstation
