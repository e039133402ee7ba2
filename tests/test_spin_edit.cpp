// The offset spin box driven through real key, mouse and focus events, headless.

#include "main_window/spin_edit.h"
#include "tests/support/sandbox.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>

using palvane::SpinEdit;

namespace {

// Opens the spin box's inner line edit, its step state and its style option (to find the
// arrow buttons) to the test.
class ProbedSpinEdit : public SpinEdit {
public:
    using SpinEdit::lineEdit;
    using SpinEdit::SpinEdit;
    using SpinEdit::stepEnabled;
    QRect buttonRect(QStyle::SubControl control) const {
        QStyleOptionSpinBox option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_SpinBox, &option, control, this);
    }
};

// A window holding the box and a second box to move the focus to; the spies count the
// box's signals from the moment the box has the focus.
struct Fixture {
    QWidget window;
    ProbedSpinEdit* spin = nullptr;
    QLineEdit* other = nullptr;
    std::unique_ptr<QSignalSpy> changed;
    std::unique_ptr<QSignalSpy> characters;
    std::unique_ptr<QSignalSpy> refused;

    Fixture() {
        auto* layout = new QVBoxLayout(&window);
        spin = new ProbedSpinEdit(&window);
        other = new QLineEdit(&window);
        layout->addWidget(spin);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
        QApplication::setActiveWindow(&window);
        changed = std::make_unique<QSignalSpy>(spin, &SpinEdit::changed);
        characters = std::make_unique<QSignalSpy>(spin, &SpinEdit::characterKeyPressed);
        refused = std::make_unique<QSignalSpy>(spin, &SpinEdit::keyRefused);
    }

    bool focusBox() {
        spin->setFocus(Qt::OtherFocusReason);
        return QTest::qWaitFor([this] { return spin->hasFocus(); });
    }
    bool leaveBox() {
        other->setFocus(Qt::OtherFocusReason);
        return QTest::qWaitFor([this] { return !spin->hasFocus(); });
    }
    // Replaces the whole text by typing, as a user selecting it and typing over it would.
    void typeOver(const QString& keys) {
        spin->selectAll();
        if (keys.isEmpty())
            QTest::keyClick(spin, Qt::Key_Backspace);
        else
            QTest::keyClicks(spin, keys);
    }
    void resetSpies() {
        changed->clear();
        characters->clear();
        refused->clear();
    }
    QString text() const { return spin->lineEdit()->text(); }
    QChar character(int i) const { return characters->at(i).at(0).value<QChar>(); }
};

} // namespace

class TestSpinEdit : public QObject {
    Q_OBJECT

private slots:
    void startsAtZeroInItsRange();
    void textsThatAreNoWholeNumberReadAsTheMinimum();
    void outOfRangeStandsUntilFocusLeaves();
    void refusedCharactersBeepAndStayOut();
    void acceptedCharactersAreAnnouncedFirst();
    void stepsStopAtTheBounds();
    void arrowButtonsStep();
    void programSetsAreClamped();
    void changedFiresOncePerChangeOfText();
};

void TestSpinEdit::startsAtZeroInItsRange() {
    palvane::test::Sandbox sandbox;
    SpinEdit spin;
    QCOMPARE(spin.minimum(), -24);
    QCOMPARE(spin.maximum(), 24);
    QCOMPARE(spin.singleStep(), 1);
    QCOMPARE(spin.value(), 0);
    QCOMPARE(spin.Value(), 0);
    QCOMPARE(spin.text(), QStringLiteral("0"));

    // The text reads back whatever the locale's digits and signs.
    spin.setLocale(QLocale(QStringLiteral("ar_EG")));
    spin.setValueClamped(-5);
    QCOMPARE(spin.text(), QStringLiteral("-5"));
    QCOMPARE(spin.Value(), -5);

    // Deleted later from the event loop, the box goes quietly.
    QPointer<SpinEdit> doomed = new SpinEdit;
    QSignalSpy destroyed(doomed.data(), &QObject::destroyed);
    doomed->deleteLater();
    QVERIFY(destroyed.wait(1000));
    QVERIFY(doomed.isNull());
}

