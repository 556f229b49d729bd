#include <chrono>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "record_file.h"
#include "recording_drive.h"

namespace {

// One file per test process, removed when the process ends.
struct RecordingFile {
    std::string path;
    RecordingDrive *record = nullptr;

    RecordingFile() {
        const auto unique = std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" +
                            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
        path = (std::filesystem::temp_directory_path() / ("opstation-recording-" + unique)).string();
        record = static_cast<RecordingDrive *>(recording::mapFile(path, sizeof(RecordingDrive), true));
        if (record == nullptr) throw std::runtime_error("cannot map the recording file " + path);
        recording::setVariable(kRecordingFileVariable, path);
    }
    ~RecordingFile() {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
};

}  // namespace

RecordingDrive &sharedRecording() {
    static RecordingFile file;
    *file.record = RecordingDrive{};
    return *file.record;
}
