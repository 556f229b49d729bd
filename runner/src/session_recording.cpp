#include "opstation/runner/session_recording.h"

#include <cstdio>

#include "opstation/runner/text_form.h"

namespace opstation {

namespace {

// The expectations a recording ends with hold by construction: title, two
// lines, seven LEDs. A live transcript ends as the replay's will.
constexpr uint64_t kRecordedExpectations = 10;

}  // namespace

SessionRecording::SessionRecording(std::string program, const Files &files) : program_(std::move(program)) {
    const auto toldOf = [this](const std::string &file) {
        return [this, file](uint64_t cycle, const std::string &reason) { incomplete(file, cycle, reason); };
    };
    if (files.record) {
        record_ = std::make_unique<platform::BackgroundFile>(*files.record, ScriptRecorder::firstLine(program_),
                                                             toldOf(*files.record));
        recorder_.emplace([this](std::string_view lines, uint64_t cycle) { record_->append(lines, cycle); });
    }
    if (files.transcript) {
        transcriptFile_ = std::make_unique<platform::BackgroundFile>(*files.transcript, "", toldOf(*files.transcript));
        transcript_.emplace(text_);
    }
}

void SessionRecording::incomplete(const std::string &file, uint64_t cycle, const std::string &reason) const {
    std::fprintf(stderr, "%s: %s is incomplete from exchange cycle %llu on: %s; the station goes on\n", program_.c_str(),
                 file.c_str(), static_cast<unsigned long long>(cycle), reason.c_str());
}

void SessionRecording::writeTranscript(uint64_t cycle) {
    transcriptFile_->append(text_.str(), cycle);
    text_.str({});
}

void SessionRecording::loaded(const StationSession &session, const Text &caption) {
    if (recorder_) {
        const std::string file = session.drive().loadedFile();
        recorder_->library(file, platform::sha256OfFile(file), record_->path());
    }
    if (transcript_) {
        transcript_->title(caption);
        writeTranscript(0);
    }
}

void SessionRecording::cycled(const StationSession &session) {
    if (recorder_) recorder_->cycle(session.cycles(), session.lastKeys());
    if (transcript_) {
        transcript_->cycle(session.cycles(), session.lastKeys(), session.display(), session.state());
        writeTranscript(session.cycles());
    }
}

// A library that fails in opstat_terminate has had all its cycles; one
// that fails in a cycle ended the cycles before it.
void SessionRecording::failed(const StationSession &session, std::string_view message) {
    if (recorder_) recorder_->failed(session.cycles(), session.lastKeys(), message, ending_.has_value());
    if (transcript_) {
        transcript_->end(ending_ || session.cycles() == 0 ? session.cycles() : session.cycles() - 1, "the drive library failed");
        writeTranscript(session.cycles());
    }
    ending_.reset();
    flush();
}

// The transcript's last line waits for opstat_terminate to return.
void SessionRecording::ending(const StationSession &session) {
    if (recorder_) recorder_->ended(session.caption(), session.display(), session.state());
    ending_ = session.cycles();
    flush();
}

SessionRecording::~SessionRecording() {
    if (transcript_ && ending_) {
        transcript_->end(*ending_, recorder_ ? "passed, " + counted(kRecordedExpectations, "expectation") + " held"
                                             : std::string("the session ended"));
        writeTranscript(*ending_);
    }
}

void SessionRecording::flush() {
    if (record_) record_->flush();
    if (transcriptFile_) transcriptFile_->flush();
}

}  // namespace opstation
