// op-station-drive-host: runs a drive library for OP Station in a process
// of its own, so that a crash or a hang of the library cannot take the
// program that uses it along. The programs start it; it is not meant to be
// run by hand.
//
//   op-station-drive-host [--name NAME] [LIBRARY]
//
// LIBRARY is found as the panel finds it (libdrive.so by the normal library
// search when no path is given); messages name it as NAME. Requests arrive
// on standard input and answers leave on standard output, as frames of
// opstation/host_protocol.h; the host ends at the end of its input.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "drive_host.h"
#include "opstation/back_to_back.h"
#include "opstation/platform/host_channel.h"
#include "opstation/platform/library_endings.h"

namespace {

using namespace opstation;

constexpr const char *kUsage =
    "Usage: op-station-drive-host [--name NAME] [LIBRARY]\n"
    "Runs a drive library for OP Station in a process of its own. The\n"
    "programs of OP Station start it and talk to it over its standard input\n"
    "and output; it is not meant to be started by hand.\n"
    "\n"
    "  LIBRARY     the drive library file (default: " OPSTATION_DEFAULT_LIBRARY ", found by the\n"
    "              normal library search)\n"
    "  --name NAME name the library NAME in messages (default: LIBRARY)\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

int usageError(const std::string &what) {
    std::fprintf(stderr, "op-station-drive-host: %s\n%s", what.c_str(), kUsage);
    return 2;
}

// The channel's output, for the last words of a host that is ending.
int g_channelOut = -1;

void sendLastWord(const wire::FrameWriter &frame) { platform::writeAll(g_channelOut, frame.frame()); }

// A crash or an exit in a call sends a frame naming the call before the
// host ends; so does a fault of the system loader while it maps a damaged
// library file (a `failed` frame).
void reportEndings(int channelOut) {
    g_channelOut = channelOut;
    platform::watchLibraryEndings({
        .crashed = [](wire::Call call, long, unsigned code, const char *text) {
            sendLastWord(wire::FrameWriter(wire::Kind::crashed, call).u32(code).text(text));
        },
        .exited = [](wire::Call call, long, int) { sendLastWord(wire::FrameWriter(wire::Kind::exited, call)); },
    });
    setLoadFaultReport([](const char *message, std::size_t size) {
        sendLastWord(wire::FrameWriter(wire::Kind::failed, wire::Call::initialise).bytes(message, size));
        std::_Exit(1);
    });
}

int serve(const std::string &library, const std::string &name) {
    const platform::Channel channel = platform::takeStandardStreams();
    reportEndings(channel.out);
    DriveLibrary drive(library, name);
    host::DriveHost host(drive, [&](std::span<const uint8_t> frame) { return platform::writeAll(channel.out, frame); });

    if (!platform::writeAll(channel.out, wire::FrameWriter(wire::Kind::hello, wire::Call::none).u32(wire::kProtocolVersion).frame()))
        return 1;
    wire::FrameReader requests;
    BackToBack pace;
    auto spin = std::chrono::microseconds{0};
    try {
        for (;;) {
            while (const auto request = requests.next()) {
                if (!platform::writeAll(channel.out, host.answer(*request).frame())) return 1;
                pace.mark();
            }
            const long got = platform::readSome(channel.in, requests.space(), spin);
            if (got <= 0) return 0;  // the program closed the channel
            spin = pace.spin();
            requests.received(static_cast<std::size_t>(got));
        }
    } catch (const wire::ProtocolError &error) {
        std::fprintf(stderr, "op-station-drive-host: the program sent %s; ending\n", error.what());
        return 2;
    }
}

}  // namespace

int main(int argc, char **argv) {
    std::string library = kDefaultDriveLibrary;
    std::string name;
    bool libraryGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") return std::fputs(kUsage, stdout), 0;
        if (arg == "--version") return std::puts("op-station-drive-host " OPSTATION_VERSION), 0;
        if (arg == "--name") {
            if (++i == argc) return usageError("--name needs a value");
            name = argv[i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (libraryGiven) {
            return usageError("too many arguments");
        } else {
            library = arg;
            libraryGiven = true;
        }
    }
    return serve(library, name);
}
