// Commands of the main window that open side windows.

#include "main_window/tform1.h"

#include "app/window_set.h"
#include "side_windows/taboutbox.h"
#include "side_windows/tf_surprise.h"
#include "side_windows/tform3.h"

void TForm1::About1Click() {
    AboutBox->ShowModal();
}

void TForm1::Image1DblClick() {
    Form3->ShowModal();
}

void TForm1::Panel5Click() {
    f_surprise->ShowModal();
}
