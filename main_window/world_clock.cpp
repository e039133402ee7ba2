// The world clock: the local time and date and the contact's, from the local clock and the
// contact's offset in days.

#include "main_window/tform1.h"

#include "core/time_displacement.h"
#include "main_window/spin_edit.h"

#include <QLabel>

namespace {

// Label writes four times a second: leave a label alone when its text is already right.
void setLabel(QLabel* label, const QString& text) {
    if (label->text() != text)
        label->setText(text);
}

} // namespace

void TForm1::setTimeDisplacement(double days) {
    timeDisplacement_ = palvane::toReal48(days);
}

void TForm1::RefreshClocks() {
    using palvane::nowInDays;
    setLabel(Label1, Clock.formatTime(nowInDays()));
    setLabel(Label2, Clock.formatTime(nowInDays() + TimeDisplacement()));
    setLabel(Label6, Clock.formatTime(nowInDays() + TimeDisplacement()));
    setLabel(Label16, Clock.formatDate(nowInDays()));
    setLabel(Label13, Clock.formatDate(nowInDays() + TimeDisplacement()));
    setLabel(Label17, Clock.formatDate(nowInDays() + TimeDisplacement()));
}

void TForm1::DisplacementFromSpin() {
    setTimeDisplacement(palvane::hoursToDays(SpinEdit1->Value()));
}

void TForm1::SpinEdit1Change() {
    DisplacementFromSpin();
    UpdateChange();
}
