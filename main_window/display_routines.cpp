// The routines that put the current contact on screen.

#include "main_window/tform1.h"

#include "side_windows/picture_box.h"
#include "store/table.h"
#include "widgets/open_dialog.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>

// These routines name the nick (and name) in capitals, as the windows always have; a table
// without the field is reported in that spelling.
constexpr auto kCapitals = palvane::Table::Spelling::InCapitals;

// The picture rule: boxes shown and the path set before loading, so that a failed load leaves
// both boxes visible with the picture they held and the failing path current.
void TForm1::ShowRecordPicture() {
    const QString path = Table1->fieldByName(palvane::FieldPicture).asString();
    if (path.isEmpty()) {
        setCurrentPicturePath(QString());
        Image1->hide();
        Image2->hide();
        return;
    }
    Image1->show();
    Image2->show();
    setCurrentPicturePath(path);
    Image1->LoadFromFile(path);
    Image2->setPicture(Image1->picture());
}

void TForm1::ShowViewRecord() {
    writeSearchBox(Table1->fieldByName(palvane::FieldNick, kCapitals).asString());
    ShowRecordPicture();
}

void TForm1::RefreshViewNick() {
    if (PageControl1->currentWidget() != TabSheet1)
        return;
    writeSearchBox(Table1->fieldByName(palvane::FieldNick, kCapitals).asString());
    RefreshClocks();
}

void TForm1::ClearEditTab() {
    Edit2->clear();
    Edit3->clear();
    Edit4->clear();
    Memo1->clear();
    Edit5->clear();
    setCurrentPicturePath(QString());
    Image1->hide();
    Image2->hide();
}

void TForm1::LoadEditTab() {
    Edit2->setText(Table1->fieldByName(palvane::FieldNick, kCapitals).asString());
    Edit3->setText(Table1->fieldByName(palvane::FieldName, kCapitals).asString());
    Edit4->setText(Table1->fieldByName(palvane::FieldLocation).asString());
    Edit5->setText(Table1->fieldByName(palvane::FieldEmail).asString());
    Memo1->setPlainText(Table1->fieldByName(palvane::FieldNotes).asString());
    ShowRecordPicture();
    RefreshViewNick();
}
