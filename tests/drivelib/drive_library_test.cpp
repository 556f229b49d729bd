// The real loader against drive libraries built for tests: a recording one,
// and one lacking each entry point in turn.
#include "opstation/drive_library.h"

#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "../libs/recording_drive.h"
#include "../support/library_symbol.h"
#include "opstation/ansi_codepage.h"

namespace opstation {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using test::testLibrary;

// What the platform's loader says of a file that is not there.
#if defined(_WIN32)
constexpr const char *kNoSuchFile = "(error 126)";  // ERROR_MOD_NOT_FOUND
#else
constexpr const char *kNoSuchFile = "No such file";
#endif

class ThroughTheLoader : public ::testing::Test {
protected:
    std::string path = testLibrary("recording_drive");
    RecordingDrive &rec = sharedRecording();
    DriveLibrary library{path};

    UploadLedWords wordsOf(std::array<int16_t, 14> &words) {
        UploadLedWords pointers{};
        for (std::size_t i = 0; i < 14; ++i) pointers[i] = &words[i];
        return pointers;
    }
};

TEST_F(ThroughTheLoader, InitialiseLendsA128ByteNulBufferAndReturnsItWhole) {
    rec.title = "Test drive";
    const Text title = library.initialise(kStation);
    EXPECT_EQ(rec.initialiseStation, 2);
    for (unsigned char byte : rec.titleOnEntry) EXPECT_EQ(byte, 0);  // 128 NULs plus the one after
    ASSERT_EQ(title.size(), kTitleSize);
    EXPECT_EQ(title.substr(0, 10), u"Test drive");
    EXPECT_EQ(title.substr(10), std::u16string(kTitleSize - 10, u'\0'));
}

TEST_F(ThroughTheLoader, TitleFillingAll128BytesIsTakenWhole) {
    rec.title = std::string(kTitleSize, 'T');
    const Text title = library.initialise(kStation);
    EXPECT_EQ(title, std::u16string(kTitleSize, u'T'));
}

TEST_F(ThroughTheLoader, EmptyTitleIsAllNuls) {
    EXPECT_EQ(library.initialise(kStation), std::u16string(kTitleSize, u'\0'));
}

TEST_F(ThroughTheLoader, TerminatePassesTheStation) {
    library.terminate(kStation);
    EXPECT_EQ(rec.terminateStation, 2);
    EXPECT_THAT(rec.calls, ElementsAre("terminate"));
}

TEST_F(ThroughTheLoader, DownloadPassesTheTenKeysInOrder) {
    library.download({-1, 0, -1, 0, 0, -1, 0, 0, -1, -1});
    library.download({0, -1, 0, -1, -1, 0, -1, -1, 0, 0});
    ASSERT_EQ(rec.downloads.size(), 2u);
    EXPECT_THAT(rec.downloads[0], ElementsAre(-1, 0, -1, 0, 0, -1, 0, 0, -1, -1));
    EXPECT_THAT(rec.downloads[1], ElementsAre(0, -1, 0, -1, -1, 0, -1, -1, 0, 0));
}

TEST_F(ThroughTheLoader, UploadLendsTheLedWordsAndTwoNulLines) {
    std::array<int16_t, 14> words{};
    const UploadLedWords pointers = wordsOf(words);
    rec.ledWords = std::array<int16_t, 14>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    library.upload(pointers);
    EXPECT_EQ(rec.uploadPointers, pointers);
    EXPECT_THAT(words, ElementsAre(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14));
    for (unsigned char byte : rec.line1OnEntry) EXPECT_EQ(byte, 0);  // 20 NULs plus the one after
    for (unsigned char byte : rec.line2OnEntry) EXPECT_EQ(byte, 0);
}

TEST_F(ThroughTheLoader, UploadTakesBackWholeLinesWithNulsAndHighBytes) {
    rec.line1 = std::string("AB\0CD\x80\x81\xE9\xFF", 9);
    rec.line2 = std::string(kLineSize, 'z');
    rec.uploadResult = 7;
    std::array<int16_t, 14> words{};
    const UploadResult result = library.upload(wordsOf(words));
    EXPECT_EQ(result.result, 7);
    const std::u16string expected1 = std::u16string(u"AB\0CD\u20AC\u0081\u00E9\u00FF", 9) + std::u16string(11, u'\0');
    EXPECT_EQ(std::u16string(view(result.line1)), expected1);
    EXPECT_EQ(std::u16string(view(result.line2)), std::u16string(kLineSize, u'z'));
}

TEST_F(ThroughTheLoader, CallsReachTheLibraryInOrder) {
    std::array<int16_t, 14> words{};
    library.initialise(kStation);
    library.download({});
    library.upload(wordsOf(words));
    library.terminate(kStation);
    EXPECT_THAT(rec.calls, ElementsAre("initialise", "download", "upload", "terminate"));
}

// ---- failures -------------------------------------------------------------

TEST(LoaderFailure, MissingLibraryNamesTheFileAndTheReason) {
    const std::string path = std::string(OPSTATION_TESTLIBS_DIR) + "/no-such-folder/" + kDefaultDriveLibrary;
    DriveLibrary library(path);
    try {
        library.initialise(kStation);
        FAIL() << "no error";
    } catch (const DriveLibraryError &error) {
        EXPECT_THAT(error.what(), AllOf(HasSubstr(path), HasSubstr(kNoSuchFile)));
    }
}

// A bare name is found by the library search, never in the current folder.
TEST(LoaderFailure, BareNameIsNotLookedUpInTheCurrentFolder) {
    const auto folder = std::filesystem::temp_directory_path() / ("opstation-cwd-" + std::to_string(getpid()));
    const std::string name = std::string("cwd-only-") + kDefaultDriveLibrary;
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testLibrary("recording_drive"), folder / name,
                               std::filesystem::copy_options::overwrite_existing);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder);
    DriveLibrary library(name);
    EXPECT_THROW(library.download({}), DriveLibraryError);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}

