// Commands of the main window that open side windows.

#include "main_window/tform1.h"

#include "widgets/side_window.h"

void TForm1::About1Click() {
    openedWindows_.about->ShowModal();
}

void TForm1::Image1DblClick() {
    openedWindows_.pictureViewer->ShowModal();
}

void TForm1::Panel5Click() {
    openedWindows_.surprise->ShowModal();
}
