#include "op_station.h"

#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>

#include "face_painter.h"
#include "picture1.h"
#include "window_icon.h"

namespace face = opstation::face;

OP_Station::OP_Station(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      picture1_(nullptr) {
    const face::Window &design = face::window();
    setObjectName(QStringLiteral("OP_Station"));
    setWindowTitle(QString::fromUtf8(design.title.data(), qsizetype(design.title.size())));
    setWindowIcon(face::windowIcon());
    setFont(face::toQFont(design.font));
    setFixedSize(design.clientWidth / face::kTwipsPerPixel, design.clientHeight / face::kTwipsPerPixel);
    setAttribute(Qt::WA_OpaquePaintEvent);  // paintEvent covers the whole client area

    picture1_ = new Picture1(this);
    // Labels are not widgets, so Picture1 and Text1 are the only tab stops.
    setTabOrder(picture1_, picture1_->text1());
    picture1_->setFocus();
}

QLineEdit *OP_Station::text1() const { return picture1_->text1(); }

// White background, then the window's own labels (threeKey), which Picture1
// covers.
void OP_Station::paintEvent(QPaintEvent *event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), face::toQColor(face::window().back, palette()));
    face::paintControls(painter, face::Container::window, event->rect(), face::LiveValues::atCreation(), palette());
}
