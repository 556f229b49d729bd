// op-station-drive-host: runs a drive library for OP Station in a process
// of its own, so that a crash or a hang of the library cannot take the
// panel with it. The panel starts it; it is not meant to be run by hand.
//
//   op-station-drive-host [LIBRARY]
//
// LIBRARY is found as the panel finds it (libdrive.so by the normal library
// search when no path is given). Requests arrive on standard input and
// answers leave on standard output, as frames of opstation/host_protocol.h;
// the host ends at the end of its input.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "drive_host.h"
#include "host_platform.h"

namespace {

constexpr const char *kUsage =
    "Usage: op-station-drive-host [LIBRARY]\n"
    "Runs a drive library for the OP Station panel in a process of its own.\n"
    "The panel and op-station-run start it and talk to it over its standard\n"
    "input and output; it is not meant to be started by hand.\n"
    "\n"
    "  LIBRARY     the drive library file (default: " OPSTATION_DEFAULT_LIBRARY ", found by the\n"
    "              normal library search)\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n";

int usageError(const char *what) {
    std::fprintf(stderr, "op-station-drive-host: %s\n%s", what, kUsage);
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    std::string library = opstation::kDefaultDriveLibrary;
    if (argc > 2) return usageError("too many arguments");
    if (argc == 2) {
        if (std::strcmp(argv[1], "--help") == 0) return std::fputs(kUsage, stdout), 0;
        if (std::strcmp(argv[1], "--version") == 0) return std::puts("op-station-drive-host " OPSTATION_VERSION), 0;
        if (argv[1][0] == '-' && argv[1][1] != '\0') return usageError((std::string("unknown option ") + argv[1]).c_str());
        library = argv[1];
    }

    const opstation::host::Channel channel = opstation::host::takeStandardStreams();
    opstation::host::reportEndingsOn(channel.out);
    opstation::DriveLibrary drive(library);
    opstation::host::DriveHost host(drive, [&](std::span<const uint8_t> frame) {
        return opstation::host::writeAll(channel.out, frame);
    });

    using opstation::wire::FrameWriter;
    if (!opstation::host::writeAll(channel.out, FrameWriter(opstation::wire::Kind::hello, opstation::wire::Call::none)
                                                    .u32(opstation::wire::kProtocolVersion)
                                                    .frame()))
        return 1;
    opstation::wire::FrameReader requests;
    // Cycles back to back (wire::kBackToBack): the next request is awaited
    // awake for a moment.
    using Clock = std::chrono::steady_clock;
    using namespace std::chrono_literals;
    Clock::time_point answered{};
    auto spin = 0us;
    try {
        for (;;) {
            while (const auto request = requests.next()) {
                if (!opstation::host::writeAll(channel.out, host.answer(*request).frame())) return 1;
                answered = Clock::now();
            }
            const long got = opstation::host::readSome(channel.in, requests.space(), spin);
            if (got <= 0) return 0;  // the panel closed the channel
            spin = Clock::now() - answered < opstation::wire::kBackToBack ? 100us : 0us;
            requests.received(static_cast<std::size_t>(got));
        }
    } catch (const opstation::wire::ProtocolError &error) {
        std::fprintf(stderr, "op-station-drive-host: the panel sent %s; ending\n", error.what());
        return 2;
    }
}
