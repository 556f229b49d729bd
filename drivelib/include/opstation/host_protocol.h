// The drive host's wire format: how the panel side (HostedDrive) and the
// drive host program, which loads the drive library in a process of its
// own, talk over the host's standard input and output. Both sides include
// this header and nothing else defines the format.
//
// Every message is a frame: an 8-byte header, then `length` bytes of
// payload. All integers are little-endian.
//
//   bytes 0-1  magic 'O' 'P'
//   byte  2    kind (Kind)
//   byte  3    the entry point the frame is about (Call)
//   bytes 4-7  payload length, at most kMaxPayload
//
// The host speaks first: `hello` with the protocol version (u32). Then the
// panel side sends one request at a time and the host answers each:
//
//   request      payload                              answer
//   initialise   station (i32)                        loaded: the file the loader loaded (UTF-8),
//                                                     then title: 128 bytes, as the library left them
//   terminate    station (i32)                        done
//   download     10 keys (i16)                        done
//   upload       14 LED words (i16)                   uploaded
//   exchange     10 keys, then 14 LED words (i16)     done for the download, then uploaded
//
//   uploaded     result (i16), the 14 LED words after the call (i16),
//                line 1 (20 bytes), line 2 (20 bytes)
//
// The exchange's first answer leaves as soon as opstat_download returns, so
// the panel side always knows which of the two calls is running.
//
// In place of an answer the host may send, naming the entry point:
//   failed       UTF-8 text: the call could not be made or went wrong (no
//                library, no entry point, a buffer written past); the
//                library is not to be called again
//   crashed      signal number or exception code (u32), then UTF-8 text:
//                the library crashed in the call and the host is ending
//   exited       the library ended the host process in the call
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace opstation::wire {

inline constexpr uint32_t kProtocolVersion = 2;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMaxPayload = 4096;
inline constexpr std::size_t kMaxText = kMaxPayload - 4;

inline constexpr uint8_t kMagic0 = 'O';
inline constexpr uint8_t kMagic1 = 'P';

enum class Kind : uint8_t {
    hello = 1,
    initialise,
    terminate,
    download,
    upload,
    exchange,
    title,
    done,
    uploaded,
    failed,
    crashed,
    exited,
    loaded,
};
inline constexpr uint8_t kLastKind = static_cast<uint8_t>(Kind::loaded);

enum class Call : uint8_t { none, initialise, terminate, download, upload };
inline constexpr uint8_t kLastCall = static_cast<uint8_t>(Call::upload);

inline constexpr std::array<std::string_view, 5> kEntryPointNames = {
    "", "opstat_initialise", "opstat_terminate", "opstat_download", "opstat_upload"};

inline std::string_view entryPointName(Call call) { return kEntryPointNames[static_cast<std::size_t>(call)]; }

inline constexpr std::size_t kKeyCount = 10;
inline constexpr std::size_t kLedWordCount = 14;
inline constexpr std::size_t kTitleBytes = 128;
inline constexpr std::size_t kLineBytes = 20;
inline constexpr std::size_t kUploadedSize = 2 + 2 * kLedWordCount + 2 * kLineBytes;

class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A frame's payload is read through this: every read is bounds-checked.
class PayloadReader {
public:
    explicit PayloadReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    uint32_t u32() {
        const auto b = take(4);
        return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    }
    int32_t i32() { return static_cast<int32_t>(u32()); }
    int16_t i16() {
        const auto b = take(2);
        return static_cast<int16_t>(uint16_t(b[0]) | uint16_t(b[1]) << 8);
    }
    void bytes(char *into, std::size_t size) {
        const auto b = take(size);
        std::memcpy(into, b.data(), size);
    }
    std::string rest() {
        const auto b = take(bytes_.size() - at_);
        return {reinterpret_cast<const char *>(b.data()), b.size()};
    }
    void end() const {
        if (at_ != bytes_.size()) throw ProtocolError("a frame longer than its contents");
    }

private:
    std::span<const uint8_t> take(std::size_t size) {
        if (bytes_.size() - at_ < size) throw ProtocolError("a frame shorter than its contents");
        const auto b = bytes_.subspan(at_, size);
        at_ += size;
        return b;
    }
    std::span<const uint8_t> bytes_;
    std::size_t at_ = 0;
};

// One whole frame, built in place and sent with one write.
class FrameWriter {
public:
    FrameWriter(Kind kind, Call call) {
        bytes_[0] = kMagic0;
        bytes_[1] = kMagic1;
        bytes_[2] = static_cast<uint8_t>(kind);
        bytes_[3] = static_cast<uint8_t>(call);
        setLength();
    }
    FrameWriter &u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) put(static_cast<uint8_t>(v >> (8 * i)));
        return setLength();
    }
    FrameWriter &i32(int32_t v) { return u32(static_cast<uint32_t>(v)); }
    FrameWriter &i16(int16_t v) {
        const auto u = static_cast<uint16_t>(v);
        put(static_cast<uint8_t>(u));
        put(static_cast<uint8_t>(u >> 8));
        return setLength();
    }
    FrameWriter &bytes(const char *from, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) put(static_cast<uint8_t>(from[i]));
        return setLength();
    }
    // Text is cut to what a frame can carry.
    FrameWriter &text(std::string_view text) { return bytes(text.data(), std::min(text.size(), kMaxText)); }

    std::span<const uint8_t> frame() const { return {bytes_.data(), size_}; }

