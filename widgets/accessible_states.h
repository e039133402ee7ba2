#pragma once
// What a screen reader is told where Qt's own accessible interfaces say it wrong:
// - the tabs of a tab bar: Qt reports no tab as selected and the current tab as focused
//   wherever the focus is; here the current tab is selected, and focused only while the tab bar
//   has the focus;
// - a line edit that only shows a value: Qt reports it editable beside read-only; here it is
//   read-only and not editable, and still gives its text.

class QAccessibleInterface;
class QLineEdit;

namespace palvane {

// Tab bars of the program get the interface above from now on.
void installTabBarAccessible();

// The interface for a line edit that shows a value and takes no typing.
QAccessibleInterface* readOnlyLineAccessible(QLineEdit* edit);

} // namespace palvane
