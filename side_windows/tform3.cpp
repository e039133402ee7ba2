#include "side_windows/tform3.h"

#include "core/error.h"
#include "side_windows/picture_box.h"
#include "store/table.h"

#include <QFileInfo>
#include <QFont>

#include <algorithm>

namespace {
// The design's outer size is 627 x 432 with a frame of 10 x 29; the window manager adds our
// frame, so the client area takes the rest.
constexpr QSize kDesignClient(617, 403);
constexpr QRect kDesignImage(0, 0, 427, 273);
// Narrower than this, a title bar has no room for the caption, the window's icon and its three
// boxes: a tiny picture would give a window that shows no title and cannot be closed with the
// mouse. Such a picture stays at the top left of a wider window.
constexpr int kMinClientWidth = 160;
constexpr Qt::WindowStates kNotNormal =
    Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized;
} // namespace

TForm3::TForm3(QWidget* parent) : palvane::SideWindow(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Image"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    resize(kDesignClient);

    Image1 = new palvane::PictureBox(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(kDesignImage);
    Image1->setAutoSize(true);
    Image1->setCenter(true);
    Image1->setAccessibleName(QStringLiteral("No picture"));
    Image1->setAccessibleDescription(
        QStringLiteral("The contact's picture, shown here at its natural size"));
}

void TForm3::FormShow() {
    palvane::Table* table = table_;
    if (!table)
        throw palvane::Error(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const QString path = table->fieldByName(palvane::FieldPicture).asString();
    Image1->LoadFromFile(path);
    // A window left maximised would keep the screen's size: it is fitted like any other.
    if (windowState() & kNotNormal)
        setWindowState(windowState() & ~kNotNormal);
    // The client area fits the picture; the frame around it belongs to the window manager.
    resize(std::max(Image1->width(), kMinClientWidth), Image1->height());
    // A screen reader says what the eye sees: which picture, and how large.
    Image1->setAccessibleName(QStringLiteral("Picture: ") + QFileInfo(path).fileName());
    Image1->setAccessibleDescription(QStringLiteral("%1 by %2 pixels, at natural size, from %3")
                                         .arg(Image1->width())
                                         .arg(Image1->height())
                                         .arg(path));
}
