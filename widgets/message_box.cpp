#include "widgets/message_box.h"

#include "widgets/error_report.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

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

void centreOnScreen(QWidget* box) {
    box->adjustSize();
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        box->move(area.x() + (area.width() - box->width()) / 2,
                  area.y() + (area.height() - box->height()) / 2);
    }
}

void showBox(BoxKind kind, const QString& caption, const QString& text) {
    if (hook()) {
        hook()(ShownBox{kind, caption, text});
        return;
    }
    QMessageBox box(kind == BoxKind::Information ? QMessageBox::Information : QMessageBox::Critical,
                    caption, text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    centreOnScreen(&box);
    QWidget* previous = QApplication::activeWindow();
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
