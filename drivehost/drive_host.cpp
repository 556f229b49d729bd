#include "drive_host.h"

#include <algorithm>

namespace opstation::host {

using wire::Call;
using wire::Kind;

const std::array<DriveHost::Handler, 5> DriveHost::kHandlers = {{
    {Kind::initialise, &DriveHost::initialise},
    {Kind::terminate, &DriveHost::terminate},
    {Kind::download, &DriveHost::download},
    {Kind::upload, &DriveHost::upload},
    {Kind::exchange, &DriveHost::exchange},
}};

DriveHost::DriveHost(DriveLibrary &library, Send send) : library_(library), send_(std::move(send)) {
    for (std::size_t i = 0; i < leds_.size(); ++i) lent_[i] = &leds_[i];
}

wire::FrameWriter DriveHost::answer(const wire::Frame &request) {
    const auto *handler = std::find_if(kHandlers.begin(), kHandlers.end(), [&](const Handler &h) { return h.request == request.kind; });
    if (handler == kHandlers.end()) throw wire::ProtocolError("a request of kind " + std::to_string(static_cast<int>(request.kind)));
    wire::PayloadReader in(request.payload);
    try {
        return (this->*handler->run)(in);
    } catch (const DriveLibraryError &error) {
        return wire::FrameWriter(Kind::failed, current_).text(error.what());
    }
}

// The file the loader loaded, so that every later message can name it, then
// the title.
wire::FrameWriter DriveHost::initialise(wire::PayloadReader &in) {
    const int32_t station = in.i32();
    in.end();
    current_ = Call::initialise;
    library_.load();
    send_(wire::FrameWriter(Kind::loaded, Call::initialise).text(library_.loadedFile()).frame());
    const std::span<const char> title = library_.initialiseBytes(station);
    return wire::FrameWriter(Kind::title, Call::initialise).bytes(title.data(), title.size());
}

wire::FrameWriter DriveHost::terminate(wire::PayloadReader &in) {
    const int32_t station = in.i32();
    in.end();
    current_ = Call::terminate;
    library_.terminate(station);
    return wire::FrameWriter(Kind::done, Call::terminate);
}

wire::FrameWriter DriveHost::download(wire::PayloadReader &in) {
    callDownload(in);
    in.end();
    return wire::FrameWriter(Kind::done, Call::download);
}

wire::FrameWriter DriveHost::upload(wire::PayloadReader &in) { return callUpload(in); }

wire::FrameWriter DriveHost::exchange(wire::PayloadReader &in) {
    callDownload(in);
    send_(wire::FrameWriter(Kind::done, Call::download).frame());
    return callUpload(in);
}

void DriveHost::callDownload(wire::PayloadReader &in) {
    DownloadKeys keys{};
    for (int16_t &key : keys) key = in.i16();
    current_ = Call::download;
    library_.download(keys);
}

// The panel's LED words come in with the request, so words the library does
// not write go back as they were.
wire::FrameWriter DriveHost::callUpload(wire::PayloadReader &in) {
    for (int16_t &word : leds_) word = in.i16();
    in.end();
    current_ = Call::upload;
    const DriveLibrary::UploadBytes bytes = library_.uploadBytes(lent_);
    wire::FrameWriter answer(Kind::uploaded, Call::upload);
    answer.i16(bytes.result);
    for (int16_t word : leds_) answer.i16(word);
    answer.bytes(bytes.line1.data(), wire::kLineBytes).bytes(bytes.line2.data(), wire::kLineBytes);
    return answer;
}

}  // namespace opstation::host
