// The bridge to a Windows drive library: to the panel a drive library like
// any other (libdrive.so), it runs the drive.dll that lies in its own folder
// in the Windows drive host under wine, and passes each call on.
//
// An exchange cycle is one round trip to the Windows host: opstat_download
// only keeps the keys, opstat_upload makes both calls there. The bytes of
// the title and the lines come back exactly as the DLL wrote them. A
// failure (no wine, no DLL, a damaged one, a missing entry point, a crash,
// a hang) is kept and reported through opstation_bridge_failure, naming
// the DLL, the entry point and the cause; after it the DLL is never called
// again.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "opstation/drive_link.h"
#include "opstation/hosted_drive.h"

namespace opstation::winbridge {

// A little shorter than the drive host's own limits (HostLimits), so that
// a DLL that hangs is reported by name before the panel's watchdog stops
// the bridge. The first call's limit also covers preparing the wine prefix.
inline constexpr HostLimits kBridgeLimits{.initialise = std::chrono::milliseconds(28'000),
                                          .cycle = std::chrono::milliseconds(2'500),
                                          .terminate = std::chrono::milliseconds(4'500)};

class Bridge {
public:
    // `bridgeFile`: the bridge's own file as it was loaded, symbolic links
    // kept: its folder holds drive.dll.
    explicit Bridge(std::string bridgeFile);

    void initialise(int32_t station, char *title);
    void terminate(int32_t station);
    void download(const DownloadKeys &keys);
    int16_t upload(const UploadLedWords &leds, char *line1, char *line2);

    // The failure of the last call or of an earlier one; null while none.
    const char *failure() const { return failure_ ? failure_->c_str() : nullptr; }

private:
    void start(int32_t station, char *title);
    template <typename Call>
    void guarded(const char *entryPoint, Call &&call);
    std::string underOurNames(std::string message) const;

    std::string bridgeFile_;
    std::string dll_;         // the DLL as messages name it
    std::string windowsDll_;  // the same as the Windows host names it
    std::unique_ptr<HostedDrive> drive_;
    DownloadKeys keys_{};
    std::optional<std::string> failure_;
};

}  // namespace opstation::winbridge
