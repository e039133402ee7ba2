#include "widgets/error_report.h"

#include "widgets/message_box.h"

#include <QApplication>
#include <QWidget>

namespace palvane {

void reportError(const std::exception& error) {
    if (dynamic_cast<const SilentAbort*>(&error))
        return;
    // A capture left by a press would otherwise keep steering mouse input after the box.
    if (QWidget* grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    showErrorBox(QString::fromUtf8(error.what()) + QLatin1Char('.'));
}

void reportUnknownError() {
    showErrorBox(QStringLiteral("Unknown error."));
}

} // namespace palvane
