// op-station-serve: the station in a browser. It runs the panel's session
// on a drive library, one exchange cycle every 40 ms whether or not anyone
// watches, and serves the panel's face as a page that any number of
// browsers (up to --max-clients) can open, here or across the network.
// See op-station-serve(1).
#include <array>
#include <charconv>
#include <cstdio>
#include <system_error>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "access.h"
#include "face_svg.h"
#include "opstation/platform/close_requests.h"
#include "opstation/platform/command_line.h"
#include "opstation/platform/desktop_browser.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/runner/session_recording.h"
#include "page_files.h"
#include "station_loop.h"
#include "web_server.h"

namespace {

using namespace opstation;
using namespace opstation::serve;
using namespace std::chrono_literals;

constexpr std::string_view kProgram = "op-station-serve";

constexpr std::string_view kHelp = R"(Usage: op-station-serve [OPTIONS]

Runs the OP Station panel on a drive library and serves it as a web page:
every browser that opens the page sees the same station and, with the
operator's address, works its keys. The address to open, with its access
token, is printed on standard output; the program serves until it gets
SIGTERM, SIGINT (Ctrl+C) or SIGHUP.

Options:
  --library PATH      use this drive library file: a Linux library, or a
                      Windows drive.dll, which runs under wine (default:
                      libdrive.so, found by the normal library search)
  --listen ADDR:PORT  listen on this address (default: 127.0.0.1:8040;
                      port 0 picks a free one). Any address but a loopback
                      one serves plain HTTP to the network: see the manual
                      page for a reverse proxy with TLS
  --allow-host NAME   also answer requests that name this host (a name the
                      station is reached by, e.g. through a proxy); repeatable
  --max-clients N     serve at most N pages at once (default: 32)
  --view-link         print a second address, on the next line, whose pages
                      may watch but not press keys
  --open              open the page in the desktop's browser
  --record FILE       record the session into FILE, a script that
                      op-station-run replays cycle for cycle (the pages
                      say that the session is being recorded)
  --transcript FILE   write the session's transcript, as op-station-run
                      writes a replay's, to compare the two
  --quiet             do not say which library file was loaded
  --help              show this help and exit
  --version           show the version and exit

Exit status: 0 closed on a signal; 1 the drive library failed (or hung at
the close); 2 a wrong command line, a file that cannot be written, or the
address cannot be listened on. See op-station-serve(1).
)";

using platform::UsageError;

