#include "opstation/platform/child_process.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <utility>

#include <windows.h>

namespace opstation::platform {

namespace {

// One argument as the C runtime of the child splits its command line back:
// in quotes where it needs them, backslashes before a quote doubled.
void appendArgument(std::string &line, const std::string &argument) {
    if (!line.empty()) line += ' ';
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
        line += argument;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, '\\');
    line += '"';
}

bool sameName(const std::string &entry, const std::string &change) {
    const std::size_t a = entry.find('='), b = change.find('=');
    if (a != b) return false;
    for (std::size_t i = 0; i < a; ++i)
        if (std::toupper(static_cast<unsigned char>(entry[i])) != std::toupper(static_cast<unsigned char>(change[i]))) return false;
    return true;
}

// This program's environment block with `changes` set on top.
std::string environmentWith(const std::vector<std::string> &changes) {
    std::string block;
    char *own = GetEnvironmentStringsA();
    for (const char *entry = own; *entry != '\0'; entry += std::strlen(entry) + 1) {
        const std::string text(entry);
        if (std::none_of(changes.begin(), changes.end(), [&](const std::string &c) { return sameName(text, c); }))
            block.append(text).push_back('\0');
    }
    FreeEnvironmentStringsA(own);
    for (const std::string &change : changes) block.append(change).push_back('\0');
    block.push_back('\0');
    return block;
}

HANDLE inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

std::system_error lastError() { return std::system_error(static_cast<int>(GetLastError()), std::system_category()); }

}  // namespace

ChildProcess::ChildProcess(std::vector<std::string> command, ChildOptions options) {
    std::string line;
    for (const std::string &argument : command) appendArgument(line, argument);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    HANDLE file = options.outputFile.empty()
                      ? nullptr
                      : CreateFileA(options.outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = options.input != kNoStream ? inheritable(options.input) : nothing;
    start.hStdError = file != nullptr ? file : inheritable(GetStdHandle(STD_ERROR_HANDLE));
    start.hStdOutput = options.output != kNoStream ? inheritable(options.output) : file != nullptr ? file : start.hStdError;
    const std::string environment = environmentWith(options.environment);
    PROCESS_INFORMATION process{};
    const BOOL made = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                                     const_cast<char *>(environment.data()), nullptr, &start, &process);
    const std::system_error error = lastError();
    std::vector<HANDLE> lent = {start.hStdInput, start.hStdOutput, start.hStdError, nothing, file};
    std::sort(lent.begin(), lent.end());
    lent.erase(std::unique(lent.begin(), lent.end()), lent.end());
    for (HANDLE handle : lent)
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if (!made) throw error;
    if (options.tied) {
        job_ = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(job_, process.hProcess);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    process_ = process.hProcess;
}

// A tied child's job goes with it: closing the job's last handle ends the
// child.
ChildProcess::~ChildProcess() {
    if (process_ != nullptr) CloseHandle(process_);
    if (job_ != nullptr) CloseHandle(job_);
}

bool ChildProcess::started() const { return process_ != nullptr; }
int ChildProcess::pid() const { return process_ != nullptr ? static_cast<int>(GetProcessId(process_)) : -1; }

ChildProcess::ChildProcess(ChildProcess &&other) noexcept { *this = std::move(other); }

ChildProcess &ChildProcess::operator=(ChildProcess &&other) noexcept {
    std::swap(process_, other.process_);
    std::swap(job_, other.job_);
    code_ = other.code_;
    reaped_ = other.reaped_;
    return *this;
}

bool ChildProcess::await(std::chrono::milliseconds patience) {
    if (process_ == nullptr || reaped_) return true;
    if (WaitForSingleObject(process_, static_cast<DWORD>(patience.count())) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process_, &code_);
    return reaped_ = true;
}

void ChildProcess::stop() {
    if (process_ == nullptr || reaped_) return;
    TerminateProcess(process_, 1);
    await(std::chrono::milliseconds(INFINITE));
}

// An exception that ended the process leaves its code as the exit code.
ChildEnding ChildProcess::ending() const {
    if (!reaped_) return {ChildEnding::How::unknown, "it had not ended"};
    if (code_ >= 0xC0000000UL) {
        char text[64];
        std::snprintf(text, sizeof text, "exception 0x%08lX", code_);
        return {ChildEnding::How::signal, text, static_cast<int>(code_)};
    }
    return {ChildEnding::How::exit, "exit status " + std::to_string(code_), static_cast<int>(code_)};
}

}  // namespace opstation::platform
