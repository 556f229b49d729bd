// What a live front end (the window, the browser station) writes of its
// session while it runs, through the session's watch: a recording, a
// script that op-station-run replays cycle for cycle (recording.h), and a
// transcript in the runner's own format, so that the live session and its
// replay can be compared byte for byte. Both files are written by threads
// of their own: the 40 ms cycle never waits on a disk.
#pragma once

#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "opstation/panel/station_session.h"
#include "opstation/platform/background_file.h"
#include "opstation/runner/recording.h"
#include "opstation/runner/transcript.h"

namespace opstation {

class SessionRecording final : public SessionWatch {
public:
    struct Files {
        std::optional<std::string> record;      // the script
        std::optional<std::string> transcript;
    };

    // Creates the files and writes their first line: throws
    // std::system_error naming the file when one cannot be written, before
    // the library is called. `program` names the front end in messages and
    // in the recording's head.
    SessionRecording(std::string program, const Files &files);
    // Ends the transcript of a session that ended well.
    ~SessionRecording() override;

    bool recording() const { return record_ != nullptr; }

    void loaded(const StationSession &session, const Text &caption) override;
    void cycled(const StationSession &session) override;
    void failed(const StationSession &session, std::string_view message) override;
    void ending(const StationSession &session) override;

private:
    void incomplete(const std::string &file, uint64_t cycle, const std::string &reason) const;
    void writeTranscript(uint64_t cycle);
    void flush();

    std::string program_;
    std::unique_ptr<platform::BackgroundFile> record_;
    std::unique_ptr<platform::BackgroundFile> transcriptFile_;
    std::optional<ScriptRecorder> recorder_;
    std::ostringstream text_;
    std::optional<Transcript> transcript_;
    std::optional<uint64_t> ending_;  // the cycles run, once the session is ending
};

}  // namespace opstation