struct ServeOptions {
    platform::DriveRequest drive{.program = std::string(kProgram)};
    std::string listen = "127.0.0.1:8040";
    std::vector<std::string> allowedHosts;
    std::size_t maxPages = 32;
    SessionRecording::Files files;
    bool viewLink = false;
    bool open = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

std::size_t pageCount(const std::string &text) {
    std::size_t count = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
    if (error != std::errc{} || end != text.data() + text.size() || count < 1 || count > 10000)
        throw UsageError{"--max-clients takes a number from 1 to 10000, not " + text};
    return count;
}

constexpr std::array<platform::Option<ServeOptions>, 11> kOptions = {{
    {"--library", true, [](ServeOptions &o, const std::string &v) { o.drive.libraryFile = v; }},
    {"--listen", true, [](ServeOptions &o, const std::string &v) { o.listen = v; }},
    {"--allow-host", true, [](ServeOptions &o, const std::string &v) { o.allowedHosts.push_back(v); }},
    {"--max-clients", true, [](ServeOptions &o, const std::string &v) { o.maxPages = pageCount(v); }},
    {"--view-link", false, [](ServeOptions &o, const std::string &) { o.viewLink = true; }},
    {"--open", false, [](ServeOptions &o, const std::string &) { o.open = true; }},
    {"--record", true, [](ServeOptions &o, const std::string &v) { o.files.record = v; }},
    {"--transcript", true, [](ServeOptions &o, const std::string &v) { o.files.transcript = v; }},
    {"--quiet", false, [](ServeOptions &o, const std::string &) { o.quiet = true; }},
    {"--help", false, [](ServeOptions &o, const std::string &) { o.help = true; }},
    {"--version", false, [](ServeOptions &o, const std::string &) { o.version = true; }},
}};

ServeOptions readOptions(int argc, char **argv) {
    ServeOptions options;
    platform::readCommandLine(argc, argv, kOptions, options, [](ServeOptions &, const std::string &argument) {
        throw UsageError{"unexpected argument " + argument};
    });
    return options;
}

void say(const std::string &text) {
    std::fprintf(stderr, "%s: %s\n", kProgram.data(), text.c_str());
    std::fflush(stderr);
}

// The page and what it loads, made once: the face from the face table.
std::vector<Asset> pageAssets() {
    std::string page(page_files::kIndexHtml);
    constexpr std::string_view kFaceMark = "<!--face-->";
    page.replace(page.find(kFaceMark), kFaceMark.size(), faceSvg());
    return {
        {"/", "text/html; charset=utf-8", std::move(page), true},
        {"/page.css", "text/css; charset=utf-8", std::string(page_files::kPageCss), false},
        {"/face.css", "text/css; charset=utf-8", faceCss(), false},
        {"/page.js", "text/javascript; charset=utf-8", std::string(page_files::kPageJs), false},
    };
}

WebSettings webSettings(const ServeOptions &options) {
    const auto listen = parseListenAddress(options.listen);
    if (!listen) throw UsageError{"--listen takes ADDRESS:PORT (such as 127.0.0.1:8040 or [::1]:0), not " + options.listen};
    AccessTokens tokens{newToken(), options.viewLink ? newToken() : std::string()};
    return {*listen, options.maxPages, options.allowedHosts, std::move(tokens), pageAssets()};
}

// --open hands the browser a file of ours that sends it on to the address:
// the token stays out of every command line, where other users of the
// machine could read it. The file goes when the program ends.
class BrowserOpening {
public:
    explicit BrowserOpening(const std::string &address) {
        namespace fs = std::filesystem;
        std::error_code ec;
        folder_ = fs::temp_directory_path(ec) / (std::string(kProgram) + "-" + newToken().substr(0, 12));
        if (ec || !fs::create_directory(folder_, ec) || ec) {
            say("cannot open the browser: no temporary folder");
            return;
        }
        fs::permissions(folder_, fs::perms::owner_all, ec);
        const fs::path page = folder_ / "open.html";
        std::ofstream(page) << "<!DOCTYPE html><meta charset=\"utf-8\"><meta name=\"referrer\" content=\"no-referrer\">"
                               "<meta http-equiv=\"refresh\" content=\"0;url="
                            << address << "\"><title>OP Station</title><a href=\"" << address << "\">OP Station</a>\n";
        if (const std::string error = platform::openInDesktopBrowser(page.string()); !error.empty())
            say("cannot open the browser: " + error);
    }
    ~BrowserOpening() {
        std::error_code ignored;
        if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
    }

private:
    std::filesystem::path folder_;
};

std::string milliseconds(std::chrono::microseconds time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f ms", static_cast<double>(time.count()) / 1000.0);
    return text;
}

std::string counted(uint64_t count, const std::string &thing) {
    return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

std::string summary(const StationLoop &station, const WebServer::Counts &counts) {
    const PeriodHistogram &periods = station.periods();
    std::string text = "ran " + counted(station.cycles(), "exchange cycle");
    if (periods.count() > 0) {
        text += ", period p50 " + milliseconds(periods.percentile(0.5)) + ", p99 " + milliseconds(periods.percentile(0.99)) +
                ", longest " + milliseconds(periods.longest()) + ", " + counted(station.slotsMissed(), "slot") + " missed";
    }
    return text + "; " + counted(counts.pagesServed, "page") + " served, " + std::to_string(counts.pagesRefused) +
           " refused, " + std::to_string(counts.pagesClosed) + " closed by the server; " +
           counted(counts.viewerMessages, "message") + " from view-only pages ignored";
}

int serveStation(const ServeOptions &options, SessionRecording &recording) {
    platform::catchCloseRequests();
    WebSettings settings = webSettings(options);
    settings.recording = recording.recording();
    const AccessTokens tokens = settings.tokens;
    // The drive and the station outlive the server's thread, which hands
    // the station the pages' keys.
    std::unique_ptr<DriveLink> drive;
    std::unique_ptr<StationLoop> station;
    WebServer server(settings);
    if (!server.onLoopback()) {
        say("warning: listening on " + options.listen + ", " + (server.listensEverywhere() ? "every address" : "not a loopback address") +
            ": the pages and their access tokens travel as plain HTTP, readable on the way; for use beyond this "
            "machine put a reverse proxy with TLS in front (see op-station-serve(1))");
    }
    const std::string base = "http://" + server.urlAuthority() + "/?token=";
    std::cout << base << tokens.operating << '\n';
    if (options.viewLink) std::cout << base << tokens.viewing << '\n';
    std::cout.flush();
    say("serving on " + server.urlAuthority() + "; open the address on standard output" +
        (options.viewLink ? " (the second one watches only)" : ""));

    drive = platform::openDrive(options.drive);
    station = std::make_unique<StationLoop>(
        *drive, [&server](std::shared_ptr<const std::string> state) { server.publish(std::move(state)); });
    station->setWatch(&recording);
    server.start([&station = *station](PanelKey key, bool down) { station.keyStep(key, down); });
    std::optional<BrowserOpening> browser;
    if (options.open) browser.emplace(base + tokens.operating);

    const auto sayWhichLibrary = [&] {
        if (!options.quiet) platform::sayLoadedLibrary(std::string(kProgram), drive->loadedFile());
    };
    const StationLoop::Ending ending = station->run(platform::closeRequestFlag(), sayWhichLibrary);
    if (!ending.message.empty()) say(ending.message);
    if (ending.how == StationLoop::Ending::How::failed) {
        server.end(failedMessage(ending.message));
        server.awaitEnd(900ms);
        say(summary(*station, server.counts()));
        return 1;
    }
    // Closed on request: the pages learn it first, then the library stops.
    server.end(closedMessage("The station was closed."));
    if (const std::string failure = station->unload(); !failure.empty()) say(failure);
    server.awaitEnd(500ms);
    say(summary(*station, server.counts()));
    // A call given up on the close request is the library's failure, as
    // the window and the runner count it.
    return ending.message.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    std::ios::sync_with_stdio(false);
    setLoadFaultExit(std::string(kProgram), 1);
    try {
        const ServeOptions options = readOptions(argc, argv);
        if (options.help) return std::cout << kHelp, 0;
        if (options.version) return std::cout << kProgram << ' ' << OPSTATION_VERSION << '\n', 0;
        // The files are made before the library is called: one that cannot
        // be written stops the program at once.
        SessionRecording recording(std::string(kProgram), options.files);
        return serveStation(options, recording);
    } catch (const UsageError &error) {
        say(error.message);
        if (error.pointToHelp) std::fprintf(stderr, "Try '%s --help'.\n", kProgram.data());
        return 2;
    } catch (const ListenError &error) {
        say(error.what());
        return 2;
    } catch (const std::system_error &error) {  // a recording's file
        say(error.what());
        return 2;
    }
}
