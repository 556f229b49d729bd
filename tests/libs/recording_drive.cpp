#include "recording_drive.h"

#include <cstring>

#include "opstation/drive_api.h"

namespace {
RecordingDrive drive;

template <std::size_t N>
void snapshot(std::array<unsigned char, N> &into, const char *buffer) {
    std::memcpy(into.data(), buffer, N);
}
}  // namespace

extern "C" {

OPSTAT_EXPORT RecordingDrive *recording_drive() { return &drive; }

#ifndef OMIT_initialise
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_initialise(int32_t station, char *title) {
    drive.calls.push_back("initialise");
    drive.initialiseStation = station;
    snapshot(drive.titleOnEntry, title);
    std::memcpy(title, drive.title.data(), std::min<std::size_t>(drive.title.size(), OPSTAT_TITLE_SIZE));
    return 0;
}
#endif

#ifndef OMIT_terminate
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_terminate(int32_t station) {
    drive.calls.push_back("terminate");
    drive.terminateStation = station;
    return 0;
}
#endif

#ifndef OMIT_download
OPSTAT_EXPORT int32_t OPSTAT_CALL opstat_download(int16_t up, int16_t down, int16_t esc, int16_t menu, int16_t dir, int16_t jog,
                                      int16_t local, int16_t run, int16_t stop, int16_t disp) {
    drive.calls.push_back("download");
    drive.downloads.push_back({up, down, esc, menu, dir, jog, local, run, stop, disp});
    return 0;
}
#endif

#ifndef OMIT_upload
OPSTAT_EXPORT int16_t OPSTAT_CALL opstat_upload(int16_t *health_on, int16_t *health_flash, int16_t *fwd_on, int16_t *fwd_flash,
                                    int16_t *rev_on, int16_t *rev_flash, int16_t *run_on, int16_t *run_flash,
                                    int16_t *stop_on, int16_t *stop_flash, int16_t *seq_on, int16_t *seq_flash,
                                    int16_t *ref_on, int16_t *ref_flash, char *line1, char *line2) {
    drive.calls.push_back("upload");
    drive.uploadPointers = {health_on, health_flash, fwd_on, fwd_flash, rev_on,   rev_flash, run_on,
                            run_flash, stop_on,      stop_flash, seq_on, seq_flash, ref_on,  ref_flash};
    snapshot(drive.line1OnEntry, line1);
    snapshot(drive.line2OnEntry, line2);
    if (drive.ledWords) {
        for (std::size_t i = 0; i < 14; ++i) *drive.uploadPointers[i] = (*drive.ledWords)[i];
    }
    std::memcpy(line1, drive.line1.data(), std::min<std::size_t>(drive.line1.size(), OPSTAT_LINE_SIZE));
    std::memcpy(line2, drive.line2.data(), std::min<std::size_t>(drive.line2.size(), OPSTAT_LINE_SIZE));
    return drive.uploadResult;
}
#endif
}
