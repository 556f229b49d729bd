// Fuzz harness for the panel's reading of the drive host's answers: the
// host says arbitrary bytes, in pieces of arbitrary size, then falls silent
// or goes away, while the panel side makes a session's calls. Whatever it
// says, every call either returns what a well-formed answer carries or
// throws one DriveLibraryError; after the first failure every call throws
// the same error without waiting; every message is about a drive library
// or the host; and none carries a control character. Nothing may crash or
// hang.
//
// Input: a control byte, then what the host says. Bit 0 of the control byte
// puts a well-formed hello in front; bits 1-6 give the piece size - 1; bit
// 7 makes the host go away at the end instead of falling silent.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "../support/scripted_host.h"

namespace opstation {
namespace {

[[noreturn]] void fail(const char *what) {
    std::fprintf(stderr, "host answer fuzz: %s\n", what);
    std::abort();
}

class Session {
public:
    explicit Session(HostedDrive &drive) : drive_(drive) {
        for (std::size_t i = 0; i < words_.size(); ++i) pointers_[i] = &words_[i];
    }

    void run() {
        attempt([&] {
            if (drive_.initialise(kStation).size() != kTitleSize) fail("a title that is not 128 characters");
        });
        for (int cycle = 0; cycle < 3; ++cycle) {
            attempt([&] { drive_.exchange({}, pointers_); });
            attempt([&] { drive_.download({}); });
            attempt([&] { drive_.upload(pointers_); });
        }
        attempt([&] { drive_.terminate(kStation); });
    }

private:
    void attempt(const std::function<void()> &call) {
        try {
            call();
            if (failure_) fail("a call went through after a failure");
        } catch (const DriveLibraryError &error) {
            const std::string message = error.what();
            if (failure_ && *failure_ != message) fail("a later failure differs from the first");
            for (char c : message)
                if (static_cast<unsigned char>(c) < 0x20) fail("a control character in a message");
            // The host's own messages name the library file, a bridge's the
            // library behind it: either way a drive library, or the host.
            const bool named = message.find("libdrive.so") != std::string::npos ||
                               message.find("drive library") != std::string::npos ||
                               message.find("scripted-host") != std::string::npos;
            if (!named) fail("a message that is about neither a drive library nor the host");
            failure_ = message;
        }
    }

    HostedDrive &drive_;
    std::array<int16_t, 14> words_{};
    UploadLedWords pointers_{};
    std::optional<std::string> failure_;
};

}  // namespace
}  // namespace opstation

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    using opstation::test::ScriptedHost;
    if (size == 0) return 0;
    const uint8_t control = data[0];
    std::vector<uint8_t> says = (control & 1) != 0 ? opstation::test::helloBytes() : std::vector<uint8_t>{};
    says.insert(says.end(), data + 1, data + size);
    const std::size_t piece = 1 + ((control >> 1) & 0x3F);
    const auto then = (control & 0x80) != 0 ? ScriptedHost::Then::end : ScriptedHost::Then::hang;
    opstation::HostedDrive drive("libdrive.so", std::make_unique<ScriptedHost>(std::move(says), piece, then));
    opstation::Session(drive).run();
    return 0;
}
