#include "baseline_window.h"

#include <QApplication>

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    BaselineWindow baseline;
    baseline.start();
    return app.exec();
}
