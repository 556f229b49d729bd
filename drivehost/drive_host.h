// The drive host's side of the conversation: each request becomes the
// library call it names, made through DriveLibrary (which lends the buffers
// and checks their guards), on LED words that the host lends, and the
// answer carries back what the library left. The fourteen LED words keep
// the same addresses for the host's whole life.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>

#include "opstation/drive_library.h"
#include "opstation/host_protocol.h"

namespace opstation::host {

class DriveHost {
public:
    // Where frames go that leave before the last answer to a request.
    using Send = std::function<bool(std::span<const uint8_t>)>;

    DriveHost(DriveLibrary &library, Send send);

    // The last answer to a request. Throws wire::ProtocolError for a
    // request that is not one.
    wire::FrameWriter answer(const wire::Frame &request);

private:
    wire::FrameWriter initialise(wire::PayloadReader &in);
    wire::FrameWriter terminate(wire::PayloadReader &in);
    wire::FrameWriter download(wire::PayloadReader &in);
    wire::FrameWriter upload(wire::PayloadReader &in);
    wire::FrameWriter exchange(wire::PayloadReader &in);

    void callDownload(wire::PayloadReader &in);
    wire::FrameWriter callUpload(wire::PayloadReader &in);

    struct Handler {
        wire::Kind request;
        wire::FrameWriter (DriveHost::*run)(wire::PayloadReader &);
    };
    static const std::array<Handler, 5> kHandlers;

    DriveLibrary &library_;
    Send send_;
    std::array<int16_t, wire::kLedWordCount> leds_{};
    UploadLedWords lent_{};
    wire::Call current_ = wire::Call::none;  // the call a failure belongs to
};

}  // namespace opstation::host
