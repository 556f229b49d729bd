#include "op_station.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <exception>

#include "face_accessibility.h"
#include "face_painter.h"
#include "opstation/hosted_drive.h"
#include "fatal_error.h"
#include "panel_input.h"
#include "picture1.h"
#include "window_icon.h"

namespace face = opstation::face;

namespace {

// The title bar shows the caption as it stands: "[*]" is Qt's placeholder
// for the modified mark and is doubled to show as itself, and an empty title
// (which Qt would replace by the program's name) is shown as one blank.
QString titleBarText(const opstation::Text &caption) {
    QString title = QString::fromUtf16(caption.data(), qsizetype(caption.size()));
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    return title.isEmpty() ? QStringLiteral(" ") : title;
}

}  // namespace

OP_Station::OP_Station(opstation::DriveLink *drive, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      picture1_(nullptr),
      reportFailure_(opstation::reportFatalError) {
    const face::Window &design = face::window();
    setObjectName(QStringLiteral("OP_Station"));
    setWindowTitle(QString::fromUtf8(design.title.data(), qsizetype(design.title.size())));
    setWindowIcon(face::windowIcon());
    setFont(face::toQFont(design.font));
    setFixedSize(design.clientWidth / face::kTwipsPerPixel, design.clientHeight / face::kTwipsPerPixel);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers the whole client area
    // The face is fixed: a right-to-left desktop or application mirrors
    // neither the legends nor the hint box.
    setLayoutDirection(Qt::LeftToRight);

    // Assistive technology sees the painted face from its first moment.
    face::installAccessibility();
    picture1_ = new Picture1(this);
    // Labels are not widgets, so Picture1 and Text1 are the only tab stops.
    setTabOrder(picture1_, picture1_->text1());
    picture1_->setFocus();

    timer1_.setObjectName(QStringLiteral("Timer1"));
    timer1_.setTimerType(Qt::PreciseTimer);
    timer1_.setInterval(kTimer1Interval);
    connect(&timer1_, &QTimer::timeout, this, &OP_Station::Timer1_Timer);

    if (drive != nullptr) {
        session_.emplace(*drive, *picture1_, *picture1_);
        input_ = std::make_unique<opstation::PanelInput>(session_->state(), session_->keyboard(), &Picture1::keyAt);
        picture1_->setInput(input_.get());
        picture1_->setStation(&session_->state());
    }
}

OP_Station::~OP_Station() {
    picture1_->setInput(nullptr);
    // A window destroyed without being closed still stops its library.
    Form_Unload();
}

QLineEdit *OP_Station::text1() const { return picture1_->text1(); }

// Library failures are caught where they happen: nothing may cross Qt's
// event loop as an exception.
template <typename Call>
bool OP_Station::guarded(Call &&call) {
    try {
        call();
        return true;
    } catch (const opstation::DriveInterrupted &error) {
        // The program is closing on a signal: no box to hold it up.
        fail(QString::fromLocal8Bit(error.what()), opstation::reportOnStderr);
    } catch (const std::exception &error) {
        fail(QString::fromLocal8Bit(error.what()), reportFailure_);
    } catch (...) {
        fail(QStringLiteral("the drive library failed with an unknown error"), reportFailure_);
    }
    return false;
}

void OP_Station::fail(const QString &message, const FailureReporter &report) {
    timer1_.stop();  // before any box: its event loop would run cycles
    if (session_) session_->abandon();
    exitCode_ = opstation::kFailureExitCode;
    report(message);
    if (isVisible()) QCoreApplication::exit(exitCode_);
}

bool OP_Station::Form_Load() {
    if (!session_) return false;
    return guarded([&] {
        caption_ = session_->load();
        setWindowTitle(titleBarText(caption_) + titleNote_);
    });
}

void OP_Station::startTimer1() {
    if (session_ && session_->phase() == opstation::StationSession::Phase::running) timer1_.start();
}

void OP_Station::Timer1_Timer() {
    if (session_) guarded([&] { session_->runCycle(); });
}

void OP_Station::Form_Unload() {
    timer1_.stop();
    if (session_) guarded([&] { session_->unload(); });
}

// White background, then the window's own labels (threeKey), which Picture1
// covers.
void OP_Station::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), face::toQColor(face::window().back, palette()));
    face::paintControls(painter, face::Container::window, event->rect(), face::LiveValues::atCreation(), palette());
}

// The unload always goes ahead.
void OP_Station::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

// A window that stops being active loses the mouse: a button let go
// elsewhere sends no release here.
void OP_Station::changeEvent(QEvent *event) {
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && input_) input_->mouseLost();
    QWidget::changeEvent(event);
}

void OP_Station::hideEvent(QHideEvent *event) {
    if (input_) input_->mouseLost();
    QWidget::hideEvent(event);
}
