#include "app/window_set.h"

#include "main_window/tform1.h"
#include "main_window/tokbottomdlg.h"
#include "side_windows/taboutbox.h"
#include "side_windows/tf_surprise.h"
#include "side_windows/tform2.h"
#include "side_windows/tform3.h"
#include "widgets/cached_style.h"
#include "widgets/error_report.h"
#include "widgets/light_palette.h"

#include <QApplication>

TForm1* Form1 = nullptr;
TOKBottomDlg* OKBottomDlg = nullptr;
TAboutBox* AboutBox = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
Tf_surprise* f_surprise = nullptr;

namespace palvane {

void createWindowSet() {
    useCachedStyle();
    useLightPalette();
    // The windows are laid out control by control at fixed places, with captions beside their
    // boxes: mirrored in part they no longer read, and mirrored whole the captions stand right
    // of what they name. They stay left to right under a right-to-left language or -reverse;
    // right-to-left text still runs and aligns in its own boxes.
    QApplication::setLayoutDirection(Qt::LeftToRight);
    // The main window first: its creation handler reaches it through Form1 and uses nothing
    // else of the window set.
    Form1 = new TForm1;
    guarded([] { Form1->FormCreate(); });
    OKBottomDlg = new TOKBottomDlg(Form1);
    AboutBox = new TAboutBox(Form1);
    Form2 = new TForm2(AboutBox);
    AboutBox->setThanksWindow(Form2);
    Form3 = new TForm3(Form1);
    Form3->setTable(Form1->Table1); // the viewer needs the table, not the main window
    f_surprise = new Tf_surprise(Form1);
    Form1->setOpenedWindows({OKBottomDlg, AboutBox, Form3, f_surprise});
}

void destroyWindowSet() {
    delete Form1; // owns the side windows
    Form1 = nullptr;
    OKBottomDlg = nullptr;
    AboutBox = nullptr;
    Form2 = nullptr;
    Form3 = nullptr;
    f_surprise = nullptr;
}

} // namespace palvane
