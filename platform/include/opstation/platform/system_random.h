// Secrets come from the operating system's cryptographic generator
// (getrandom on Linux, BCryptGenRandom on Windows), never from a seeded
// generator of the program's own.
#pragma once

#include <cstdint>
#include <span>

namespace opstation::platform {

// Fills `bytes`; throws std::system_error when the system gives none.
void fillFromSystemGenerator(std::span<std::uint8_t> bytes);

}  // namespace opstation::platform
