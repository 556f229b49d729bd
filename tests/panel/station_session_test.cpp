#include "opstation/panel/station_session.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace opstation {
namespace {

using ::testing::ElementsAre;

class ScriptedDrive : public DriveLink {
public:
    Text title = Text(kTitleSize, u'\0');
    std::string failing;  // the call that throws
    std::vector<std::string> calls;

    Text initialise(int32_t) override { return record("initialise"), title; }
    void terminate(int32_t) override { record("terminate"); }
    void download(const DownloadKeys &) override { record("download"); }
    UploadResult upload(const UploadLedWords &) override { return record("upload"), UploadResult{}; }

private:
    void record(const std::string &call) {
        calls.push_back(call);
        if (call == failing) throw std::runtime_error(call + " failed");
    }
};

class Session : public ::testing::Test {
protected:
    ScriptedDrive drive;
    MemoryDisplayLines display;
    struct : LedColours {
        void setLedColour(Led, Colour) override {}
    } leds;
    StationSession session{drive, display, leds};
};

TEST(Caption, IsTheTitleUpToItsFirstNul) {
    Text buffer(kTitleSize, u'\0');
    buffer.replace(0, 5, u"Drive");
    buffer[7] = u'x';
    EXPECT_EQ(captionOf(buffer), u"Drive");
}

TEST(Caption, TitleWithoutNulIsShownWhole) {
    EXPECT_EQ(captionOf(Text(kTitleSize, u'W')), Text(kTitleSize, u'W'));
}

TEST(Caption, NothingWrittenGivesAnEmptyCaption) { EXPECT_EQ(captionOf(Text(kTitleSize, u'\0')), u""); }

TEST_F(Session, NoCycleRunsBeforeLoad) {
    session.runCycle();
    EXPECT_TRUE(drive.calls.empty());
}

TEST_F(Session, LoadThenCyclesThenTerminateOnce) {
    drive.title.replace(0, 4, u"Test");
    EXPECT_EQ(session.load(), u"Test");
    session.runCycle();
    session.unload();
    session.unload();
    session.runCycle();
    EXPECT_THAT(drive.calls, ElementsAre("initialise", "download", "upload", "terminate"));
}

TEST_F(Session, FailedLoadMakesNoFurtherCall) {
    drive.failing = "initialise";
    EXPECT_THROW(session.load(), std::runtime_error);
    session.runCycle();
    session.unload();
    EXPECT_THAT(drive.calls, ElementsAre("initialise"));
    EXPECT_EQ(session.phase(), StationSession::Phase::finished);
}

TEST_F(Session, FailedCycleMakesNoFurtherCall) {
    session.load();
    drive.failing = "upload";
    EXPECT_THROW(session.runCycle(), std::runtime_error);
    session.runCycle();
    session.unload();
    EXPECT_THAT(drive.calls, ElementsAre("initialise", "download", "upload"));
}

TEST_F(Session, FailedTerminateIsNotRetried) {
    session.load();
    drive.failing = "terminate";
    EXPECT_THROW(session.unload(), std::runtime_error);
    session.unload();
    EXPECT_THAT(drive.calls, ElementsAre("initialise", "terminate"));
}

TEST_F(Session, UnloadWithoutLoadCallsNothing) {
    session.unload();
    EXPECT_TRUE(drive.calls.empty());
}

}  // namespace
}  // namespace opstation
