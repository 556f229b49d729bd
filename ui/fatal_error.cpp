#include "fatal_error.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>

namespace opstation {

bool canShowMessageBox() {
    const QString platform = QGuiApplication::platformName();
    return !platform.isEmpty() && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void reportOnStderr(const QString &message) {
    std::fprintf(stderr, "op-station: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
}

void reportFatalError(const QString &message) {
    reportOnStderr(message);
    if (canShowMessageBox()) QMessageBox::critical(nullptr, QStringLiteral("OP Station"), message);
}

}  // namespace opstation
