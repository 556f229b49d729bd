// The drive library in a helper process of ours, the drive host: a crash,
// a hang or an exit of the library ends the host, never the panel, and is
// reported like any other failure of the library. The calls, their order,
// arguments, buffers and results are those of DriveLibrary: the host loads
// the library through it (same file name, same library search) and makes
// the calls; this side sends one request per call, and one round trip per
// exchange cycle.
//
// Every failure throws DriveLibraryError naming the library file, the entry
// point and the cause; after one, the library is never called again and
// later calls throw the same error.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "opstation/drive_library.h"
#include "opstation/drive_link.h"
#include "opstation/host_protocol.h"

namespace opstation {

// Thrown when a call was given up because the program was asked to close
// (a signal) while the library had not answered.
class DriveInterrupted : public DriveLibraryError {
public:
    using DriveLibraryError::DriveLibraryError;
};

// How long a call may take before the host counts as hung and is stopped.
// The host's start (for a Windows library: wine's) has a limit of its own,
// from the moment it is started until it says hello.
struct HostLimits {
    std::chrono::milliseconds start{90'000};
    std::chrono::milliseconds initialise{30'000};
    std::chrono::milliseconds cycle{3'000};  // download, upload, or both
    std::chrono::milliseconds terminate{5'000};
    // After the program is asked to close, a call still running gets this
    // long to finish before it is given up.
    std::chrono::milliseconds grace{1'000};
};

// The host program could not be started at all: the cause alone
// ("No such file or directory"); the client names the host and the library.
class HostStartError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How a host process ended.
struct HostEnding {
    enum class How { signal, exit, unknown };
    How how = How::unknown;
    std::string text;  // "Segmentation fault (signal 11)", "exit status 0", or what is known
    int code = 0;      // the exit status or the signal number
};

// The way to the host: a child process on this machine, or a double.
class HostTransport {
public:
    enum class Arrival { bytes, end, timeout, interrupted };
    using Deadline = std::chrono::steady_clock::time_point;

    virtual ~HostTransport() = default;
    // Starts the host. Throws HostStartError when the host program cannot
    // be started, or DriveLibraryError with a whole message when the
    // library cannot run at all (a Windows DLL without wine, say).
    virtual void start() = 0;
    // False when the host can no longer be written to.
    virtual bool send(std::span<const uint8_t> frame) = 0;
    // Waits until bytes arrive (fed into `frames`), the host's output ends,
    // the deadline passes or, when `closing` is watched, the program is
    // asked to close.
    virtual Arrival receive(wire::FrameReader &frames, Deadline deadline, bool watchClosing) = 0;
    // After `end`: how the host ended. Waits a bounded time for it, then
    // stops the host.
    virtual HostEnding ending() = 0;
    // Ends the host at once and reaps it.
    virtual void stop() = 0;
    // The host program, for messages about the host itself.
    virtual std::string program() const = 0;
};

class HostedDrive final : public DriveLink {
public:
    HostedDrive(std::string libraryFile, std::unique_ptr<HostTransport> transport, HostLimits limits = {});
    ~HostedDrive() override;
    HostedDrive(const HostedDrive &) = delete;
    HostedDrive &operator=(const HostedDrive &) = delete;

    const std::string &fileName() const { return fileName_; }
    std::string loadedFile() const override { return loadedFile_; }

    // Starts the drive host now rather than at the first call, so that its
    // start overlaps the program's own; the library is still loaded at the
    // first call. A host that cannot be started fails that first call.
    void start() noexcept;
    // Exchange cycles started so far (download calls, on their own or in an exchange).
    long cycles() const { return cycles_; }

    Text initialise(int32_t station) override;
    void terminate(int32_t station) override;
    void download(const DownloadKeys &keys) override;
    UploadResult upload(const UploadLedWords &leds) override;
    UploadResult exchange(const DownloadKeys &keys, const UploadLedWords &leds) override;

private:
    struct Answer;
    Answer roundTrip(wire::Call call, wire::Kind request, const wire::FrameWriter &frame, std::chrono::milliseconds limit);
    Answer await(wire::Call call, wire::Kind answer, std::chrono::milliseconds limit);
    void ensureStarted();
    UploadResult uploaded(const Answer &answer, const UploadLedWords &leds);
    [[noreturn]] void fail(std::string message);
    [[noreturn]] void hostEnded(wire::Call call, std::optional<std::string> cause);
    static std::string entry(wire::Call call);
    std::string namingTheLibrary(std::string message) const;
    const std::string &name() const;
    std::string cycleNote(wire::Call call) const;

    std::string fileName_;
    std::string loadedFile_;  // as the host's loader found it
    std::unique_ptr<HostTransport> transport_;
    HostLimits limits_;
    wire::FrameReader frames_;
    bool started_ = false;
    std::chrono::steady_clock::time_point startedAt_{};
    bool helloSeen_ = false;
    long cycles_ = 0;
    std::optional<DriveLibraryError> failure_;
};

}  // namespace opstation