// A library that could not be loaded is not tried again, even once it
// would load: the panel stops at the first failure.
TEST(LoaderFailure, NothingIsRetried) {
    const auto folder = std::filesystem::temp_directory_path() / ("opstation-retry-" + std::to_string(getpid()));
    std::filesystem::remove_all(folder);
    const std::string path = (folder / kDefaultDriveLibrary).string();
    DriveLibrary library(path);
    EXPECT_THROW(library.download({}), DriveLibraryError);
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(testLibrary("recording_drive"), path);
    try {
        library.download({});
        ADD_FAILURE() << "the load was tried again";
    } catch (const DriveLibraryError &error) {
        EXPECT_THAT(error.what(), HasSubstr(kNoSuchFile));  // the first failure, as it was
    }
    std::filesystem::remove_all(folder);
}

struct MissingEntry {
    const char *libraryName;
    const char *entryPoint;
};

void PrintTo(const MissingEntry &missing, std::ostream *out) { *out << missing.entryPoint; }

class LibraryWithoutEntryPoint : public ::testing::TestWithParam<MissingEntry> {};

// The missing entry point fails at its own first call, naming itself; the
// others go on working.
TEST_P(LibraryWithoutEntryPoint, FailsAtThatEntryPointOnly) {
    const MissingEntry missing = GetParam();
    const std::string path = testLibrary(missing.libraryName);
    DriveLibrary library(path);
    std::array<int16_t, 14> words{};
    UploadLedWords pointers{};
    for (std::size_t i = 0; i < 14; ++i) pointers[i] = &words[i];
    const std::vector<std::pair<std::string, std::function<void()>>> calls = {
        {"opstat_initialise", [&] { library.initialise(kStation); }},
        {"opstat_download", [&] { library.download({}); }},
        {"opstat_upload", [&] { library.upload(pointers); }},
        {"opstat_terminate", [&] { library.terminate(kStation); }},
    };
    for (const auto &[name, call] : calls) {
        if (name != missing.entryPoint) {
            EXPECT_NO_THROW(call()) << name;
            continue;
        }
        try {
            call();
            ADD_FAILURE() << name << " did not fail";
        } catch (const DriveLibraryError &error) {
            EXPECT_THAT(error.what(), AllOf(HasSubstr(name), HasSubstr(path)));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EachEntryPoint, LibraryWithoutEntryPoint,
                         ::testing::Values(MissingEntry{"drive_without_initialise", "opstat_initialise"},
                                           MissingEntry{"drive_without_terminate", "opstat_terminate"},
                                           MissingEntry{"drive_without_download", "opstat_download"},
                                           MissingEntry{"drive_without_upload", "opstat_upload"}),
                         [](const auto &info) { return std::string(info.param.entryPoint); });

// ---- code page --------------------------------------------------------------

TEST(AnsiCodePage, EveryByteIsOneCharacter) {
    std::string all(256, '\0');
    for (int b = 0; b < 256; ++b) all[static_cast<std::size_t>(b)] = static_cast<char>(b);
    const std::u16string text = decodeAnsi(all.data(), all.size());
    ASSERT_EQ(text.size(), 256u);
    for (int b : {0x00, 0x41, 0x7F, 0xA0, 0xE9, 0xFF}) EXPECT_EQ(text[static_cast<std::size_t>(b)], b);
    EXPECT_EQ(text[0x80], u'\u20AC');
    EXPECT_EQ(text[0x9F], u'\u0178');
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(text[static_cast<std::size_t>(b)], b);
}

}  // namespace
}  // namespace opstation
