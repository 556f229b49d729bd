// The loader's Windows side against drive DLLs exported the ways other
// compilers export them, and against DLLs that crash or fill every byte.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "../support/library_symbol.h"
#include "opstation/drive_library.h"

namespace opstation {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using test::testLibrary;

struct LentWords {
    std::array<int16_t, 14> words{};
    UploadLedWords pointers() {
        UploadLedWords p{};
        for (std::size_t i = 0; i < words.size(); ++i) p[i] = &words[i];
        return p;
    }
};

std::u16string shown(const Text &text) { return text.substr(0, text.find(u'\0')); }

class EachExportStyle : public ::testing::TestWithParam<const char *> {};

TEST_P(EachExportStyle, AllFourEntryPointsAreFoundAndCalled) {
    DriveLibrary library(testLibrary(GetParam()));
    EXPECT_EQ(shown(library.initialise(kStation)), u"NAMED DRIVE");
    LentWords leds;
    const UploadResult result = library.exchange({-1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, leds.pointers());
    EXPECT_EQ(result.result, 0);
    EXPECT_EQ(std::u16string(view(result.line2)).substr(0, 6), u"LINE 2");
    EXPECT_EQ(leds.words[0], -1);
    EXPECT_NO_THROW(library.terminate(kStation));
}

INSTANTIATE_TEST_SUITE_P(Windows, EachExportStyle,
                         ::testing::Values("windows_plain", "windows_msvc_names", "windows_mingw_names"));

TEST(ExportNames, ThePlainNameIsTriedFirst) {
    DriveLibrary library(testLibrary("windows_both_names"));
    EXPECT_EQ(shown(library.initialise(kStation)), u"NAMED DRIVE");  // not "DECORATED"
}

TEST(ExportNames, AMissingEntryPointNamesEveryNameTriedAndTheOthersWork) {
    const std::string path = testLibrary("windows_no_upload");
    DriveLibrary library(path);
    EXPECT_NO_THROW(library.initialise(kStation));
    EXPECT_NO_THROW(library.download({}));
    LentWords leds;
    try {
        library.upload(leds.pointers());
        FAIL() << "no error";
    } catch (const DriveLibraryError &error) {
        EXPECT_THAT(error.what(), AllOf(HasSubstr(path), HasSubstr("has no entry point opstat_upload"),
                                        HasSubstr("_opstat_upload@64"), HasSubstr(" opstat_upload@64"),
                                        HasSubstr("(error 127)")));  // ERROR_PROC_NOT_FOUND
    }
    EXPECT_NO_THROW(library.terminate(kStation));
}

TEST(LoadFailure, NamesTheFileAndTheWindowsReason) {
    const std::string path = testLibrary("not_a_library");
    try {
        DriveLibrary(path).initialise(kStation);
        FAIL() << "no error";
    } catch (const DriveLibraryError &error) {
        EXPECT_THAT(error.what(), AllOf(HasSubstr("cannot load the drive library " + path), HasSubstr("(error 193")));  // ERROR_BAD_EXE_FORMAT
    }
}

// ---- text in the ANSI code page ------------------------------------------

// The tests run with the ANSI code page that tools/wine-run.sh pins.
TEST(WindowsText, TheAnsiCodePageIsWindows1252) { EXPECT_EQ(GetACP(), 1252u); }

TEST(WindowsText, All128TitleBytesAndBothFullLinesAreDecoded) {
    DriveLibrary library(testLibrary("windows_full_text"));
    const Text title = library.initialise(kStation);
    ASSERT_EQ(title.size(), kTitleSize);
    for (std::size_t i = 0x20; i < kTitleSize; ++i) EXPECT_EQ(title[i], 0x80 + i) << i;  // 0xA0 .. 0xFF
    EXPECT_EQ(title[0x00], u'\u20AC');  // 0x80
    EXPECT_EQ(title[0x01], u'\u0081');  // undefined in Windows-1252: the C1 control
    EXPECT_EQ(title[0x19], u'\u2122');  // 0x99
    EXPECT_EQ(title[0x1F], u'\u0178');  // 0x9F
    LentWords leds;
    const UploadResult result = library.exchange({}, leds.pointers());
    EXPECT_EQ(result.line1[0], u'\u20AC');
    EXPECT_EQ(result.line1[0x0D], u'\u008D');
    EXPECT_EQ(result.line1[0x13], u'\u201C');  // 0x93
    for (std::size_t i = 0; i < kLineSize; ++i) EXPECT_EQ(result.line2[i], 0xEC + i) << i;
}

// ---- a crash inside the library ------------------------------------------

// An access violation inside the DLL ends the process with that exception's
// code; nothing of ours hides it.
TEST(CrashingLibraryDeathTest, AnAccessViolationEndsTheProcess) {
    const std::string path = testLibrary("windows_crash");
    EXPECT_EXIT(
        {
            DriveLibrary library(path);
            library.initialise(kStation);
            LentWords leds;
            library.upload(leds.pointers());
            std::exit(0);
        },
        [](int status) { return static_cast<DWORD>(status) == EXCEPTION_ACCESS_VIOLATION; }, "");
}

}  // namespace
}  // namespace opstation
