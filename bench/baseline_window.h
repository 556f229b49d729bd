// The cheapest always-on window we can think of, to measure the panel
// against: an empty 378 x 531 window whose 40 ms timer does nothing.
#pragma once

#include <QTimer>
#include <QWidget>

struct BaselineWindow {
    QWidget window;
    QTimer timer;

    BaselineWindow() {
        window.setObjectName(QStringLiteral("baseline"));
        window.setWindowTitle(QStringLiteral("baseline"));
        window.setFixedSize(378, 531);
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(40);
        QObject::connect(&timer, &QTimer::timeout, &window, [] {});
    }

    void start() {
        window.show();
        timer.start();
    }
};
