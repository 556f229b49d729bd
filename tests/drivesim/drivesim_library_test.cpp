// The built libdrive.so through the panel's own loader, as the panel runs it.
#include <gtest/gtest.h>

#include <string>

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