private:
    void put(uint8_t byte) {
        if (size_ < bytes_.size()) bytes_[size_++] = byte;
    }
    FrameWriter &setLength() {
        const auto length = static_cast<uint32_t>(size_ - kHeaderSize);
        for (int i = 0; i < 4; ++i) bytes_[4 + i] = static_cast<uint8_t>(length >> (8 * i));
        return *this;
    }
    std::array<uint8_t, kHeaderSize + kMaxPayload> bytes_;  // only the written part is read
    std::size_t size_ = kHeaderSize;
};

struct Frame {
    Kind kind{};
    Call call{};
    std::span<const uint8_t> payload;  // valid until the reader is fed again
};

// Frames out of a byte stream that arrives in pieces of any size. A header
// that cannot start a well-formed frame is a ProtocolError at once, before
// any payload is awaited: a stream that has gone wrong is never waited on.
class FrameReader {
public:
    // Where a read may put bytes directly, and how many arrived there.
    std::span<uint8_t> space() {
        compact();
        return {buffer_.data() + end_, buffer_.size() - end_};
    }
    void received(std::size_t count) { end_ += count; }

    std::optional<Frame> next() {
        const std::size_t available = end_ - start_;
        if (available < kHeaderSize) return std::nullopt;
        const uint8_t *h = buffer_.data() + start_;
        if (h[0] != kMagic0 || h[1] != kMagic1) throw ProtocolError("bytes that are not a frame");
        if (h[2] == 0 || h[2] > kLastKind) throw ProtocolError("a frame of unknown kind " + std::to_string(h[2]));
        if (h[3] > kLastCall) throw ProtocolError("a frame about an unknown entry point " + std::to_string(h[3]));
        const uint32_t length = uint32_t(h[4]) | uint32_t(h[5]) << 8 | uint32_t(h[6]) << 16 | uint32_t(h[7]) << 24;
        if (length > kMaxPayload) throw ProtocolError("a frame of " + std::to_string(length) + " bytes");
        if (available < kHeaderSize + length) return std::nullopt;
        start_ += kHeaderSize + length;
        return Frame{static_cast<Kind>(h[2]), static_cast<Call>(h[3]), {h + kHeaderSize, length}};
    }

private:
    void compact() {
        if (start_ == 0) return;
        std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
        end_ -= start_;
        start_ = 0;
    }
    std::array<uint8_t, 2 * (kHeaderSize + kMaxPayload)> buffer_{};
    std::size_t start_ = 0;
    std::size_t end_ = 0;
};

}  // namespace opstation::wire
