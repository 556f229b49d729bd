// What the drive host (op-station-drive-host) needs of its platform: the
// channel on its standard input and output, kept away from the library.
#pragma once

#include <chrono>
#include <cstddef>
#include <span>

#include "opstation/host_protocol.h"

namespace opstation::platform {

struct Channel {
    int in = -1;
    int out = -1;
};

// Takes standard input and output for the channel, before the library is
// loaded (its constructors run at load): from then on the library's writes
// to standard output go to standard error, and its reads of standard input
// find nothing.
Channel takeStandardStreams();

// -1 on an error, 0 at the end of the input. With `spin`, bytes are first
// looked for without sleeping, for that long (BackToBack); platforms may
// ignore it.
long readSome(int fd, std::span<uint8_t> into, std::chrono::microseconds spin = {});
bool writeAll(int fd, std::span<const uint8_t> bytes);

}  // namespace opstation::platform
