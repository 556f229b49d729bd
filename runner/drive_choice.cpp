#include "drive_choice.h"

#if !defined(_WIN32)
#include "opstation/hosted_drive.h"
#endif

namespace opstation {

// As the panel runs it: in the drive host, so that a library that crashes,
// exits or hangs gives a verdict instead of taking the runner with it. In
// process only when asked, for speed; and always on Windows, where the
// drive host's client does not exist.
std::unique_ptr<DriveLink> makeDriveLink(const DriveChoice &choice) {
#if defined(_WIN32)
    return std::make_unique<DriveLibrary>(choice.libraryFile);
#else
    if (choice.inProcess) return std::make_unique<DriveLibrary>(choice.libraryFile);
    HostedDrive::Options options;
    options.interruptFd = choice.interruptFd;
    return std::make_unique<HostedDrive>(choice.libraryFile, options);
#endif
}

}  // namespace opstation
