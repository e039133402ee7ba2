#include "widgets/message_box.h"

#include "widgets/centred_window.h"
#include "widgets/error_report.h"

#include <QApplication>
#include <QMessageBox>

#include <memory>

namespace palvane {
namespace {

std::function<void(const ShownBox&)>& hook() {
    static std::function<void(const ShownBox&)> h;
    return h;
}

std::vector<ShownBox>& log() {
    static std::vector<ShownBox> l;
    return l;
}

// A message box lays a wrapping text out again when it is shown, so it is centred from there.
using CentredBox = Centred<QMessageBox>;

void showBox(BoxKind kind, const QString& caption, const QString& text) {
    if (hook()) {
        hook()(ShownBox{kind, caption, text});
        return;
    }
    QWidget* previous = QApplication::activeWindow();
    CentredBox box(kind == BoxKind::Information ? QMessageBox::Information : QMessageBox::Critical,
                   caption, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    if (previous)
        previous->activateWindow();
}

} // namespace

void showInformation(const QString& text) {
    showBox(BoxKind::Information, QStringLiteral("Information"), text);
}

void showErrorBox(const QString& text) {
    showBox(BoxKind::Error, QString::fromLatin1(kApplicationTitle), text);
}

namespace message_box_seam {
void install(std::function<void(const ShownBox&)> h) {
    hook() = std::move(h);
}
void uninstall() {
    hook() = nullptr;
}
std::vector<ShownBox>& recordAll() {
    log().clear();
    hook() = [](const ShownBox& b) { log().push_back(b); };
    return log();
}
} // namespace message_box_seam

} // namespace palvane
