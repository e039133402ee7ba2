#pragma once
// What a user does on the main window's Edit/Add tab, and the table as a second program sees it:
// shared by the entry-editing tests.

#include "main_window/spin_edit.h"
#include "main_window/tform1.h"
#include "tests/support/sandbox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QStringList>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <optional>

namespace palvane::test {

inline constexpr int kViewTab = 0;
inline constexpr int kEditTab = 1;

// Switches tabs the way a user does: a click on the tab.
inline void clickTab(TForm1* form, int index) {
    QTabBar* bar = form->PageControl1->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
}

inline void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton);
}

inline void focus(TForm1* form, QWidget* box) {
    form->activateWindow();
    QApplication::setActiveWindow(form);
    box->setFocus();
}

inline void type(TForm1* form, QWidget* box, const QString& text) {
    focus(form, box);
    QTest::keyClicks(box, text);
}

// Replaces the spin box's text by typing, as a user does after selecting it.
inline void typeSpin(TForm1* form, const QString& text) {
    focus(form, form->SpinEdit1);
    form->SpinEdit1->selectAll();
    QTest::keyClicks(form->SpinEdit1, text);
}

inline QString number(const std::optional<double>& v) {
    return v ? QString::number(*v, 'g', 17) : QStringLiteral("null");
}

inline QString number(const std::optional<int>& v) {
    return v ? QString::number(*v) : QStringLiteral("null");
}

// The file's rows as comparable lines; blank and empty texts read the same.
inline QStringList table(const Sandbox& sandbox) {
    QStringList lines;
    for (const ContactRow& r : readContacts(sandbox.dbPath()))
        lines << QStringList{r.nick,         r.name,   r.location,
                             r.email,        r.notes,  number(r.timeDisplacement),
                             number(r.spin), r.picture}
                     .join(QLatin1Char('|'));
    return lines;
}

} // namespace palvane::test
