#include "drive_choice.h"

#include "opstation/hosted_drive.h"

namespace opstation {

// As the panel runs it: in the drive host, so that a library that crashes,
// exits or hangs gives a verdict instead of taking the runner with it. In
// process only when asked, for speed.
std::unique_ptr<DriveLink> makeDriveLink(const DriveChoice &choice) {
    if (choice.inProcess) return std::make_unique<DriveLibrary>(choice.libraryFile);
    HostedDrive::Options options;
    options.interruptFd = choice.interruptFd;
    return std::make_unique<HostedDrive>(choice.libraryFile, options);
}

}  // namespace opstation
