// Where the runner's drive library runs. The one place that picks the link,
// so that a new way of hosting the library changes nothing else.
#pragma once

#include <memory>
#include <string>

#include "opstation/drive_library.h"

namespace opstation {

struct DriveChoice {
    std::string libraryFile = kDefaultDriveLibrary;
    bool inProcess = false;  // --in-process: the library in the runner's own process
    int interruptFd = -1;    // readable once the runner is asked to stop
};

std::unique_ptr<DriveLink> makeDriveLink(const DriveChoice &choice);

}  // namespace opstation
