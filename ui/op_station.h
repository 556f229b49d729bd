// OP_Station: the panel's one window. A fixed client area of 378 x 531
// logical pixels on a white background, carrying Picture1 (and with it the
// whole face) and, hidden under it, the hot spot threeKey.
//
// Wired to a drive library, it is the program: Form_Load starts the library
// and takes its title, Timer1 runs one exchange cycle every 40 ms, and
// closing the window runs Form_Unload, which stops the library. A failure at
// the library boundary stops the timer, is reported, and ends the program
// with a non-zero exit code; the library is not called again.
#pragma once

#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "opstation/panel/station_session.h"

class QLineEdit;
class Picture1;

namespace opstation {
class DriveLink;
class PanelInput;
}  // namespace opstation

class OP_Station final : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTimer1Interval = 40;  // milliseconds

    // Without a drive the window is only the face (for screenshots).
    explicit OP_Station(opstation::DriveLink *drive = nullptr, QWidget *parent = nullptr);
    ~OP_Station() override;

    Picture1 *picture1() const { return picture1_; }
    QLineEdit *text1() const;

    // Form_Load: opstat_initialise, then the title. False after a failure.
    bool Form_Load();
    // Starts Timer1; its first tick comes after Form_Load has returned.
    void startTimer1();
    // One exchange cycle.
    void Timer1_Timer();
    // Stops Timer1 and calls opstat_terminate, once.
    void Form_Unload();

    QTimer &timer1() { return timer1_; }
    opstation::StationSession &session() { return *session_; }
    // The library's title: the title buffer up to its first NUL.
    const opstation::Text &caption() const { return caption_; }
    // Shown in the title bar after the library's title (" — recording").
    void setTitleNote(const QString &note) { titleNote_ = note; }
    int exitCode() const { return exitCode_; }

    // What happens with a failure's message; by default it goes to stderr
    // and, where there is a display, into a message box.
    using FailureReporter = std::function<void(const QString &)>;
    void setFailureReporter(FailureReporter reporter) { reportFailure_ = std::move(reporter); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    template <typename Call>
    bool guarded(Call &&call);
    void fail(const QString &message, const FailureReporter &report);

    Picture1 *picture1_;
    QTimer timer1_;
    std::optional<opstation::StationSession> session_;
    std::unique_ptr<opstation::PanelInput> input_;
    opstation::Text caption_;
    QString titleNote_;
    FailureReporter reportFailure_;
    int exitCode_ = 0;
};
