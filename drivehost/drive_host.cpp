#include "drive_host.h"

#include <algorithm>

#include "opstation/platform/host_channel.h"

namespace opstation::host {

using wire::Call;
using wire::Kind;

namespace {
constexpr char kGuardByte = static_cast<char>(0xA5);
}

template <std::size_t N>
void DriveHost::Guarded<N>::fresh() {
    std::fill(bytes.begin(), bytes.begin() + N + 1, '\0');
    std::fill(bytes.begin() + N + 1, bytes.end(), kGuardByte);
}

template <std::size_t N>
bool DriveHost::Guarded<N>::intact() const {
    return bytes[N] == '\0' && std::all_of(bytes.begin() + N + 1, bytes.end(), [](char c) { return c == kGuardByte; });
}

const std::array<DriveHost::Handler, 5> DriveHost::kHandlers = {{
    {Kind::initialise, &DriveHost::initialise},
    {Kind::terminate, &DriveHost::terminate},
    {Kind::download, &DriveHost::download},
    {Kind::upload, &DriveHost::upload},
    {Kind::exchange, &DriveHost::exchange},
}};

DriveHost::DriveHost(DriveLibrary &library, Send send) : library_(library), send_(std::move(send)) {
    for (std::size_t i = 0; i < leds_.size(); ++i) lent_[i] = &leds_[i];
    title_.fresh();
    line1_.fresh();
    line2_.fresh();
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

template <typename Call_>
void DriveHost::call(Call which, Call_ &&library) {
    current_ = which;
    const platform::CallInProgress inProgress(which);
    library();
}

wire::FrameWriter DriveHost::initialise(wire::PayloadReader &in) {
    const int32_t station = in.i32();
    in.end();
    title_.fresh();
    call(Call::initialise, [&] { library_.initialiseInto(station, title_.data()); });
    if (const char *buffer = overrun()) return overran(buffer);
    return wire::FrameWriter(Kind::title, Call::initialise).bytes(title_.data(), wire::kTitleBytes);
}

wire::FrameWriter DriveHost::terminate(wire::PayloadReader &in) {
    const int32_t station = in.i32();
    in.end();
    call(Call::terminate, [&] { library_.terminate(station); });
    if (const char *buffer = overrun()) return overran(buffer);
    return wire::FrameWriter(Kind::done, Call::terminate);
}

wire::FrameWriter DriveHost::download(wire::PayloadReader &in) {
    callDownload(in);
    in.end();
    if (const char *buffer = overrun()) return overran(buffer);
    return wire::FrameWriter(Kind::done, Call::download);
}

wire::FrameWriter DriveHost::upload(wire::PayloadReader &in) { return callUpload(in); }

wire::FrameWriter DriveHost::exchange(wire::PayloadReader &in) {
    callDownload(in);
    if (const char *buffer = overrun()) return overran(buffer);
    send_(wire::FrameWriter(Kind::done, Call::download).frame());
    return callUpload(in);
}

void DriveHost::callDownload(wire::PayloadReader &in) {
    DownloadKeys keys{};
    for (int16_t &key : keys) key = in.i16();
    call(Call::download, [&] { library_.download(keys); });
}

// The panel's LED words come in with the request, so words the library does
// not write go back as they were.
wire::FrameWriter DriveHost::callUpload(wire::PayloadReader &in) {
    for (int16_t &word : leds_) word = in.i16();
    in.end();
    line1_.fresh();
    line2_.fresh();
    int16_t result = 0;
    call(Call::upload, [&] { result = library_.uploadInto(lent_, line1_.data(), line2_.data()); });
    if (const char *buffer = overrun()) return overran(buffer);
    wire::FrameWriter answer(Kind::uploaded, Call::upload);
    answer.i16(result);
    for (int16_t word : leds_) answer.i16(word);
    answer.bytes(line1_.data(), wire::kLineBytes).bytes(line2_.data(), wire::kLineBytes);
    return answer;
}

const char *DriveHost::overrun() {
    if (!title_.intact()) return "the title";
    if (!line1_.intact()) return "line 1";
    if (!line2_.intact()) return "line 2";
    return nullptr;
}

wire::FrameWriter DriveHost::overran(const char *buffer) {
    return wire::FrameWriter(Kind::overran, current_).text(buffer);
}

}  // namespace opstation::host
