#pragma once
// Two things of the main window's look that no control's settings give: pages of an exact size
// and hints that are kept but never shown.

#include <QSize>

class QTabWidget;
class QWidget;

namespace palvane {

// Gives every page of tabs the client size page, whatever frame the style draws round the
// pages: the area the style leaves for a page is trimmed to that size, centred. A style that
// leaves less keeps its own size.
void keepPageSize(QTabWidget* tabs, QSize page);

// Swallows every hint request for window and anything in it, for as long as window lives. The
// controls keep their hint texts (they say what a control is for).
void neverShowHints(QWidget* window);

} // namespace palvane
