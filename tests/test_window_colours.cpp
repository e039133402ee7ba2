// The windows keep their light colours under a dark desktop theme, so that the fixed navy, green
// and maroon texts stay readable: checked on the pixels each window draws.

#include "app/window_set.h"
#include "main_window/tform1.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QPixmap>
#include <QTest>

#include <cmath>
#include <map>

using namespace palvane::test;

namespace {

// Relative luminance and contrast ratio as accessibility guidelines define them.
double luminance(QColor c) {
    const auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

double contrast(QColor a, QColor b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most of a control's area is painted in, as its window draws it.
QColor background(QWidget* control) {
    const QImage shot = control->window()->grab().toImage();
    const QRect area(control->mapTo(control->window(), QPoint(0, 0)), control->size());
    std::map<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[shot.pixel(x, y)];
    QRgb most = 0;
    int best = -1;
    for (const auto& [colour, count] : counts)
        if (count > best)
            std::tie(most, best) = std::tie(colour, count);
    return QColor(most);
}

// What a dark desktop theme hands the application at start.
QPalette darkTheme() {
    QPalette dark(QColor(53, 53, 53), QColor(42, 42, 42));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    return dark;
}

} // namespace

class TestWindowColours : public QObject {
    Q_OBJECT

private slots:
    void fixedTextColoursKeepTheirContrast_data();
    void fixedTextColoursKeepTheirContrast();
};

void TestWindowColours::fixedTextColoursKeepTheirContrast_data() {
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QColor>("text");
    const QColor navy(0, 0, 128), green(0, 128, 0), maroon(128, 0, 0);
    QTest::newRow("caption") << "Form1"
                             << "Label7" << navy;
    QTest::newRow("contact data") << "Form1"
                                  << "DBEdit1" << green;
    QTest::newRow("clock value") << "Form1"
                                 << "Label1" << maroon;
    QTest::newRow("delete question") << "OKBottomDlg"
                                     << "Label2" << navy;
    QTest::newRow("thanks text") << "Form2"
                                 << "Memo1" << navy;
}

void TestWindowColours::fixedTextColoursKeepTheirContrast() {
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QColor, text);
    const QPalette before = QApplication::palette();
    QApplication::setPalette(darkTheme());
    Sandbox sandbox;
    sandbox.createTable({contact(QStringLiteral("alpha"), QStringLiteral("Alpha Person"))});
    {
        MainWindowFixture app;
        QWidget* top = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == window)
                top = w;
        QVERIFY2(top, qPrintable(window));
        auto* target = top->findChild<QWidget*>(control);
        QVERIFY2(target, qPrintable(control));
        const QColor behind = background(target);
        QVERIFY2(contrast(text, behind) >= 4.5,
                 qPrintable(QStringLiteral("%1 on %2: contrast %3")
                                .arg(text.name(), behind.name())
                                .arg(contrast(text, behind), 0, 'f', 1)));
    }
    QApplication::setPalette(before);
}

QTEST_MAIN(TestWindowColours)
#include "test_window_colours.moc"
