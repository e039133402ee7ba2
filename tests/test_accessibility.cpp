// Assistive technology and keyboard use: every control of every window has an accessible name
// (pictures a description too), what a control shows can be read, and the keyboard reaches
// every command.

#include "app/window_set.h"
#include "main_window/spin_edit.h"
#include "main_window/tform1.h"
#include "main_window/tokbottomdlg.h"
#include "side_windows/picture_box.h"
#include "side_windows/taboutbox.h"
#include "side_windows/tf_surprise.h"
#include "side_windows/tform2.h"
#include "side_windows/tform3.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"
#include "widgets/panel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QShortcut>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <optional>

using palvane::test::MainWindowFixture;
using palvane::test::Sandbox;

namespace {

// Whether a signal of an object has a receiver: a control whose click signal is connected is a
// command. receivers() is protected; a pointer to it formed in a derived class may be used.
struct SignalProbe : QObject {
    static bool connected(const QObject* object, const char* signal) {
        int (QObject::*receivers)(const char*) const = &SignalProbe::receivers;
        return (object->*receivers)(signal) > 0;
    }
};

bool isPicture(const QObject* object) {
    if (qobject_cast<const palvane::PictureBox*>(object))
        return true;
    const auto* label = qobject_cast<const QLabel*>(object);
    return label && !label->pixmap().isNull();
}

// A control the user acts on or that takes the focus: these must tell their name.
bool isInteractive(QAccessibleInterface* iface) {
    switch (iface->role()) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::PageTab:
    case QAccessible::PageTabList:
    case QAccessible::MenuItem:
    case QAccessible::ButtonMenu:
    case QAccessible::Link:
    case QAccessible::Graphic:
        return true;
    case QAccessible::ScrollBar:
        // Scroll bars belong to the named box they scroll; they are announced by role.
        return false;
    default:
        break;
    }
    const QObject* object = iface->object();
    if (isPicture(object))
        return true;
    if (const auto* panel = qobject_cast<const palvane::Panel*>(object))
        return SignalProbe::connected(panel, SIGNAL(clicked()));
    return iface->state().focusable;
}

QString label(QAccessibleInterface* iface) {
    const QObject* object = iface->object();
    if (object && !object->objectName().isEmpty())
        return object->objectName();
    if (object)
        return QString::fromLatin1(object->metaObject()->className());
    return QStringLiteral("[%1 %2]").arg(int(iface->role())).arg(iface->text(QAccessible::Name));
}

// The text a control shows on screen, for the controls that show data or words; none for the
// others.
std::optional<QString> shownText(const QObject* object) {
    if (const auto* label = qobject_cast<const QLabel*>(object)) {
        if (!label->pixmap().isNull() || Qt::mightBeRichText(label->text()))
            return std::nullopt;
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(object))
        return edit->text();
    if (const auto* memo = qobject_cast<const QPlainTextEdit*>(object))
        return memo->toPlainText();
    if (const auto* panel = qobject_cast<const palvane::Panel*>(object))
        return panel->caption();
    return std::nullopt;
}

// Everything a screen reader can read of a control: its name, value and text.
QString readable(QAccessibleInterface* iface) {
    QStringList parts{iface->text(QAccessible::Name), iface->text(QAccessible::Value)};
    if (QAccessibleTextInterface* text = iface->textInterface())
        parts << text->text(0, text->characterCount());
    return parts.join(QLatin1Char('\n')).simplified();
}

// Walks the accessible tree below iface and lists every interactive control without a name,
// every picture without a description and every control whose shown text a screen reader
// cannot read. Bounded: the windows hold a few dozen controls.
void walk(QAccessibleInterface* iface, const QString& path, QStringList& problems, int& visited,
          int depth = 0) {
    if (!iface || depth > 20 || ++visited > 2000)
        return;
    const QString here = path + QLatin1Char('/') + label(iface);
    if (isInteractive(iface) && iface->text(QAccessible::Name).trimmed().isEmpty())
        problems << here + QStringLiteral(": no accessible name");
    if (isPicture(iface->object()) && iface->text(QAccessible::Description).trimmed().isEmpty())
        problems << here + QStringLiteral(": picture without accessible description");
    const std::optional<QString> shown = shownText(iface->object());
    if (shown && !readable(iface).contains(shown->simplified()))
        problems << here + QStringLiteral(": shows \"%1\" but reads \"%2\"")
                               .arg(shown->simplified(), readable(iface));
    for (int i = 0; i < iface->childCount(); ++i)
        walk(iface->child(i), here, problems, visited, depth + 1);
}

QStringList unnamed(QObject* root) {
    QStringList problems;
    int visited = 0;
    walk(QAccessible::queryAccessibleInterface(root), QString(), problems, visited);
    // Every window has some controls; an empty walk would prove nothing.
    if (visited < 2)
        problems << QStringLiteral("%1: accessible tree not found").arg(root->objectName());
    return problems;
}

