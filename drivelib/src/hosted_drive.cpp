#include "opstation/hosted_drive.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "opstation/ansi_codepage.h"

namespace opstation {

using std::chrono::milliseconds;
using std::chrono::steady_clock;
using wire::Call;
using wire::Kind;

// A successful answer's payload: at most a title's 128 bytes.
struct HostedDrive::Answer {
    std::array<uint8_t, wire::kTitleBytes> bytes{};
    std::size_t size = 0;
    wire::PayloadReader reader() const { return wire::PayloadReader({bytes.data(), size}); }
};

namespace {

// The answer that each request expects, and its exact payload size.
struct Expected {
    Kind request;
    Kind answer;
    std::size_t size;
};
constexpr std::array kExpected = {
    Expected{Kind::initialise, Kind::title, wire::kTitleBytes},
    Expected{Kind::terminate, Kind::done, 0},
    Expected{Kind::download, Kind::done, 0},
    Expected{Kind::upload, Kind::uploaded, wire::kUploadedSize},
    Expected{Kind::exchange, Kind::uploaded, wire::kUploadedSize},
};

const Expected &expectedFor(Kind request) {
    return *std::find_if(kExpected.begin(), kExpected.end(), [&](const Expected &e) { return e.request == request; });
}

std::string seconds(milliseconds duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(duration.count()) / 1000.0);
    return text;
}

// Text from the host goes into messages on a terminal and in a box: no
// control characters.
std::string printable(std::string text) {
    for (char &c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

void putLedWords(wire::FrameWriter &frame, const UploadLedWords &leds) {
    for (int16_t *word : leds) frame.i16(*word);
}

// Lines come back as the library left them: 20 bytes each, decoded.
void takeLine(wire::PayloadReader &in, Line &line) {
    std::array<char, kLineSize> bytes{};
    in.bytes(bytes.data(), kLineSize);
    decodeAnsi(bytes.data(), kLineSize, line.data());
}

}  // namespace

HostedDrive::HostedDrive(std::string libraryFile, std::unique_ptr<HostTransport> transport, HostLimits limits)
    : fileName_(std::move(libraryFile)), transport_(std::move(transport)), limits_(limits) {}

HostedDrive::~HostedDrive() = default;

Text HostedDrive::initialise(int32_t station) {
    wire::FrameWriter request(Kind::initialise, Call::initialise);
    request.i32(station);
    const Answer answer = roundTrip(Call::initialise, Kind::initialise, request, limits_.initialise);
    std::array<char, kTitleSize> title{};
    answer.reader().bytes(title.data(), kTitleSize);
    return decodeAnsi(title.data(), kTitleSize);
}

void HostedDrive::terminate(int32_t station) {
    wire::FrameWriter request(Kind::terminate, Call::terminate);
    request.i32(station);
    roundTrip(Call::terminate, Kind::terminate, request, limits_.terminate);
}

void HostedDrive::download(const DownloadKeys &keys) {
    ++cycles_;
    wire::FrameWriter request(Kind::download, Call::download);
    for (int16_t key : keys) request.i16(key);
    roundTrip(Call::download, Kind::download, request, limits_.cycle);
}

UploadResult HostedDrive::upload(const UploadLedWords &leds) {
    wire::FrameWriter request(Kind::upload, Call::upload);
    putLedWords(request, leds);
    return uploaded(roundTrip(Call::upload, Kind::upload, request, limits_.cycle), leds);
}

// One request, two answers: the download's as soon as it returned, so that
// whatever happens next is known to have happened in opstat_upload.
UploadResult HostedDrive::exchange(const DownloadKeys &keys, const UploadLedWords &leds) {
    ++cycles_;
    wire::FrameWriter request(Kind::exchange, Call::download);
    for (int16_t key : keys) request.i16(key);
    putLedWords(request, leds);
    roundTrip(Call::download, Kind::download, request, limits_.cycle);
    return uploaded(await(Call::upload, Kind::upload, limits_.cycle), leds);
}

// The LED words come back as the library left them, the words it did not
// write included, and replace the program's own.
UploadResult HostedDrive::uploaded(const Answer &answer, const UploadLedWords &leds) {
    wire::PayloadReader in = answer.reader();
    UploadResult result;
    result.result = in.i16();
    for (int16_t *word : leds) *word = in.i16();
    takeLine(in, result.line1);
    takeLine(in, result.line2);
    return result;
}

void HostedDrive::start() noexcept {
    try {
        ensureStarted();
    } catch (const DriveLibraryError &) {
        // kept in failure_, and thrown by the first call
    }
}

void HostedDrive::ensureStarted() {
    if (started_) return;
    started_ = true;
    try {
        transport_->start();
    } catch (const HostStartError &error) {
        fail("cannot start the drive host " + transport_->program() + " for the drive library " + name() + ": " +
             error.what());
    } catch (const DriveLibraryError &error) {
        fail(error.what());
    }
    startedAt_ = steady_clock::now();
}

HostedDrive::Answer HostedDrive::roundTrip(Call call, Kind request, const wire::FrameWriter &frame, milliseconds limit) {
    if (failure_) throw *failure_;
    ensureStarted();
    // A host that is gone cannot be written to; what it said before it went
    // (a crash report, say) is still read below.
    transport_->send(frame.frame());
    return await(call, request, limit);
}

HostedDrive::Answer HostedDrive::await(Call call, Kind request, milliseconds limit) {
    const Expected &expected = expectedFor(request);
    // Until the host says hello, it is still starting: the call's own limit
    // runs from then on.
    auto deadline = helloSeen_ ? steady_clock::now() + limit : startedAt_ + limits_.start;
    std::optional<steady_clock::time_point> closing;
    for (;;) {
        std::optional<wire::Frame> frame;
        try {
            frame = frames_.next();
        } catch (const wire::ProtocolError &error) {
            fail("the drive host " + transport_->program() + " for the drive library " + name() + " sent " +
                 error.what() + " in answer to " + entry(call) + cycleNote(call));
        }
        if (frame) {
            const Call named = frame->call != Call::none ? frame->call : call;
            const std::size_t size = frame->payload.size();
            wire::PayloadReader in(frame->payload);
            switch (frame->kind) {
            case Kind::hello:
                if (helloSeen_ || size != 4) break;
                helloSeen_ = true;
                deadline = steady_clock::now() + limit;
                if (const uint32_t version = in.u32(); version != wire::kProtocolVersion)
                    fail("the drive host " + transport_->program() + " for the drive library " + name() +
                         " speaks protocol version " + std::to_string(version) + ", not " +
                         std::to_string(wire::kProtocolVersion) + " (at " + entry(call) + ")");
                continue;
            case Kind::loaded:
                if (!helloSeen_ || call != Call::initialise) break;
                loadedFile_ = printable(in.rest());
                continue;
            case Kind::failed:
                if (!helloSeen_) break;
                fail(namingTheLibrary(printable(in.rest())));
            case Kind::crashed:
                if (!helloSeen_ || size < 4) break;
                in.u32();
                hostEnded(named, printable(in.rest()));
            case Kind::exited:
                if (!helloSeen_) break;
                hostEnded(named, std::nullopt);
            default:
                if (!helloSeen_ || frame->kind != expected.answer || size != expected.size) break;
                Answer answer;
                std::copy(frame->payload.begin(), frame->payload.end(), answer.bytes.begin());
                answer.size = size;
                return answer;
            }
            fail("the drive host " + transport_->program() + " for the drive library " + name() +
                 " sent a frame of kind " + std::to_string(static_cast<int>(frame->kind)) + " and " +
                 std::to_string(size) + " bytes, which is no answer to " + entry(call) + cycleNote(call));
        }
        const auto until = closing ? std::min(deadline, *closing + limits_.grace) : deadline;
        switch (transport_->receive(frames_, until, !closing)) {
        case HostTransport::Arrival::bytes:
            break;
        case HostTransport::Arrival::end:
            hostEnded(call, std::nullopt);
        case HostTransport::Arrival::interrupted:
            closing = steady_clock::now();
            break;
        case HostTransport::Arrival::timeout:
            transport_->stop();
            if (closing) {
                failure_ = DriveLibraryError("the drive library " + name() + " was stopped in " + entry(call) +
                                             cycleNote(call) + ": the program was asked to close before the call returned");
                throw DriveInterrupted(failure_->what());
            }
            if (!helloSeen_)
                fail("the drive host " + transport_->program() + " for the drive library " + name() +
                     " did not start within " + seconds(limits_.start) + "; it was stopped");
            fail("the drive library " + name() + " hung in " + entry(call) + ": no return within " + seconds(limit) +
                 cycleNote(call) + "; its host process was stopped");
        }
    }
}

// The host is ending: a crash report (`cause`), an exit in the middle of a
// call, or its output simply ended. How it ended tells the rest.
void HostedDrive::hostEnded(Call call, std::optional<std::string> cause) {
    const HostEnding ending = transport_->ending();
    if (!helloSeen_)
        fail("the drive host " + transport_->program() + " for the drive library " + name() + " ended before it started: " +
             ending.text);
    const std::string library = "the drive library " + name();
    const std::string in = entry(call);
    const std::string note = cycleNote(call);
    if (cause && !cause->empty()) fail(library + " crashed in " + in + ": " + *cause + note);
    switch (ending.how) {
    case HostEnding::How::signal:
        fail(library + " crashed in " + in + ": " + ending.text + note);
    case HostEnding::How::exit:
        fail(library + " ended its process in " + in + " with " + ending.text + note + ", which counts as a failure");
    case HostEnding::How::unknown:
        break;
    }
    fail("the drive host " + transport_->program() + " for the drive library " + name() + " stopped answering in " +
         in + note + ": " + ending.text);
}

void HostedDrive::fail(std::string message) {
    transport_->stop();
    failure_ = DriveLibraryError(std::move(message));
    throw *failure_;
}

// The host's own messages name the library file, as it was given or as it
// was loaded; one that names neither gets the file put in front.
std::string HostedDrive::namingTheLibrary(std::string message) const {
    if (message.find(fileName_) != std::string::npos || message.find(name()) != std::string::npos) return message;
    return "the drive library " + name() + ": " + message;
}

// Once loaded, the library is named by the file the loader found.
const std::string &HostedDrive::name() const { return loadedFile_.empty() ? fileName_ : loadedFile_; }

std::string HostedDrive::entry(Call call) { return std::string(wire::entryPointName(call)); }

// Which cycle a call of the exchange cycle belonged to.
std::string HostedDrive::cycleNote(Call call) const {
    if (call == Call::initialise || call == Call::terminate) return {};
    return ", in exchange cycle " + std::to_string(cycles_);
}

}  // namespace opstation
