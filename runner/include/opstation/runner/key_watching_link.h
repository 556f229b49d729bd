// A drive link that passes every call on to another one unchanged and keeps
// the keys of the last cycle, so the transcript can say what went down.
// The cycle's one exchange step stays one step.
#pragma once

#include "opstation/drive_link.h"

namespace opstation {

class KeyWatchingLink final : public DriveLink {
public:
    explicit KeyWatchingLink(DriveLink &inner) : inner_(inner) {}

    Text initialise(int32_t station) override { return inner_.initialise(station); }
    void terminate(int32_t station) override { inner_.terminate(station); }
    void download(const DownloadKeys &keys) override {
        lastKeys_ = keys;
        inner_.download(keys);
    }
    UploadResult upload(const UploadLedWords &leds) override { return inner_.upload(leds); }
    UploadResult exchange(const DownloadKeys &keys, const UploadLedWords &leds) override {
        lastKeys_ = keys;
        return inner_.exchange(keys, leds);
    }

    std::string loadedFile() const override { return inner_.loadedFile(); }

    const DownloadKeys &lastKeys() const { return lastKeys_; }

private:
    DriveLink &inner_;
    DownloadKeys lastKeys_{};
};

}  // namespace opstation
