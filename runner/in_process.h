// A drive library in the runner's own process (--in-process) can end the
// runner from inside a call, where no verdict can be given the usual way:
// a crash, abort() or exit(). The runner then gives the verdict that the
// drive host's client would have given: the same message on standard error,
// the transcript written out and ended as a failed run, exit status 3. A
// close request while a call hangs ends the runner after a second's grace,
// as the hosted mode does, with the message that the call did not return.
//
// What cannot be caught in process: _exit() in a call ends the runner with
// the library's own status, without a word; a library that corrupts memory
// without writing past its buffers may crash anywhere later, or nowhere;
// and a call that hangs is not timed out (a debugger may be holding it).
#pragma once

#include <chrono>

namespace opstation {

class DriveLibrary;

namespace platform {
class OutputFile;
}

// From here on, for `library` in this process; `transcript` may be null.
void guardInProcess(const DriveLibrary &library, platform::OutputFile *transcript, std::chrono::milliseconds grace);

}  // namespace opstation
