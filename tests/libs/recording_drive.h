// A drive library for tests: it records every call and answers from a
// script that the test sets. Tests reach it through recording_drive(),
// looked up in the same loaded library that the panel's loader opened.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct RecordingDrive {
    // What the library writes.
    std::string title;  // bytes written into the title buffer (at most 128)
    std::string line1;  // bytes written into the line buffers (at most 20)
    std::string line2;
    int16_t uploadResult = 0;
    std::optional<std::array<int16_t, 14>> ledWords;  // written through the 14 pointers

    // What the library saw.
    std::vector<std::string> calls;
    int32_t initialiseStation = 0;
    int32_t terminateStation = 0;
    std::array<unsigned char, 129> titleOnEntry{};  // the buffer plus the byte after it
    std::vector<std::array<int16_t, 10>> downloads;
    std::array<int16_t *, 14> uploadPointers{};
    std::array<unsigned char, 21> line1OnEntry{};
    std::array<unsigned char, 21> line2OnEntry{};
};

using RecordingDriveAccess = RecordingDrive *(*)();
