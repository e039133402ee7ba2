#pragma once
// A window of any kind (a message box, a dialog) that is centred on the screen each time it is
// shown, by the placement every window of the program but the main window uses. It is placed
// from its show event, when its size is final.

#include "widgets/centred_placement.h"

#include <QShowEvent>

namespace palvane {

template <class Window> class Centred : public Window {
public:
    template <class... Arguments>
    explicit Centred(Arguments&&... arguments)
        : Window(std::forward<Arguments>(arguments)...), placement_(this) {}

protected:
    void showEvent(QShowEvent* event) override {
        Window::showEvent(event);
        placement_.centre();
    }

private:
    CentredPlacement placement_;
};

} // namespace palvane