// Presses Tab from the window's focus, round the whole focus chain, and returns every control
// that took the focus. Bounded by the number of controls in the window.
QSet<QWidget*> tabStopsReached(QWidget* window) {
    QSet<QWidget*> reached;
    const qsizetype presses = window->findChildren<QWidget*>().size() + 2;
    for (qsizetype i = 0; i < presses; ++i) {
        QWidget* target = window->focusWidget() ? window->focusWidget() : window;
        QTest::keyClick(target, Qt::Key_Tab);
        if (QWidget* focus = window->focusWidget())
            reached.insert(focus);
    }
    return reached;
}

// The keys given to a control that is no tab stop, as window shortcuts of its own.
QList<QKeySequence> shortcutsOf(const QWidget* control) {
    QList<QKeySequence> keys;
    for (const QShortcut* shortcut : control->findChildren<QShortcut*>(Qt::FindDirectChildrenOnly))
        if (shortcut->isEnabled() && !shortcut->key().isEmpty())
            keys << shortcut->key();
    return keys;
}

// Shows and activates a window. The activation is requested of the window itself: a window
// whose hidden dialog still holds the focus counts as active and would not ask.
void activate(QWidget* window) {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->windowHandle()->requestActivate();
    QTRY_COMPARE(QApplication::activeWindow(), window);
}

// Presses keys in window and returns the window that came up modally, if any, closing it.
QWidget* modalAfterKeys(QWidget* window, const QKeySequence& keys) {
    QWidget* shown = nullptr;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&shown, window] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal != window) {
            shown = modal;
            modal->close();
        }
    });
    activate(window);
    poll.start();
    QTest::keySequence(window, keys);
    // A button's shortcut clicks it after a moment, as a real click would look.
    // Nothing may come up, which is an answer as well.
    static_cast<void>(QTest::qWaitFor([&shown] { return shown != nullptr; }, 500));
    return shown;
}

QString describeControl(const QWidget* window, const QWidget* control, const QString& how) {
    return QStringLiteral("%1/%2 %3").arg(window->objectName(), control->objectName(), how);
}

// The controls of the window, as far as they are shown (the current tab page only), that
// run a command; and those of them that Tab does not reach. A tab stop that Tab misses is a
// fault of the focus chain and is listed as well.
QStringList outOfKeyboardReach(QWidget* window) {
    const QSet<QWidget*> reached = tabStopsReached(window);
    QStringList missed;
    for (QWidget* control : window->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window) || !control->isEnabled() || reached.contains(control))
            continue;
        const auto* button = qobject_cast<QAbstractButton*>(control);
        if (button && !QKeySequence::mnemonic(button->text()).isEmpty())
            continue; // reached with its Alt key
        if (button && !button->shortcut().isEmpty())
            continue; // reached with its shortcut (pressed below)
        if (!shortcutsOf(control).isEmpty())
            continue; // a picture or panel with a key of its own (pressed below)
        if (button)
            missed << describeControl(window, control,
                                      QStringLiteral("\"%1\" (button)").arg(button->text()));
        else if (qobject_cast<palvane::Panel*>(control) &&
                 SignalProbe::connected(control, SIGNAL(clicked())))
            missed << describeControl(window, control, QStringLiteral("(click)"));
        else if (qobject_cast<palvane::PictureBox*>(control) &&
                 SignalProbe::connected(control, SIGNAL(doubleClicked())))
            missed << describeControl(window, control, QStringLiteral("(double-click)"));
        else if ((control->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !control->focusProxy())
            missed << describeControl(window, control, QStringLiteral("(tab stop not reached)"));
    }
    return missed;
}

// Menu entries without a mnemonic, or sharing one with another entry of the same menu.
QStringList menuMnemonicProblems(const QList<QAction*>& actions, const QString& where) {
    QStringList problems;
    QSet<QKeySequence> used;
    for (const QAction* action : actions) {
        if (action->isSeparator())
            continue;
        const QKeySequence mnemonic = QKeySequence::mnemonic(action->text());
        if (mnemonic.isEmpty())
            problems << QStringLiteral("%1: \"%2\" has no mnemonic").arg(where, action->text());
        else if (used.contains(mnemonic))
            problems << QStringLiteral("%1: \"%2\" repeats the mnemonic %3")
                            .arg(where, action->text(), mnemonic.toString());
        used.insert(mnemonic);
        if (action->menu())
            problems << menuMnemonicProblems(action->menu()->actions(), action->text());
    }
    return problems;
}

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private slots:
    void everyControlHasAName();
    void keyboardReachesEveryCommand();
};

void TestAccessibility::everyControlHasAName() {
    Sandbox box;
    palvane::ContactRow alpha =
        palvane::test::contact(QStringLiteral("alpha"), QStringLiteral("Al"), 2);
    alpha.email = QStringLiteral("al@example.org");
    alpha.location = QStringLiteral("Rome");
    alpha.notes = QStringLiteral("Met on #qt");
    box.createTable({alpha});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    // Values on every data control: the clocks, the contact, the banner partly typed.
    form->RefreshClocks();
    for (int tick = 0; tick < 12; ++tick)
        form->Timer2Timer();
    QVERIFY(!form->Panel5->caption().isEmpty());
    QStringList problems;
    for (QWidget* page : {form->TabSheet1, form->TabSheet2}) {
        form->PageControl1->setCurrentWidget(page);
        problems << unnamed(form);
    }
    problems << unnamed(form->File1);
    for (QWidget* window :
         std::initializer_list<QWidget*>{OKBottomDlg, AboutBox, Form2, Form3, f_surprise})
        problems << unnamed(window);
    problems.removeDuplicates();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QLatin1Char('\n'))));
}

