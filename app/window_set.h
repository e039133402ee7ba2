#pragma once
// The six process-wide window references. Each is set once during start-up, in this order,
// before that window's creation handler runs, and stays valid until the process ends.

class TForm1;
class TOKBottomDlg;
class TAboutBox;
class TForm2;
class TForm3;
class Tf_surprise;

extern TForm1* Form1;
extern TOKBottomDlg* OKBottomDlg;
extern TAboutBox* AboutBox;
extern TForm2* Form2;
extern TForm3* Form3;
extern Tf_surprise* f_surprise;

namespace palvane {

// Creates the six windows in their fixed order, the main window first. A failure of a
// creation handler is reported and start-up goes on.
void createWindowSet();
// Destroys the window set (process end, and between tests).
void destroyWindowSet();

} // namespace palvane
