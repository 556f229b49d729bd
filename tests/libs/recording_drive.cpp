#include "recording_drive.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "opstation/drive_api.h"
#include "record_file.h"

namespace {

// The record in the file the test named, or one of the library's own when
// none is named.
RecordingDrive &record() {
    static RecordingDrive *shared = nullptr;
    static RecordingDrive own;
    if (shared == nullptr) {
        if (const char *path = std::getenv(kRecordingFileVariable))
            shared = static_cast<RecordingDrive *>(recording::mapFile(path, sizeof(RecordingDrive), false));
    }
    return shared != nullptr ? *shared : own;
}

// A panel in another process is watched through a file: with
// RECORDING_DRIVE_LOG set, every download is appended to it as one line of
// ten numbers, in the library's order.
[[maybe_unused]] void logDownload(const std::array<int16_t, 10> &keys) {
    const char *path = std::getenv("RECORDING_DRIVE_LOG");
    if (path == nullptr) return;
    if (std::FILE *log = std::fopen(path, "a")) {
        for (int16_t key : keys) std::fprintf(log, "%d ", key);
        std::fputc('\n', log);
        std::fclose(log);
    }
}

template <std::size_t N>
void snapshot(std::array<unsigned char, N> &into, const char *buffer) {
    std::memcpy(into.data(), buffer, N);
}

template <std::size_t N>
void write(char *buffer, const FixedBytes<N> &bytes) {
    std::memcpy(buffer, bytes.data(), bytes.size());
}

}  // namespace

extern "C" {

#ifndef OMIT_initialise
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    RecordingDrive &drive = record();
    drive.calls.push_back(FixedBytes<12>::of("initialise"));
    drive.initialiseStation = station;
    snapshot(drive.titleOnEntry, title);
    write(title, drive.title);
    return 0;
}
#endif

#ifndef OMIT_terminate
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station) {
    RecordingDrive &drive = record();
    drive.calls.push_back(FixedBytes<12>::of("terminate"));
    drive.terminateStation = station;
    return 0;
}
#endif

#ifndef OMIT_download
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                                      int16_t local, int16_t run, int16_t stop, int16_t disp) {
    RecordingDrive &drive = record();
    drive.calls.push_back(FixedBytes<12>::of("download"));
    drive.downloads.push_back({up, down, esc, menu, dir, jog, local, run, stop, disp});
    logDownload(drive.downloads.back());
    return 0;
}
#endif

#ifndef OMIT_upload
OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash,
                                    int16_t *rev_on, int16_t *rev_flash, int16_t *run_on, int16_t *run_flash,
                                    int16_t *stop_on, int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                    int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    RecordingDrive &drive = record();
    drive.calls.push_back(FixedBytes<12>::of("upload"));
    drive.uploadPointers = {health_on, health_flash, fwd_on, fwd_flash, rev_on,   rev_flash, run_on,
                            run_flash, stop_on,      stop_flash, seq_on, seq_flash, ref_on,  ref_flash};
    snapshot(drive.line1OnEntry, line1);
    snapshot(drive.line2OnEntry, line2);
    if (drive.ledWords) {
        for (std::size_t i = 0; i < 14; ++i) *drive.uploadPointers[i] = (*drive.ledWords)[i];
    }
    write(line1, drive.line1);
    write(line2, drive.line2);
    return drive.uploadResult;
}
#endif
}
