#include "opstation/platform/host_process.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <system_error>

#include <windows.h>

#include "opstation/platform/close_requests.h"

namespace opstation::platform {

using namespace std::chrono_literals;
using std::chrono::steady_clock;

// The host's standard input is an anonymous pipe; its standard output a
// named pipe whose reading end is ours and overlapped, so that a read can
// be awaited with a time limit and given up on a close request.
struct HostProcess::Pipes {
    HANDLE toHost = nullptr;      // our end of the host's input
    HANDLE fromHost = nullptr;    // our end of the host's output
    HANDLE hostInput = nullptr;   // the host's ends, handed to it at its start
    HANDLE hostOutput = nullptr;
    OVERLAPPED reading{};

    Pipes() {
        static std::atomic<unsigned> made{0};
        char name[96];
        std::snprintf(name, sizeof name, "\\\\.\\pipe\\op-station-host-%lu-%u", GetCurrentProcessId(), made++);
        fromHost = CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 64 * 1024, 0, nullptr);
        if (fromHost == INVALID_HANDLE_VALUE) fail();
        hostOutput = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (hostOutput == INVALID_HANDLE_VALUE || !CreatePipe(&hostInput, &toHost, nullptr, 0)) fail();
        reading.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    ~Pipes() {
        for (HANDLE handle : {toHost, fromHost, hostInput, hostOutput, reading.hEvent})
            if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    Pipes(const Pipes &) = delete;
    Pipes &operator=(const Pipes &) = delete;

    [[noreturn]] static void fail() {
        throw HostStartError(std::system_error(static_cast<int>(GetLastError()), std::system_category()).what());
    }
    // The host has its own copies now.
    void handedOver() {
        CloseHandle(hostInput);
        CloseHandle(hostOutput);
        hostInput = hostOutput = nullptr;
    }
    void closeInput() {
        if (toHost != nullptr) CloseHandle(toHost);
        toHost = nullptr;
    }
};

void HostProcess::start() {
    HostCommand host = prepare_();
    program_ = host.command.front();
    pipes_ = std::make_shared<Pipes>();
    try {
        child_ = ChildProcess(std::move(host.command), {.environment = std::move(host.environment),
                                                        .input = pipes_->hostInput,
                                                        .output = pipes_->hostOutput,
                                                        .tied = true});
    } catch (const std::system_error &error) {
        pipes_.reset();
        throw HostStartError(error.code().message());
    }
    pipes_->handedOver();
}

bool HostProcess::send(std::span<const uint8_t> frame) {
    while (!frame.empty() && pipes_ && pipes_->toHost != nullptr) {
        DWORD sent = 0;
        if (!WriteFile(pipes_->toHost, frame.data(), static_cast<DWORD>(frame.size()), &sent, nullptr) || sent == 0) return false;
        frame = frame.subspan(sent);
    }
    return frame.empty();
}

// Waits for the read under way; the close requests are looked at every
// tenth of a second (they come as a flag on Windows).
HostTransport::Arrival HostProcess::receive(wire::FrameReader &frames, Deadline deadline, bool watchClosing) {
    if (!pipes_) return Arrival::end;
    const std::span<uint8_t> space = frames.space();
    DWORD got = 0;
    ResetEvent(pipes_->reading.hEvent);
    if (!ReadFile(pipes_->fromHost, space.data(), static_cast<DWORD>(space.size()), &got, &pipes_->reading)) {
        if (GetLastError() != ERROR_IO_PENDING) return Arrival::end;
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - steady_clock::now());
            const DWORD wait = static_cast<DWORD>(std::clamp<long long>(left.count(), 0, 100));
            if (WaitForSingleObject(pipes_->reading.hEvent, wait) == WAIT_OBJECT_0) break;
            const bool closing = watchClosing && closeRequest() != 0;
            if (closing || steady_clock::now() >= deadline) {
                CancelIoEx(pipes_->fromHost, &pipes_->reading);
                GetOverlappedResult(pipes_->fromHost, &pipes_->reading, &got, TRUE);
                if (got > 0) break;  // it came after all
                return closing ? Arrival::interrupted : Arrival::timeout;
            }
        }
        if (!GetOverlappedResult(pipes_->fromHost, &pipes_->reading, &got, FALSE) && got == 0) return Arrival::end;
    }
    if (got == 0) return Arrival::end;
    frames.received(got);
    return Arrival::bytes;
}

void HostProcess::closeChannel() {
    if (pipes_) pipes_->closeInput();
}

}  // namespace opstation::platform
