#include "opstation/platform/close_requests.h"

#include <cstdlib>

#include <windows.h>

namespace opstation::platform {

namespace {

volatile std::sig_atomic_t g_request = 0;
HANDLE g_requested = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // set at the first request

// The system calls this on a thread of its own. The first request is
// noted; a second one is left to the default handler, which ends the
// program. Closing the console leaves a few seconds before the system
// ends the program: the handler holds the console open while the program
// closes properly.
BOOL WINAPI onConsoleEvent(DWORD event) {
    int signal = 0;
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) signal = SIGINT;
    else if (event == CTRL_CLOSE_EVENT) signal = SIGTERM;
    else return FALSE;
    if (g_request != 0) return FALSE;
    g_request = signal;
    SetEvent(g_requested);
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);  // the program ends meanwhile
    return TRUE;
}

}  // namespace

void catchCloseRequests() {
    static const bool caught = (SetConsoleCtrlHandler(onConsoleEvent, TRUE), true);
    (void)caught;
}

int closeRequest() { return g_request; }
const volatile std::sig_atomic_t &closeRequestFlag() { return g_request; }
int closeRequestFd() { return -1; }

void awaitCloseRequest() { WaitForSingleObject(g_requested, INFINITE); }

void endAsRequested() { std::_Exit(g_request == SIGINT ? 0xC000013A : 1); }

}  // namespace opstation::platform
