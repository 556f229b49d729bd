#include "opstation/platform/desktop_browser.h"

#include <string>

#include <windows.h>
#include <shellapi.h>

namespace opstation::platform {

namespace {

std::wstring wide(const std::string &utf8) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

}  // namespace

std::string openInDesktopBrowser(const std::string &target) {
    // ShellExecuteW's result is no real handle: above 32 means it started.
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (result > 32) return {};
    return "the shell could not open it (error " + std::to_string(result) + ")";
}

}  // namespace opstation::platform