void TestSpinEdit::textsThatAreNoWholeNumberReadAsTheMinimum() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.typeOver(QString());
    QCOMPARE(f.text(), QString());
    QCOMPARE(f.spin->Value(), -24);
    QTest::keyClicks(f.spin, QStringLiteral("-"));
    QCOMPARE(f.text(), QStringLiteral("-"));
    QCOMPARE(f.spin->Value(), -24);
    QTest::keyClicks(f.spin, QStringLiteral("5"));
    QCOMPARE(f.spin->Value(), -5);
    f.typeOver(QStringLiteral("+7"));
    QCOMPARE(f.spin->Value(), 7);
    f.typeOver(QStringLiteral("1.5"));
    QCOMPARE(f.text(), QStringLiteral("1.5"));
    QCOMPARE(f.spin->Value(), -24);
    f.typeOver(QStringLiteral("--3"));
    QCOMPARE(f.spin->Value(), -24);

    // Leaving the box settles a text that is no number on the value it reads as.
    f.typeOver(QStringLiteral("1.5"));
    f.resetSpies();
    QVERIFY(f.leaveBox());
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 1);
    QCOMPARE(f.spin->value(), -24);

    QVERIFY(f.focusBox());
    f.typeOver(QString());
    QVERIFY(f.leaveBox());
    QCOMPARE(f.text(), QStringLiteral("-24"));

    // Text put in by other means (pasting) follows the same reading.
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral(" 12 ")), 12);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("-0")), 0);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("1 2")), std::nullopt);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("0x10")), std::nullopt);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("+")), std::nullopt);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("99999999999999999999")), INT_MAX);
    QCOMPARE(SpinEdit::parseWholeNumber(QStringLiteral("-99999999999999999999")), INT_MIN);
}

void TestSpinEdit::outOfRangeStandsUntilFocusLeaves() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("30"));
    QCOMPARE(f.text(), QStringLiteral("30"));
    QCOMPARE(f.spin->Value(), 30);
    QTest::qWait(20);
    QCOMPARE(f.text(), QStringLiteral("30"));

    f.resetSpies();
    QVERIFY(f.leaveBox());
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.spin->Value(), 24);
    QCOMPARE(f.changed->count(), 1);

    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("-99"));
    QCOMPARE(f.spin->Value(), -99);
    f.resetSpies();
    QVERIFY(f.leaveBox());
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 1);

    // A value already in range is left as typed, and nothing is reported.
    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("05"));
    f.resetSpies();
    QVERIFY(f.leaveBox());
    QCOMPARE(f.text(), QStringLiteral("05"));
    QCOMPARE(f.changed->count(), 0);
    // Nor does hiding and showing it (a tab switch) or a change of locale rewrite it.
    f.spin->hide();
    f.spin->show();
    f.spin->setLocale(QLocale(QStringLiteral("fr_FR")));
    QCOMPARE(f.text(), QStringLiteral("05"));
    QCOMPARE(f.changed->count(), 0);

    // Hiding the box while a value beyond the range is typed takes the focus, which settles it.
    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("+40"));
    f.resetSpies();
    f.spin->hide();
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.changed->count(), 1);
}

