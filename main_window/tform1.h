#pragma once
// The main window: one contact at a time on the View tab, editing on the Edit/Add tab.
//
// Controls (object names are fixed; tests find them by name):
//   PageControl1        tab control: TabSheet1 "View", TabSheet2 "Edit/Add"
//   View tab            Edit1 nick search box; DBEdit1 name, DBEdit3 e-mail, DBEdit2 location,
//                       DBMemo1 notes (data-bound, read-only); Button4 "Previous Record",
//                       Button3 "Next Record"; Panel6 clock panel (Label1 local time, Label16
//                       local date, Label2 their time, Label13 their date); Image1 picture
//                       thumbnail; Panel2 header strip; Panel5 status banner
//   Edit/Add tab        Edit2 nick, Edit3 name, Edit5 e-mail, Edit4 location, Memo1 notes;
//                       Button2 "Update Entry", Button1 "New Entry", Button5 "Delete Entry",
//                       Button6 "Previous Record", Button7 "Next Record"; Panel7 (Label6 their
//                       time, Label17 their date, SpinEdit1 offset in hours); Image2 picture;
//                       Button8 "Add", Button9 "Clear"; Panel4 header strip
//   non-visual          Table1 contact table, Timer1 clocks (250 ms), Timer2 banner (50 ms),
//                       MainMenu1 (File1 > Exit1, About1), OpenDialog1 picture chooser
//
// The handlers are split by area over several files: tform1.cpp (layout, life cycle, menu,
// status banner), display_routines.cpp, world_clock.cpp, nick_search.cpp, entry_editing.cpp,
// side_commands.cpp (the side windows it opens).

#include "core/clock_format.h"
#include "main_window/opened_windows.h"
#include "side_windows/typewriter.h"

#include <QMainWindow>
#include <QString>

#include <exception>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QWidget;

namespace palvane {
class Table;
class SettingsFile;
class DBEdit;
class DBMemo;
class PictureBox;
class SpinEdit;
class Panel;
class OpenDialog;
} // namespace palvane

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows the commands open, handed over once at start-up after they are created.
    void setOpenedWindows(const palvane::OpenedWindows& windows) { openedWindows_ = windows; }

    // Life cycle.
    void FormCreate();
    void FormShow();
    void FormClose();

    // Menu and View tab.
    void Exit1Click();
    void About1Click();
    void Button3Click();
    void Button4Click();
    void Image1DblClick();
    void Panel5Click();
    void Timer1Timer();
    void Timer2Timer();

    // Nick search.
    void Edit1Change();
    void Edit1KeyPress(QChar key);

    // Entry editing.
    void Button1Click();
    void Button2Click();
    void Button5Click();
    void Button6Click();
    void Button7Click();
    void Button8Click();
    void Button9Click();
    void PageControl1Change();
    void UpdateChange();
    void Edit2KeyDown(int key);
    void Edit3KeyPress(QChar key);
    void Edit4KeyPress(QChar key);
    void Edit5KeyPress(QChar key);
    void Memo1KeyPress(QChar key);
    void SpinEdit1KeyPress(QChar key);

    // World clock.
    void SpinEdit1Change();
    void RefreshClocks();
    void DisplacementFromSpin();

    // Display routines.
    void ShowRecordPicture();
    void ShowViewRecord();
    void RefreshViewNick();
    void ClearEditTab();
    void LoadEditTab();

    // The contact's offset from local time in days (48-bit real semantics: see
    // time_displacement.h). Assignments go through setTimeDisplacement.
    double TimeDisplacement() const { return timeDisplacement_; }
    void setTimeDisplacement(double days);
    bool SearchSuppressed = false;

    // The current picture path is the open-file dialog's file name.
    QString currentPicturePath() const;
    void setCurrentPicturePath(const QString& path);

    palvane::Table* Table1 = nullptr;
    palvane::SettingsFile* Settings = nullptr;
    palvane::ClockFormatter Clock;
    palvane::TypewriterState BannerState{palvane::TypewriterState::bannerStart()};

    // Controls.
    QMenuBar* MainMenu1 = nullptr;
    QMenu* File1 = nullptr;
    QAction* Exit1 = nullptr;
    QAction* About1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QLineEdit* Edit1 = nullptr;
    palvane::DBEdit* DBEdit1 = nullptr;
    palvane::DBEdit* DBEdit2 = nullptr;
    palvane::DBEdit* DBEdit3 = nullptr;
    palvane::DBMemo* DBMemo1 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    palvane::Panel* Panel1 = nullptr;
    palvane::Panel* Panel2 = nullptr;
    palvane::Panel* Panel5 = nullptr;
    palvane::Panel* Panel6 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label16 = nullptr;
    palvane::PictureBox* Image1 = nullptr;

    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button5 = nullptr;
    QPushButton* Button6 = nullptr;
    QPushButton* Button7 = nullptr;
    QPushButton* Button8 = nullptr;
    QPushButton* Button9 = nullptr;
    palvane::Panel* Panel3 = nullptr;
    palvane::Panel* Panel4 = nullptr;
    palvane::Panel* Panel7 = nullptr;
    QLabel* Label6 = nullptr;
    QLabel* Label17 = nullptr;
    palvane::SpinEdit* SpinEdit1 = nullptr;
    palvane::PictureBox* Image2 = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;
    palvane::OpenDialog* OpenDialog1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void buildMenu();
    void buildViewTab();
    void buildEditTab();
    void buildClockPanels();
    void connectHandlers();
    void nameForAssistiveTechnology();
    void setIntervalIfChanged(QTimer* timer, int milliseconds);
    // Makes a tab active from the program: no tab-change handler runs.
    void setActivePage(QWidget* page);
    // Writes the search box from the program. The box's change handler runs as for any change;
    // a failure in it ends the routine that wrote the box, as it would a direct call.
    void writeSearchBox(const QString& text);
    void runEdit1Change();
    // Fills the spin box from the current record's "IRC Spin" (0 when blank or none).
    void SpinFromRecord();
    // Where the spin box takes its hours when the Edit/Add tab is reloaded: from the record
    // (0 without one), or from the record only while the table holds any.
    enum class SpinSource { Record, RecordIfAny };
    // Shows the current record on the Edit/Add tab after a move or a deletion: the boxes, the
    // spin box and the offset it gives; the entry counts as unchanged again.
    void ReloadEditTab(SpinSource spin);

    palvane::OpenedWindows openedWindows_;
    double timeDisplacement_ = 0.0;
    // The record the last New Entry stored, until the tab switch purges it; -1 for none.
    qint64 newEntryRowId_ = -1;
    bool shownOnce_ = false;
    bool programTabSwitch_ = false;
    int searchBoxWrites_ = 0;
    std::exception_ptr searchFailure_;
};
