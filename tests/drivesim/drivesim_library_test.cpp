// The built libdrive.so through the panel's own loader, as the panel runs it.
#include <gtest/gtest.h>

#include <string>

#include "../support/library_symbol.h"
#include "opstation/drive_api.h"
#include "opstation/drive_library.h"

using namespace opstation;

namespace {

std::string narrow(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) out.push_back(static_cast<char>(c));
    return out;
}

}  // namespace

TEST(DriveSimLibrary, RunsHundredsOfCyclesThroughThePanelLoader) {
    DriveLibrary library(DRIVESIM_LIBRARY_PATH);
    const std::string title = narrow(library.initialise(kStation));
    EXPECT_EQ(title.substr(0, title.find('\0')), "KELVARA DRIVES - simulated drive, station 2");

    std::array<int16_t, 14> words{};
    UploadLedWords pointers{};
    for (std::size_t i = 0; i < words.size(); ++i) pointers[i] = &words[i];
    bool sawRunning = false;
    for (int cycle = 0; cycle < 400; ++cycle) {
        DownloadKeys keys{};
        if (cycle == 80) keys[7] = -1;   // RUN
        if (cycle == 300) keys[8] = -1;  // STOP
        library.download(keys);
        const UploadResult result = library.upload(pointers);
        ASSERT_EQ(result.result, 0);
        for (const Line *line : {&result.line1, &result.line2}) {
            for (std::size_t i = 0; i < 16; ++i) ASSERT_NE((*line)[i], u'\0');
            for (std::size_t i = 16; i < kLineSize; ++i) ASSERT_EQ((*line)[i], u'\0');
        }
        for (int16_t w : words) ASSERT_TRUE(w == 0 || w == -1);
        if (narrow(view(result.line1)).rfind("RUNNING", 0) == 0) {
            sawRunning = true;
            EXPECT_EQ(words[6], -1);  // run LED on
        }
    }
    EXPECT_TRUE(sawRunning);
    library.terminate(kStation);
}

// Each test runs in its own process, so this one sees the library before
// any initialise: calls then, and calls with null pointers, do nothing
// harmful.
TEST(DriveSimLibrary, CallsBeforeInitialiseAndNullPointersAreHarmless) {
    // The plain names: on Windows our drive.dll exports no decorated ones.
    const auto initialise = test::librarySymbol<decltype(&opstat_initialise)>(DRIVESIM_LIBRARY_PATH, "opstat_initialise");
    const auto terminate = test::librarySymbol<decltype(&opstat_terminate)>(DRIVESIM_LIBRARY_PATH, "opstat_terminate");
    const auto download = test::librarySymbol<decltype(&opstat_download)>(DRIVESIM_LIBRARY_PATH, "opstat_download");
    const auto upload = test::librarySymbol<decltype(&opstat_upload)>(DRIVESIM_LIBRARY_PATH, "opstat_upload");

    char line1[21] = {}, line2[21] = {};
    int16_t word = 7;
    download(-1, 0, 0, 0, 0, 0, 0, -1, 0, 0);
    EXPECT_NE(upload(&word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word,
                     line1, line2),
              0);  // nothing to show yet: the panel keeps its display
    EXPECT_EQ(word, 7);
    terminate(2);

    initialise(2, nullptr);
    EXPECT_EQ(upload(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    download(0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(upload(&word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word, &word,
                     line1, line2),
              0);
    EXPECT_NE(line1[0], '\0');
    terminate(2);
    terminate(2);
}
