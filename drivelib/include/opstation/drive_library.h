// The real drive library: loaded by file name at the first call, each entry
// point looked up by name at its own first call and cached. Nothing is
// retried: a library that cannot be loaded, or a missing entry point, throws
// DriveLibraryError at that call, naming the file or the entry point and the
// platform's reason.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "opstation/drive_link.h"

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

class DriveLibrary final : public DriveLink {
public:
    // fileName without a slash is found by the platform's library search;
    // with a slash it is opened as that path. Messages name the library as
    // shownName, the file name by default (a drive host run by wine is
    // given the Windows path of a file its user knows by the Unix one).
    explicit DriveLibrary(std::string fileName = kDefaultDriveLibrary, std::string shownName = {});
    ~DriveLibrary() override;
    DriveLibrary(const DriveLibrary &) = delete;
    DriveLibrary &operator=(const DriveLibrary &) = delete;

    const std::string &fileName() const { return fileName_; }
    const std::string &shownName() const { return shownName_; }

    Text initialise(int32_t station) override;
    void terminate(int32_t station) override;
    void download(const DownloadKeys &keys) override;
    UploadResult upload(const UploadLedWords &leds) override;

    // The same calls on buffers that the caller lends, undecoded: title
    // holds kTitleSize bytes and line1, line2 kLineSize bytes each, every
    // one followed by at least one more byte (the NUL a library may rely
    // on). A drive host uses them to keep guard bytes after each buffer.
    void initialiseInto(int32_t station, char *title);
    int16_t uploadInto(const UploadLedWords &leds, char *line1, char *line2);

private:
    struct Impl;
    std::string fileName_;
    std::string shownName_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace opstation
