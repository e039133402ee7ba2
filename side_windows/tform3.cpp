#include "side_windows/tform3.h"

#include "core/error.h"
#include "side_windows/picture_box.h"
#include "store/table.h"

#include <QFont>

namespace {
// The design's outer size is 627 x 432 with a frame of 10 x 29; the window manager adds our
// frame, so the client area takes the rest.
constexpr QSize kDesignClient(617, 403);
constexpr QRect kDesignImage(0, 0, 427, 273);
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
    Image1->setAccessibleName(QStringLiteral("Picture"));
    Image1->setAccessibleDescription(QStringLiteral("Picture of the contact at its natural size"));
}

void TForm3::FormShow() {
    palvane::Table* table = table_;
    if (!table)
        throw palvane::Error(QStringLiteral("Cannot perform this operation on a closed dataset"));
    const QString path = table->fieldByName(QStringLiteral("IRC Picture")).asString();
    Image1->LoadFromFile(path);
    // The client area fits the picture; the frame around it belongs to the window manager.
    resize(Image1->size());
}
