// A drive host that says exactly the bytes it is given, in pieces of a
// given size, then falls silent (a hang) or goes away (the end of its
// output): for reading answers the real host would never send.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "opstation/hosted_drive.h"

namespace opstation::test {

class ScriptedHost final : public HostTransport {
public:
    enum class Then { hang, end };

    ScriptedHost(std::vector<uint8_t> says, std::size_t piece, Then then)
        : says_(std::move(says)), piece_(std::max<std::size_t>(piece, 1)), then_(then) {}

    void start() override {}
    bool send(std::span<const uint8_t> frame) override {
        sent.emplace_back(frame.begin(), frame.end());
        return true;
    }
    Arrival receive(wire::FrameReader &frames, Deadline, bool) override {
        if (at_ < says_.size()) {
            const std::span<uint8_t> space = frames.space();
            const std::size_t count = std::min({piece_, says_.size() - at_, space.size()});
            if (count > 0) {
                std::copy_n(says_.begin() + static_cast<std::ptrdiff_t>(at_), count, space.begin());
                frames.received(count);
                at_ += count;
                return Arrival::bytes;
            }
        }
        return then_ == Then::hang ? Arrival::timeout : Arrival::end;
    }
    HostEnding ending() override { return {HostEnding::How::unknown, "it went away"}; }
    void stop() override { ++stops; }
    std::string program() const override { return "scripted-host"; }

    std::vector<std::vector<uint8_t>> sent;
    int stops = 0;

private:
    std::vector<uint8_t> says_;
    std::size_t at_ = 0;
    std::size_t piece_;
    Then then_;
};

// The bytes of one frame.
inline std::vector<uint8_t> frameBytes(const wire::FrameWriter &frame) {
    const auto bytes = frame.frame();
    return {bytes.begin(), bytes.end()};
}

inline std::vector<uint8_t> helloBytes(uint32_t version = wire::kProtocolVersion) {
    return frameBytes(wire::FrameWriter(wire::Kind::hello, wire::Call::none).u32(version));
}

}  // namespace opstation::test
