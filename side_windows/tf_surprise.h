#pragma once
// The surprise window "*meow*": a strip that types, holds and erases the joke phrases one after
// the other for as long as the window is open. The animation state lives as long as the window
// (the whole process) and is never reset, so reopening the window resumes where it stood.
//
// Controls (object names are fixed; tests find them by name):
//   Panel1   the phrase strip, filling the whole client area, text centred
//   Timer1   drives the animation; runs only while the window is shown

#include "side_windows/typewriter.h"
#include "widgets/side_window.h"

class QTimer;

namespace palvane {
class Panel;
}

class Tf_surprise : public palvane::SideWindow {
    Q_OBJECT

public:
    explicit Tf_surprise(QWidget* parent = nullptr);

    // Opening starts Timer1 so that the first tick comes one typing interval later, whatever
    // the interval was when the window was closed; closing stops it.
    void FormShow() override;
    void FormClose() override;
    // One animation step: writes Panel1's caption and sets the next interval.
    void Timer1Timer();

    const palvane::TypewriterState& animationState() const { return state_; }

    palvane::Panel* Panel1 = nullptr;
    QTimer* Timer1 = nullptr;

private:
    void connectHandlers();
    void setIntervalIfChanged(int milliseconds);

    palvane::TypewriterState state_{palvane::TypewriterState::surpriseStart()};
};
