// What a program of the station needs of its platform at its start.
#pragma once

#include <string>

namespace opstation::platform {

// The folder of the running program, without a trailing separator.
std::string programFolder();

// Standard input and output carry bytes as they are (on Windows the C
// runtime would turn LF into CR LF).
void binaryStandardStreams();

}  // namespace opstation::platform