void TestSpinEdit::refusedCharactersBeepAndStayOut() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("30"));
    f.resetSpies();
    QTest::keyClicks(f.spin, QStringLiteral("x ,"));
    QCOMPARE(f.text(), QStringLiteral("30"));
    QCOMPARE(f.refused->count(), 3);
    QCOMPARE(f.refused->at(0).at(0).value<QChar>(), QLatin1Char('x'));
    QCOMPARE(f.characters->count(), 0);
    QCOMPARE(f.changed->count(), 0);

    // Enter is refused too: it does not settle the typed value.
    QTest::keyClick(f.spin, Qt::Key_Return);
    QTest::keyClick(f.spin, Qt::Key_Enter);
    QCOMPARE(f.text(), QStringLiteral("30"));
    QCOMPARE(f.refused->count(), 5);
    QCOMPARE(f.changed->count(), 0);
    QCOMPARE(f.characters->count(), 0);

    // Under a locale with a decimal comma the comma is taken and the full stop refused.
    f.spin->setLocale(QLocale(QStringLiteral("de_DE")));
    f.resetSpies();
    QTest::keyClicks(f.spin, QStringLiteral(",."));
    QCOMPARE(f.text(), QStringLiteral("30,"));
    QCOMPARE(f.refused->count(), 1);
    QCOMPARE(f.refused->at(0).at(0).value<QChar>(), QLatin1Char('.'));
    QCOMPARE(f.spin->Value(), -24);

    // Text from an input method obeys the same rule.
    f.resetSpies();
    f.typeOver(QStringLiteral("1"));
    QInputMethodEvent composed;
    composed.setCommitString(QStringLiteral("a2b"));
    QApplication::sendEvent(f.spin, &composed);
    QCOMPARE(f.text(), QStringLiteral("12"));
    QCOMPARE(f.refused->count(), 2);
}

void TestSpinEdit::acceptedCharactersAreAnnouncedFirst() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    QStringList textsSeen;
    QObject::connect(f.spin, &SpinEdit::characterKeyPressed, [&](QChar) { textsSeen << f.text(); });
    f.typeOver(QStringLiteral("-1"));
    QCOMPARE(f.text(), QStringLiteral("-1"));
    QCOMPARE(textsSeen, (QStringList{QStringLiteral("0"), QStringLiteral("-")}));
    QCOMPARE(f.characters->count(), 2);
    QCOMPARE(f.character(0), QLatin1Char('-'));
    QCOMPARE(f.character(1), QLatin1Char('1'));

    // Backspace counts; the Delete key, arrows and Home do not.
    f.resetSpies();
    QTest::keyClick(f.spin, Qt::Key_Backspace);
    QCOMPARE(f.text(), QStringLiteral("-"));
    QCOMPARE(f.characters->count(), 1);
    QCOMPARE(f.character(0), QLatin1Char('\b'));
    QTest::keyClick(f.spin, Qt::Key_Home);
    QTest::keyClick(f.spin, Qt::Key_Delete);
    QCOMPARE(f.text(), QString());
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.characters->count(), 1);
    QCOMPARE(f.refused->count(), 0);

    // The DEL character and Escape are control characters: accepted and announced.
    f.resetSpies();
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Backspace, Qt::ControlModifier, QString(QChar(127)));
    QApplication::sendEvent(f.spin, &del);
    QTest::keyClick(f.spin, Qt::Key_Escape);
    QCOMPARE(f.characters->count(), 2);
    QCOMPARE(f.character(0), QChar(127));
    QCOMPARE(f.character(1), QChar(27));
    QCOMPARE(f.refused->count(), 0);
}

void TestSpinEdit::stepsStopAtTheBounds() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.spin->setValueClamped(23);
    f.resetSpies();
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.changed->count(), 1);
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.changed->count(), 1);
    QVERIFY(!(f.spin->stepEnabled() & QAbstractSpinBox::StepUpEnabled));

    for (int i = 0; i < 60; ++i)
        QTest::keyClick(f.spin, Qt::Key_Down);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 1 + 48);
    QCOMPARE(f.characters->count(), 0);

    // From a text that reads as the minimum, one step up gives one above it.
    f.typeOver(QString());
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("-23"));
    f.typeOver(QStringLiteral("-"));
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("-23"));

    // From a typed value beyond the range, a step either way gives the nearer bound, and
    // reports the change.
    f.typeOver(QStringLiteral("30"));
    QTest::keyClick(f.spin, Qt::Key_Down);
    QCOMPARE(f.text(), QStringLiteral("24"));
    f.typeOver(QStringLiteral("-30"));
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    f.typeOver(QStringLiteral("99"));
    f.resetSpies();
    QTest::keyClick(f.spin, Qt::Key_Up);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.changed->count(), 1);
    f.typeOver(QStringLiteral("-99"));
    f.resetSpies();
    QTest::keyClick(f.spin, Qt::Key_Down);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 1);
    // At the bound itself there is nowhere to go.
    QVERIFY(!(f.spin->stepEnabled() & QAbstractSpinBox::StepDownEnabled));

    // Page keys move ten at a time and stop at the bounds as well.
    f.spin->setValueClamped(20);
    QTest::keyClick(f.spin, Qt::Key_PageUp);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QTest::keyClick(f.spin, Qt::Key_PageDown);
    QCOMPARE(f.text(), QStringLiteral("14"));

    f.spin->setReadOnly(true);
    QCOMPARE(f.spin->stepEnabled(), QAbstractSpinBox::StepNone);
}

