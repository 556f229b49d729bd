// A drive library for tests: it records every call and answers from a
// script that the test sets. The record is plain data in one file mapped by
// the test and by the library, so a test reads and scripts it the same way
// whether the library runs in the test's own process or in a drive host:
// sharedRecording() makes the file and names it to the library (through
// the environment, which a drive host inherits).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <string_view>

// Up to N bytes, NULs allowed.
template <std::size_t N>
struct FixedBytes {
    uint32_t length = 0;
    std::array<char, N> bytes{};

    static FixedBytes of(std::string_view text) {
        FixedBytes bytes;
        bytes = text;
        return bytes;
    }
    FixedBytes &operator=(std::string_view text) {
        length = static_cast<uint32_t>(std::min(text.size(), N));
        std::copy_n(text.data(), length, bytes.data());
        return *this;
    }
    const char *data() const { return bytes.data(); }
    std::size_t size() const { return length; }
    std::string_view view() const { return {data(), size()}; }
    bool operator==(std::string_view text) const { return view() == text; }
    bool operator==(const FixedBytes &other) const { return view() == other.view(); }
    friend std::ostream &operator<<(std::ostream &out, const FixedBytes &b) { return out << std::string_view(b.data(), b.size()); }
};

// A vector of at most N elements that lives in place.
template <typename T, std::size_t N>
struct BoundedVector {
    using value_type = T;
    using const_iterator = const T *;
    uint32_t count = 0;
    std::array<T, N> items{};

    void push_back(const T &item) {
        if (count < N) items[count] = item;
        ++count;  // counted even when full, so an overflow shows in size()
    }
    std::size_t size() const { return count; }
    bool empty() const { return count == 0; }
    const T *begin() const { return items.data(); }
    const T *end() const { return items.data() + std::min<std::size_t>(count, N); }
    const T &operator[](std::size_t i) const { return items[i]; }
    const T &back() const { return items[std::min<std::size_t>(count, N) - 1]; }
};

struct RecordingDrive {
    // What the library writes.
    FixedBytes<128> title;  // bytes written into the title buffer
    FixedBytes<20> line1;   // bytes written into the line buffers
    FixedBytes<20> line2;
    int16_t uploadResult = 0;
    std::optional<std::array<int16_t, 14>> ledWords;  // written through the 14 pointers

    // What the library saw.
    BoundedVector<FixedBytes<12>, 512> calls;
    int32_t initialiseStation = 0;
    int32_t terminateStation = 0;
    std::array<unsigned char, 129> titleOnEntry{};  // the buffer plus the byte after it
    BoundedVector<std::array<int16_t, 10>, 4096> downloads;
    std::array<int16_t *, 14> uploadPointers{};  // addresses in the library's process
    std::array<unsigned char, 21> line1OnEntry{};
    std::array<unsigned char, 21> line2OnEntry{};
};

// The environment variable that names the record's file to the library.
inline constexpr const char *kRecordingFileVariable = "OPSTATION_RECORDING_DRIVE";

// The record shared with every copy of the recording library that this
// process or its drive hosts load from now on, reset to its start.
RecordingDrive &sharedRecording();
