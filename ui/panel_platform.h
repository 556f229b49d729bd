// What the program needs of its platform: the link to its drive library,
// and the window closing on the system's close requests as it does on its
// close button (Form_Unload then stops the library before the program
// exits).
//
//   POSIX    the library runs in the drive host; SIGTERM, SIGINT and SIGHUP
//            close the window, and a library call that hangs then gets a
//            moment to return before the host is stopped
//   Windows  the library runs in the panel's own process (the drive host's
//            client is POSIX); Ctrl+C and Ctrl+Break on its console close
//            the window
#pragma once

#include <memory>

class QApplication;

namespace opstation {

class DriveLink;

// The link to the drive library. Made before the application, so that a
// drive host starts while Qt starts (the library itself is loaded at the
// first call, as always); the system's close requests are caught from here
// on, and a library call that hangs gives way to them.
std::unique_ptr<DriveLink> panelDrive();

// From here on those close requests close the window.
void closeOnRequests(QApplication &app);

}  // namespace opstation
