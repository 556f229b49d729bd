// The drive host's side of the conversation: each request becomes the
// library call it names, made through DriveLibrary on buffers and LED words
// that the host lends, and the answer carries back what the library left.
//
// The buffers are those a library sees in the panel, NUL-filled with one
// more NUL after each, and behind that NUL a guard; after every call the
// guards are checked, and a library that wrote past a buffer is reported:
// its memory can no longer be trusted. The fourteen LED words keep the same
// addresses for the host's whole life.
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
    // N bytes, the NUL after them, then a guard pattern.
    template <std::size_t N>
    struct Guarded {
        static constexpr std::size_t kGuard = 15;
        std::array<char, N + 1 + kGuard> bytes{};
        char *data() { return bytes.data(); }
        void fresh();
        bool intact() const;
    };

    wire::FrameWriter initialise(wire::PayloadReader &in);
    wire::FrameWriter terminate(wire::PayloadReader &in);
    wire::FrameWriter download(wire::PayloadReader &in);
    wire::FrameWriter upload(wire::PayloadReader &in);
    wire::FrameWriter exchange(wire::PayloadReader &in);

    void callDownload(wire::PayloadReader &in);
    wire::FrameWriter callUpload(wire::PayloadReader &in);
    template <typename Library>
    void call(wire::Call which, Library &&library);
    // The first buffer the library wrote past, if any.
    const char *overrun();
    wire::FrameWriter overran(const char *buffer);

    struct Handler {
        wire::Kind request;
        wire::FrameWriter (DriveHost::*run)(wire::PayloadReader &);
    };
    static const std::array<Handler, 5> kHandlers;

    DriveLibrary &library_;
    Send send_;
    Guarded<wire::kTitleBytes> title_;
    Guarded<wire::kLineBytes> line1_;
    Guarded<wire::kLineBytes> line2_;
    std::array<int16_t, wire::kLedWordCount> leds_{};
    UploadLedWords lent_{};
    wire::Call current_ = wire::Call::none;
};

}  // namespace opstation::host
