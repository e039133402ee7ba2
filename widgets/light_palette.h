#pragma once
// The program's windows keep the light colours of a plain desktop whatever the desktop's theme:
// their navy captions, green data and maroon clock values are fixed colours chosen for a light
// background, and a dark theme's background would leave them at a contrast of about 2:1.

class QPalette;

namespace palvane {

// The light palette: that of Qt's Fusion style, which is what a desktop without a theme shows.
QPalette lightPalette();

// Makes it the application's palette, every role set, so that no theme (at start or changed
// while the program runs) overrides any of it. Call before the windows are created.
void useLightPalette();

} // namespace palvane
