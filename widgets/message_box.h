#pragma once
// The program's message boxes go through here, so headless tests can answer them without a
// blocking window and read the exact text shown.
//
// Each call shows one application-modal box and returns when the user has closed it; every
// other window of the program is disabled meanwhile and the active window is re-activated
// afterwards. The boxes cannot fail: they have no result but being closed.

#include <QString>

#include <functional>
#include <vector>

class QWidget;

namespace palvane {

enum class BoxKind { Information, Error };

struct ShownBox {
    BoxKind kind;
    QString caption;
    QString text;
};

// The information box: caption "Information", information icon, one OK, centred, modal.
void showInformation(const QString& text);
// The error box of the error report: stop icon, the application title as caption, one OK.
void showErrorBox(const QString& text);

// Test seam: while a hook is installed, boxes are not shown; the hook receives each one.
namespace message_box_seam {
void install(std::function<void(const ShownBox&)> hook);
void uninstall();
// Convenience for tests: records every box into the returned log until uninstall().
std::vector<ShownBox>& recordAll();
} // namespace message_box_seam

} // namespace palvane
