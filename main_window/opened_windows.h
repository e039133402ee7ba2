#pragma once
// The windows the main window's commands open. They are created after the main window, so
// the program hands them over once at start-up (TForm1::setOpenedWindows); each command shows
// its window modally through the side-window base and needs nothing else of it.

namespace palvane {

class SideWindow;

struct OpenedWindows {
    SideWindow* deleteConfirmation = nullptr; // Delete Entry asks here; only mrOk deletes
    SideWindow* about = nullptr;              // About in the menu
    SideWindow* pictureViewer = nullptr;      // double click on the View tab's picture
    SideWindow* surprise = nullptr;           // click on the status banner
};

} // namespace palvane
