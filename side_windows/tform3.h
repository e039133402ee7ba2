#pragma once
// The picture viewer: the current contact's picture at its natural size, in a window fitted to
// it. Reloaded from the file named in the contact's "IRC Picture" field at every opening.
//
// Controls (object names are fixed; tests find them by name):
//   Form3     the window, caption "Image", sizeable, minimise and maximise boxes
//   Image1    PictureBox at (0, 0): auto size and centre on, no scaling
//
// A failed load leaves the window with its previous picture and size (the error is reported
// and the window opens all the same). A picture too narrow for the title bar gets a wider
// window with the picture at its top left; a window the user maximised is fitted again.

#include "widgets/side_window.h"

namespace palvane {
class PictureBox;
class Table;
} // namespace palvane

class TForm3 : public palvane::SideWindow {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);

    // The table whose current record names the picture (the main window's Table1, given at
    // start-up); without one the viewer reports a closed table.
    void setTable(palvane::Table* table) { table_ = table; }

    palvane::PictureBox* Image1 = nullptr;

protected:
    void FormShow() override;

private:
    palvane::Table* table_ = nullptr;
};
