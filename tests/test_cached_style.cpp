// The cached frames of single-line boxes look exactly as the style draws them, in every state
// and palette, and controls whose boxes the style leaves alone stay as they were.

#include "tests/support/sandbox.h"
#include "widgets/cached_style.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProxyStyle>
#include <QSpinBox>
#include <QStyleFactory>
#include <QTest>

#include <memory>

namespace {

QImage render(QWidget* widget, QStyle* style) {
    widget->setStyle(style);
    QImage image(widget->size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(200, 180, 160)); // a background the frames' soft edges blend into
    QPainter painter(&image);
    widget->render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// The largest difference of one colour channel between two images of one size. Drawing a
// frame onto the background at once or through a transparent picture may round an edge pixel
// differently by one step.
int largestDifference(const QImage& a, const QImage& b) {
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            largest =
                std::max({largest, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                          std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return largest;
}

} // namespace

class TestCachedStyle : public QObject {
    Q_OBJECT

private slots:
    void framesLookAsTheStyleDrawsThem();
    void otherStylesAreLeftToThemselves();
    void windowSetUsesItOnce();
};

void TestCachedStyle::framesLookAsTheStyleDrawsThem() {
    palvane::test::Sandbox sandbox;
    std::unique_ptr<QStyle> plain(QStyleFactory::create(QStringLiteral("Fusion")));
    QVERIFY(plain);
    palvane::CachedStyle cached(QStyleFactory::create(QStringLiteral("Fusion")));

    QLineEdit box(QStringLiteral("alpha"));
    box.resize(145, 21);
    QSpinBox spin;
    spin.resize(41, 24);
    spin.setValue(7);

    struct Variant {
        const char* name;
        std::function<void()> apply;
    };
    const std::vector<Variant> variants = {
        {"plain", [] {}},
        {"read-only", [&] { box.setReadOnly(true); }},
        {"disabled", [&] { box.setEnabled(false); }},
        {"enabled again", [&] { box.setEnabled(true); }},
        {"focused look", [&] { box.setAttribute(Qt::WA_UnderMouse, true); }},
        {"right to left", [&] { box.setLayoutDirection(Qt::RightToLeft); }},
        {"other base colour",
         [&] {
             QPalette palette = box.palette();
             palette.setColor(QPalette::Base, QColor(255, 230, 230));
             box.setPalette(palette);
         }},
        {"other size", [&] { box.resize(73, 30); }},
        {"no frame", [&] { box.setFrame(false); }},
    };
    for (const Variant& variant : variants) {
        variant.apply();
        const QImage direct = render(&box, plain.get());
        // Twice: the first fills the cache, the second is drawn from it.
        const QImage first = render(&box, &cached);
        const QImage second = render(&box, &cached);
        QVERIFY2(largestDifference(direct, first) <= 1, variant.name);
        QVERIFY2(largestDifference(direct, second) <= 1, variant.name);
        QVERIFY2(first == second, variant.name);
    }

    // A spin box draws its own box around its line edit; the cache must not add one.
    const QImage spinDirect = render(&spin, plain.get());
    spin.findChild<QLineEdit*>()->setStyle(&cached);
    QVERIFY(largestDifference(spinDirect, render(&spin, &cached)) <= 1);

    // A frame was really drawn (the test compares pictures, not two blanks).
    box.setFrame(true);
    box.setEnabled(true);
    const QImage framed = render(&box, &cached);
    QVERIFY(framed.pixel(0, framed.height() / 2) != QColor(200, 180, 160).rgb());
    box.setStyle(nullptr);
    spin.setStyle(nullptr);
}

// A style of its own that counts how often it is asked for a box's panel: such a style may
// animate its frames, so every repaint must reach it.
class CountingStyle : public QProxyStyle {
public:
    CountingStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        panels += element == PE_PanelLineEdit;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
    mutable int panels = 0;
};

void TestCachedStyle::otherStylesAreLeftToThemselves() {
    palvane::test::Sandbox sandbox;
    auto* counting = new CountingStyle;
    palvane::CachedStyle overOther(counting); // takes it over
    QVERIFY(!overOther.cachesFrames());
    QLineEdit box(QStringLiteral("alpha"));
    box.resize(145, 21);
    for (int i = 0; i < 3; ++i)
        render(&box, &overOther);
    QCOMPARE(counting->panels, 3);
    box.setStyle(nullptr);

    QVERIFY(palvane::CachedStyle(QStyleFactory::create(QStringLiteral("Fusion"))).cachesFrames());
    QVERIFY(palvane::CachedStyle(QStyleFactory::create(QStringLiteral("Windows"))).cachesFrames());
}

void TestCachedStyle::windowSetUsesItOnce() {
    palvane::test::Sandbox sandbox;
    palvane::useCachedStyle();
    QStyle* style = QApplication::style();
    QVERIFY(qobject_cast<palvane::CachedStyle*>(style));
    // Headless, and on desktops without a style of their own, Qt's default is Fusion.
    QVERIFY(qobject_cast<palvane::CachedStyle*>(style)->cachesFrames());
    palvane::useCachedStyle();
    QCOMPARE(QApplication::style(), style);
}

QTEST_MAIN(TestCachedStyle)
#include "test_cached_style.moc"
