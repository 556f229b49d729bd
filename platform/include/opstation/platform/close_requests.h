// The system's requests to close a program: SIGTERM, SIGINT and SIGHUP on
// POSIX; Ctrl+C, Ctrl+Break and closing the console on Windows. Every
// program of the station closes on them the same way: the first one asks
// the program to close properly (the drive library is stopped, a library
// call that hangs gets a moment to return), a second one ends the program
// at once, as that request would have without a handler.
//
// A signal that the program was started with ignored (nohup, a script's
// background job) stays ignored: whoever started the program asked for it.
#pragma once

#include <csignal>

namespace opstation::platform {

// Catches the close requests from now on. Once per process; later calls
// change nothing.
void catchCloseRequests();

// The signal number of the first close request (SIGINT for Ctrl+C and
// Ctrl+Break on Windows, SIGTERM for a closed console), 0 while none came.
int closeRequest();
const volatile std::sig_atomic_t &closeRequestFlag();

// A descriptor that becomes readable at the first close request, for a
// wait on a child process or an event loop to watch; -1 where there is
// none (Windows, or before catchCloseRequests).
int closeRequestFd();

// Waits until the first close request has come (for a watching thread).
void awaitCloseRequest();

// Ends the program as the first close request would have without a
// handler: a program that closed on a signal reports the signal.
[[noreturn]] void endAsRequested();

}  // namespace opstation::platform
