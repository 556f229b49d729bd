// Opening a file or an address in the desktop's browser: xdg-open on Linux,
// the shell's "open" on Windows. The browser is the desktop's business: it
// is started on its own and outlives the program that asked for it.
#pragma once

#include <string>

namespace opstation::platform {

// Asks the desktop to open `target` and returns at once; an empty string
// when that was asked, else why not ("xdg-open: No such file or directory").
std::string openInDesktopBrowser(const std::string &target);

}  // namespace opstation::platform
