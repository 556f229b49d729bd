#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "recording_drive.h"

namespace {

// One file per test process, removed when the process ends.
struct RecordingFile {
    std::string path = (std::filesystem::temp_directory_path() / ("opstation-recording-" + std::to_string(::getpid()))).string();
    RecordingDrive *record = nullptr;

    RecordingFile() {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0 || ::ftruncate(fd, sizeof(RecordingDrive)) != 0) throw std::runtime_error("cannot make " + path);
        void *at = ::mmap(nullptr, sizeof(RecordingDrive), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        if (at == MAP_FAILED) throw std::runtime_error("cannot map " + path);
        record = static_cast<RecordingDrive *>(at);
        ::setenv(kRecordingFileVariable, path.c_str(), 1);
    }
    ~RecordingFile() { ::unlink(path.c_str()); }
};

}  // namespace

RecordingDrive &sharedRecording() {
    static RecordingFile file;
    *file.record = RecordingDrive{};
    return *file.record;
}
