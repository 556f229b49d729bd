// A file written in the background (a recording, a transcript): a write
// that fails later leaves whole lines only, up to the piece that failed,
// and names the cycle from which the file is incomplete.
#include "opstation/platform/background_file.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/resource.h>

#include "../support/files.h"

namespace {

TEST(BackgroundFile, AWriteThatFailsLaterLeavesWholeLinesAndNamesTheCycle) {
    const std::string path = (std::filesystem::path(::testing::TempDir()) / "background_file_test.txt").string();
    // Files may grow to 4 KiB here: the head and forty lines of 100 bytes
    // fit, the next line fails as on a full disk.
    rlimit before{};
    ::getrlimit(RLIMIT_FSIZE, &before);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    uint64_t incompleteFrom = 0;
    std::string expected = "# head\n";
    {
        opstation::platform::BackgroundFile file(path, "# head\n", [&](uint64_t cycle, const std::string &why) {
            incompleteFrom = cycle;
            EXPECT_EQ(why, "File too large");
        });
        for (uint64_t cycle = 1; cycle <= 60; ++cycle) {
            std::string line = "cycle " + std::to_string(cycle) + ": ";
            line += std::string(99 - line.size(), 'x') + "\n";
            file.append(line, cycle);
            if (cycle <= 40) expected += line;
            if (cycle % 20 == 0) file.flush();  // no piece spans cycles 40 and 41
        }
    }
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(incompleteFrom, 41u);
    EXPECT_EQ(opstation::test::slurp(path), expected);
}

TEST(BackgroundFile, AFileThatCannotBeWrittenAtTheStartIsRefused) {
    EXPECT_THROW(opstation::platform::BackgroundFile("/dev/full", "# head\n", nullptr), std::system_error);
    EXPECT_THROW(opstation::platform::BackgroundFile("/no/such/folder/file", "# head\n", nullptr), std::system_error);
}

}  // namespace
