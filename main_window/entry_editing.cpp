// Entry editing on the Edit/Add tab: new, update and delete, stepping, pictures, the tab
// switch with its purge of entries left without a nick, and the entry-changed flag (the
// enabled state of Update Entry).

#include "main_window/tform1.h"

#include "main_window/spin_edit.h"
#include "side_windows/picture_box.h"
#include "store/table.h"
#include "widgets/message_box.h"
#include "widgets/open_dialog.h"
#include "widgets/side_window.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

// These routines name the nick (and name) in capitals, as the windows always have; a table
// without the field is reported in that spelling.
constexpr auto kCapitals = palvane::Table::Spelling::InCapitals;

namespace {

const QString kNoRecords =
    QStringLiteral("There are no records in the current database. Please make an entry.");

// An entry New Entry made and nobody filled in: every text field blank.
bool isBlankEntry(palvane::Table* table) {
    for (const palvane::FieldIndex field :
         {palvane::FieldNick, palvane::FieldName, palvane::FieldLocation, palvane::FieldEmail,
          palvane::FieldNotes, palvane::FieldPicture}) {
        if (!table->fieldByName(field).asString().isEmpty())
            return false;
    }
    return true;
}

} // namespace

void TForm1::UpdateChange() {
    Button2->setEnabled(true);
}

void TForm1::Edit2KeyDown(int) {
    UpdateChange();
}
void TForm1::Edit3KeyPress(QChar) {
    UpdateChange();
}
void TForm1::Edit4KeyPress(QChar) {
    UpdateChange();
}
void TForm1::Edit5KeyPress(QChar) {
    UpdateChange();
}
void TForm1::Memo1KeyPress(QChar) {
    UpdateChange();
}
void TForm1::SpinEdit1KeyPress(QChar) {
    UpdateChange();
}

void TForm1::SpinFromRecord() {
    SpinEdit1->setValueClamped(Table1->fieldByName(palvane::FieldSpin).asInteger());
}

void TForm1::ReloadEditTab(SpinSource spin) {
    LoadEditTab();
    if (spin == SpinSource::Record || !Table1->isEmpty())
        SpinFromRecord();
    DisplacementFromSpin();
    Button2->setEnabled(false);
}

// New Entry: a blank record is stored at once and becomes current.
void TForm1::Button1Click() {
    ClearEditTab();
    palvane::InsertValues values{};
    values[palvane::FieldTimeDisplacement] = 0;
    values[palvane::FieldSpin] = 0;
    Table1->insertRecord(values);
    newEntryRowId_ = Table1->currentRowId();
    SpinEdit1->setValueClamped(0);
    DisplacementFromSpin();
    Label6->setText(Clock.formatTime(palvane::nowInDays() + TimeDisplacement()));
    Label17->setText(Clock.formatDate(palvane::nowInDays() + TimeDisplacement()));
    UpdateChange();
}

// Update Entry: the boxes are written into the current record (or a first record).
void TForm1::Button2Click() {
    if (Edit2->text().isEmpty()) {
        palvane::showInformation(
            QStringLiteral("Current record contains no nick! Cannot Update without Nick."));
        return;
    }
    Table1->edit();
    Table1->fieldByName(palvane::FieldNick).setAsString(Edit2->text());
    Table1->fieldByName(palvane::FieldName).setAsString(Edit3->text());
    Table1->fieldByName(palvane::FieldLocation).setAsString(Edit4->text());
    Table1->fieldByName(palvane::FieldNotes).setAsString(Memo1->toPlainText());
    Table1->fieldByName(palvane::FieldTimeDisplacement).setAsFloat(TimeDisplacement());
    Table1->fieldByName(palvane::FieldEmail).setAsString(Edit5->text());
    Table1->fieldByName(palvane::FieldSpin).setAsInteger(SpinEdit1->Value());
    Table1->fieldByName(palvane::FieldPicture).setAsString(currentPicturePath());
    DisplacementFromSpin();
    Table1->post();
    RefreshClocks();
    Button2->setEnabled(false);
}

// Delete Entry, after the confirmation.
void TForm1::Button5Click() {
    if (Table1->isEmpty()) {
        palvane::showInformation(
            QStringLiteral("If there were any records to delete I would gladly delete them. At "
                           "the moment though, I can't seem to find any... :-)"));
        return;
    }
    if (openedWindows_.deleteConfirmation->ShowModal() != palvane::mrOk)
        return;
    Table1->deleteRecord();
    Table1->refresh();
    ReloadEditTab(SpinSource::RecordIfAny);
}

void TForm1::Button6Click() {
    Table1->prior();
    ReloadEditTab(SpinSource::Record);
}

void TForm1::Button7Click() {
    Table1->next();
    ReloadEditTab(SpinSource::Record);
}

// Add: the chosen picture is shown at once and stored by the next Update Entry.
void TForm1::Button8Click() {
    if (!OpenDialog1->Execute(this))
        return;
    const palvane::Picture picture = palvane::Picture::load(currentPicturePath());
    Image1->setPicture(picture);
    Image2->setPicture(picture);
    Image1->show();
    Image2->show();
    UpdateChange();
}

// Clear: the picture goes at the next Update Entry.
void TForm1::Button9Click() {
    Image1->hide();
    Image2->hide();
    setCurrentPicturePath(QString());
    UpdateChange();
}

// The user switched tabs (either way).
void TForm1::PageControl1Change() {
    if (Table1->isEmpty()) {
        writeSearchBox(QString());
        // Emptying the search box ran a search that found no contact and took offset 0 from
        // it, while the spin box still shows its hours: follow the spin box again, or the next
        // Update Entry would store hours and days that disagree.
        DisplacementFromSpin();
        palvane::showInformation(kNoRecords);
        setActivePage(TabSheet2);
        return;
    }
    // The entry New Entry made and nobody filled in is removed again. It goes before the tabs
    // are loaded: loading the View tab searches for its empty nick, which can land on another
    // record without a nick and would leave this one behind.
    const bool newEntryCurrent = newEntryRowId_ >= 0 && Table1->currentRowId() == newEntryRowId_;
    if (newEntryCurrent && isBlankEntry(Table1)) {
        newEntryRowId_ = -1;
        Table1->deleteRecord();
        ReloadEditTab(SpinSource::RecordIfAny);
        return;
    }
    LoadEditTab();
    SpinFromRecord();
    // A blank entry an earlier run left behind goes as soon as it is current at a switch. A
    // record without a nick that holds anything else is kept: deleting it would lose data.
    if (Edit2->text().isEmpty() && isBlankEntry(Table1)) {
        Table1->deleteRecord();
        writeSearchBox(Table1->fieldByName(palvane::FieldNick, kCapitals).asString());
        ShowRecordPicture();
        ReloadEditTab(SpinSource::RecordIfAny);
        return;
    }
    Button2->setEnabled(false);
}
