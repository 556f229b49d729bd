#include "drive_choice.h"

namespace opstation {

// Both choices load the library into this process for now: a library that
// crashes or hangs then takes the runner with it.
std::unique_ptr<DriveLink> makeDriveLink(const DriveChoice &choice) {
    return std::make_unique<DriveLibrary>(choice.libraryFile);
}

}  // namespace opstation