void TestSpinEdit::arrowButtonsStep() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.spin->setValueClamped(23);
    f.resetSpies();
    const QPoint up = f.spin->buttonRect(QStyle::SC_SpinBoxUp).center();
    const QPoint down = f.spin->buttonRect(QStyle::SC_SpinBoxDown).center();
    QTest::mouseClick(f.spin, Qt::LeftButton, {}, up);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QTest::mouseClick(f.spin, Qt::LeftButton, {}, up);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QTest::mouseClick(f.spin, Qt::LeftButton, {}, down);
    QCOMPARE(f.text(), QStringLiteral("23"));
    QCOMPARE(f.changed->count(), 2);
    QCOMPARE(f.characters->count(), 0);
}

void TestSpinEdit::programSetsAreClamped() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    f.spin->setValueClamped(100);
    QCOMPARE(f.text(), QStringLiteral("24"));
    f.spin->setValueClamped(-100);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 2);
    f.spin->setValueClamped(-24);
    QCOMPARE(f.changed->count(), 2);
    f.spin->setValue(3);
    QCOMPARE(f.text(), QStringLiteral("3"));
    QCOMPARE(f.changed->count(), 3);

    // A typed text whose clamped value equals the one set is still replaced and reported.
    QVERIFY(f.focusBox());
    f.typeOver(QStringLiteral("30"));
    f.resetSpies();
    f.spin->setValueClamped(24);
    QCOMPARE(f.text(), QStringLiteral("24"));
    QCOMPARE(f.changed->count(), 1);
    f.typeOver(QString());
    f.resetSpies();
    f.spin->setValueClamped(-24);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 1);
    f.spin->clear();
    QCOMPARE(f.changed->count(), 2);
    f.spin->setValueClamped(-24);
    QCOMPARE(f.text(), QStringLiteral("-24"));
    QCOMPARE(f.changed->count(), 3);
}

void TestSpinEdit::changedFiresOncePerChangeOfText() {
    palvane::test::Sandbox sandbox;
    Fixture f;
    QVERIFY(f.focusBox());
    f.resetSpies();
    f.spin->selectAll();
    QTest::keyClicks(f.spin, QStringLiteral("12"));
    QCOMPARE(f.text(), QStringLiteral("12"));
    QCOMPARE(f.changed->count(), 2);
    QTest::keyClick(f.spin, Qt::Key_Backspace);
    QTest::keyClick(f.spin, Qt::Key_Backspace);
    QTest::keyClick(f.spin, Qt::Key_Backspace); // nothing left to delete
    QCOMPARE(f.text(), QString());
    QCOMPARE(f.changed->count(), 4);
    QTest::keyClicks(f.spin, QStringLiteral("7"));
    QCOMPARE(f.changed->count(), 5);
    // Focus moving in and out over an in-range value changes nothing.
    QVERIFY(f.leaveBox());
    QVERIFY(f.focusBox());
    QVERIFY(f.leaveBox());
    QCOMPARE(f.changed->count(), 5);
    // Hiding and showing the box leaves its text alone.
    f.spin->hide();
    f.spin->show();
    QCOMPARE(f.text(), QStringLiteral("7"));
    QCOMPARE(f.changed->count(), 5);
}

QTEST_MAIN(TestSpinEdit)
#include "test_spin_edit.moc"
