// Palvane 32: an address book for the people you meet on IRC.

#include "app/window_set.h"
#include "main_window/tform1.h"
#include "widgets/error_report.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The main window places itself where it was last closed; a Wayland session does not let
    // a window do that, so run through XWayland unless the user chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("palvane"));
    app.setQuitOnLastWindowClosed(false); // the two ways to end are explicit

    palvane::createWindowSet();
    Form1->show();
    const int result = app.exec();
    palvane::destroyWindowSet();
    return result;
}
