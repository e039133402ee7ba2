#pragma once
// The program's own 32 x 32 icon, compiled into the widget kit. Every window that shows the
// icon takes it from here; it never fails (a missing resource would give a null icon, which
// a test rules out).

#include <QIcon>

namespace palvane {

QIcon programIcon();

} // namespace palvane
