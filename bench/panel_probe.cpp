// Watches a running panel (or the baseline window) from inside the process:
// when the first frame was painted, how regular Timer1's ticks are, and
// which rectangles are repainted. Prints one `name=value` line per figure.
//
//   op-station-probe panel|baseline SECONDS [idle|flash|line]
//
// idle: nothing changes. flash: JOG is held, so the simulated drive jogs
// and flashes the RUN LED. line: UP is tapped once, so line 2 changes.
#include <QApplication>
#include <QElapsedTimer>
#include <QPaintEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "baseline_window.h"
#include "op_station.h"
#include "opstation/platform/drive_opening.h"
#include "opstation/panel/key_model.h"
#include "percentiles.h"
#include "picture1.h"
#include "run_panel.h"

namespace {

using Clock = std::chrono::steady_clock;

long long epochNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class Probe : public QObject {
public:
    explicit Probe(double settleSeconds) : settle_(settleSeconds) { started_.start(); }

    void watchTimer(QTimer &timer) {
        QObject::connect(&timer, &QTimer::timeout, this, [this] { ticks_.push_back(Clock::now()); });
    }

    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() == QEvent::Paint && object->isWidgetType()) {
            if (firstFrame_ == 0) firstFrame_ = epochNanoseconds();
            if (double(started_.elapsed()) >= settle_ * 1000) {
                const QRect r = static_cast<QPaintEvent *>(event)->rect();
                const std::string key = object->objectName().toStdString() + " " + std::to_string(r.x()) + "," +
                                        std::to_string(r.y()) + " " + std::to_string(r.width()) + "x" +
                                        std::to_string(r.height());
                ++paints_[key];
            }
        }
        return false;
    }

    void report(double seconds) const {
        std::printf("first_frame_epoch_ns=%lld\n", firstFrame_);
        std::vector<double> intervals;
        for (std::size_t i = 1; i < ticks_.size(); ++i)
            intervals.push_back(std::chrono::duration<double, std::milli>(ticks_[i] - ticks_[i - 1]).count());
        const opstation::bench::Percentiles tick(std::move(intervals));
        std::printf("ticks=%zu\ntick_median_ms=%.3f\ntick_p99_ms=%.3f\ntick_max_ms=%.3f\n", ticks_.size(), tick.at(0.5),
                    tick.at(0.99), tick.max());
        int total = 0;
        for (const auto &[rect, count] : paints_) total += count;
        std::printf("paints_after_settle=%d\npaints_per_second=%.2f\n", total, total / (seconds - settle_));
        for (const auto &[rect, count] : paints_) std::printf("paint %s count=%d\n", rect.c_str(), count);
    }

private:
    double settle_;
    QElapsedTimer started_;
    long long firstFrame_ = 0;
    std::vector<Clock::time_point> ticks_;
    std::map<std::string, int> paints_;
};

int runBaseline(QApplication &app, Probe &probe, double seconds) {
    BaselineWindow baseline;
    probe.watchTimer(baseline.timer);
    baseline.start();
    QTimer::singleShot(int(seconds * 1000), &app, &QApplication::quit);
    return app.exec();
}

}  // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "panel";
    // As op-station runs it: through the drive host, started before Qt.
    std::unique_ptr<opstation::DriveLink> drive;
    if (mode != "baseline") drive = opstation::platform::openDrive({.hostFolder = OPSTATION_HOST_FOLDER});
    QApplication app(argc, argv);
    const double seconds = argc > 2 ? std::stod(argv[2]) : 20.0;
    const std::string scenario = argc > 3 ? argv[3] : "idle";
    const double settle = scenario == "idle" ? 2.0 : 4.0;
    Probe probe(settle);
    app.installEventFilter(&probe);

    int code = 0;
    if (mode == "baseline") {
        code = runBaseline(app, probe, seconds);
    } else {
        code = opstation::runPanel(app, *drive, {.onShown = [&](OP_Station &window) {
            probe.watchTimer(window.timer1());
            opstation::StationState &state = window.session().state();
            if (scenario == "flash") opstation::press(state, opstation::PanelKey::jog);
            if (scenario == "line") {
                QTimer::singleShot(int(settle * 1000) + 500, &window, [&state] {
                    opstation::press(state, opstation::PanelKey::up);
                    opstation::release(state, opstation::PanelKey::up);
                });
            }
            QTimer::singleShot(int(seconds * 1000), &window, &QWidget::close);
        }});
    }
    probe.report(seconds);
    return code;
}
