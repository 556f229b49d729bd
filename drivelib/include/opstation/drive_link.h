// The panel's side of the drive library boundary: the four calls, at the
// level of keys, LED words and decoded text. The real loader (DriveLibrary)
// implements it over the C entry points of drive_api.h; tests implement it
// with doubles.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace opstation {

// Text as the panel keeps it: one UTF-16 code unit per library byte, decoded
// from the library's 8-bit code page. NULs are kept.
using Text = std::u16string;

inline constexpr int32_t kStation = 2;
inline constexpr std::size_t kTitleSize = 128;
inline constexpr std::size_t kLineSize = 20;
// The display shows the first 16 characters of each line; its labels hold
// no more.
inline constexpr std::size_t kShownLineSize = 16;

// Key states in the library's order: up, down, esc, menu, dir, jog, local,
// run, stop, disp. Each is -1 (down this cycle) or 0.
using DownloadKeys = std::array<int16_t, 10>;

// One display line as the library left it: all kLineSize characters.
using Line = std::array<char16_t, kLineSize>;

inline std::u16string_view view(const Line &line) { return {line.data(), line.size()}; }

// The fourteen LED words lent to the library, in the library's order:
// health, fwd, rev, run, stop, seq, ref, each on then flash.
using UploadLedWords = std::array<int16_t *, 14>;

struct UploadResult {
    int16_t result = 0;  // only the low 16 bits of what the library returned
    Line line1{};        // NULs included
    Line line2{};
};

class DriveLink {
public:
    virtual ~DriveLink() = default;

    // Returns the whole title buffer: kTitleSize characters, NULs included.
    virtual Text initialise(int32_t station) = 0;
    virtual void terminate(int32_t station) = 0;
    virtual void download(const DownloadKeys &keys) = 0;
    virtual UploadResult upload(const UploadLedWords &leds) = 0;

    // After initialise: the library file loaded, as a full path, for the
    // programs to say which one it was; empty where nothing is known.
    virtual std::string loadedFile() const { return {}; }

    // One exchange cycle's two calls, download then upload. A link whose
    // calls are costly one by one (a drive in another process) does both in
    // one step; a link that wraps another must pass this on as one step too.
    virtual UploadResult exchange(const DownloadKeys &keys, const UploadLedWords &leds) {
        download(keys);
        return upload(leds);
    }
};

}  // namespace opstation
