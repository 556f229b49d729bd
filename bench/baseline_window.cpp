// The cheapest always-on window we can think of, to measure the panel
// against: an empty 378 x 531 window whose 40 ms timer does nothing.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("baseline"));
    window.setFixedSize(378, 531);
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(40);
    QObject::connect(&timer, &QTimer::timeout, &window, [] {});
    window.show();
    timer.start();
    return app.exec();
}
