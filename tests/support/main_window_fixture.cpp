#include "tests/support/main_window_fixture.h"

#include "app/window_set.h"
#include "main_window/tform1.h"
#include "widgets/open_dialog.h"

#include <QStringList>
#include <QTest>

namespace palvane::test {

MainWindowFixture::MainWindowFixture(bool show) {
    boxes_ = &message_box_seam::recordAll();
    open_dialog_seam::clear();
    createWindowSet();
    if (show) {
        Form1->show();
        QTest::qWait(1);
    }
}

MainWindowFixture::~MainWindowFixture() {
    destroyWindowSet();
    message_box_seam::uninstall();
    open_dialog_seam::clear();
}

TForm1* MainWindowFixture::form() const {
    return Form1;
}

QStringList MainWindowFixture::boxTexts() const {
    QStringList texts;
    for (const ShownBox& b : *boxes_)
        texts << b.text;
    return texts;
}

} // namespace palvane::test