void TestAccessibility::keyboardReachesEveryCommand() {
    Sandbox box;
    // A contact with a picture, so that the pictures and their double-click are shown.
    box.createTable({palvane::test::contact(QStringLiteral("alpha"), QStringLiteral("Al"), 2,
                                            QStringLiteral(PALVANE_TEST_DATA "/sample.bmp"))});
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    activate(form);
    QVERIFY(form->Image1->isVisible());

    QStringList missed = outOfKeyboardReach(form);
    // Ctrl+Tab turns to the Edit/Add page; a typed letter enables Update Entry.
    QTest::keyClick(form->focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QTest::keyClicks(form->Edit2, QStringLiteral("x"));
    QVERIFY(form->Button2->isEnabled());
    missed << outOfKeyboardReach(form);
    // Both pages' boxes and buttons took part (the walks are not empty).
    QVERIFY(tabStopsReached(form).contains(form->SpinEdit1));
    QTest::keyClick(form->focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
    QVERIFY(tabStopsReached(form).contains(form->Edit1));

    // The menus: every entry has a mnemonic; Alt+F opens the File menu, Alt+A the about box.
    QCOMPARE(menuMnemonicProblems(form->MainMenu1->actions(), QStringLiteral("menu bar")),
             QStringList());
    QTest::keyClick(form, Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(form->File1->isVisible());
    QTest::keyClick(form->File1, Qt::Key_Escape);
    QTRY_VERIFY(!form->File1->isVisible());
    bool aboutShown = false;
    palvane::test::onNextModal([&aboutShown](QWidget* modal) {
        aboutShown = modal == AboutBox;
        modal->close();
    });
    QTest::keyClick(form, Qt::Key_A, Qt::AltModifier);
    QTRY_VERIFY(aboutShown);

    // The picture and the banner: their keys do what the double-click and the click do, and,
    // like the mouse, only while the control is shown.
    activate(form);
    QCOMPARE(shortcutsOf(form->Image1), QList<QKeySequence>{QKeySequence(QStringLiteral("Alt+P"))});
    QCOMPARE(shortcutsOf(form->Panel5), QList<QKeySequence>{QKeySequence(QStringLiteral("Alt+S"))});
    QCOMPARE(modalAfterKeys(form, QKeySequence(QStringLiteral("Alt+P"))), Form3);
    QCOMPARE(modalAfterKeys(form, QKeySequence(QStringLiteral("Alt+S"))), f_surprise);
    form->Edit1->setFocus();
    QTest::keyClick(form->Edit1, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet2);
    QCOMPARE(modalAfterKeys(form, QKeySequence(QStringLiteral("Alt+P"))), nullptr);
    QCOMPARE(modalAfterKeys(form, QKeySequence(QStringLiteral("Alt+S"))), nullptr);
    QTest::keyClick(form->focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheet1);
    form->Image1->hide(); // as for a contact without a picture
    QCOMPARE(modalAfterKeys(form, QKeySequence(QStringLiteral("Alt+P"))), nullptr);
    form->Image1->show();

    for (QWidget* window :
         std::initializer_list<QWidget*>{OKBottomDlg, AboutBox, Form2, Form3, f_surprise}) {
        activate(window);
        missed << outOfKeyboardReach(window);
        window->close();
    }
    missed.removeDuplicates();
    missed.sort();
    QVERIFY2(missed.isEmpty(), qPrintable(missed.join(QLatin1Char('\n'))));

    // The about box's thanks button, no tab stop, answers Alt+T, and says so to a screen reader.
    QAccessibleInterface* thanks = QAccessible::queryAccessibleInterface(AboutBox->Button1);
    QVERIFY(thanks && thanks->actionInterface());
    QCOMPARE(
        thanks->actionInterface()->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
        QStringList{QKeySequence(QStringLiteral("Alt+T")).toString()});
    activate(AboutBox);
    QCOMPARE(modalAfterKeys(AboutBox, QKeySequence(QStringLiteral("Alt+T"))), Form2);
    AboutBox->close();

    // The thanks window's text is no tab stop either, but it has the focus from the start, so
    // the keys scroll it.
    activate(Form2);
    QCOMPARE(Form2->focusWidget(), Form2->Memo1);
    QScrollBar* scroll = Form2->Memo1->verticalScrollBar();
    scroll->setValue(0);
    QTest::keyClick(Form2->Memo1, Qt::Key_PageDown);
    QTest::keyClick(Form2->Memo1, Qt::Key_PageDown);
    QVERIFY(scroll->value() > 0);
    Form2->close();
}

QTEST_MAIN(TestAccessibility)
#include "test_accessibility.moc"
