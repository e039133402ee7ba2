// The nick search: after every change of the View tab's search box the table moves to the
// nearest nick, the box shows it in full with the completed tail selected, and the contact's
// offset and picture follow. Backspace (and DEL) edit the box without searching.

#include "main_window/tform1.h"

#include "store/table.h"
#include "widgets/error_report.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QSignalBlocker>

#include <algorithm>
#include <utility>

// These routines name the nick (and name) in capitals, as the windows always have; a table
// without the field is reported in that spelling.
constexpr auto kCapitals = palvane::Table::Spelling::InCapitals;

void TForm1::Edit1KeyPress(QChar key) {
    SearchSuppressed = key == QChar(8) || key == QChar(127);
}

void TForm1::Edit1Change() {
    if (SearchSuppressed)
        return;
    SearchSuppressed = true;
    const int typed = int(Edit1->text().length() - Edit1->selectedText().length());

    Table1->setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    Table1->setKey();
    Table1->fieldByName(palvane::FieldNick, kCapitals).setAsString(Edit1->text());
    Table1->gotoNearest();

    // Our own write runs this handler again, which returns at once: the search is suppressed.
    Edit1->setText(Table1->fieldByName(palvane::FieldNick, kCapitals).asString());
    const int length = int(Edit1->text().length());
    const int caret = std::min(typed, length);
    Edit1->setCursorPosition(caret);
    // Selects the completed tail; when the nick found is shorter than the text, the count is
    // negative and the selection runs backwards from the end.
    Edit1->setSelection(caret, length - typed);

    // A character typed meanwhile runs a search of its own from here.
    QCoreApplication::processEvents();
    SearchSuppressed = false;

    setTimeDisplacement(Table1->fieldByName(palvane::FieldTimeDisplacement).asFloat());
    ShowRecordPicture();
}

void TForm1::runEdit1Change() {
    if (searchBoxWrites_ == 0) {
        palvane::guarded([this] { Edit1Change(); });
        return;
    }
    // Written by the program: hand a failure back to the writer. Changes that arrive through
    // the message pump inside this search are the user's keystrokes, reported on their own.
    const int writes = std::exchange(searchBoxWrites_, 0);
    try {
        Edit1Change();
    } catch (...) {
        if (!searchFailure_)
            searchFailure_ = std::current_exception();
    }
    searchBoxWrites_ = writes;
}

void TForm1::writeSearchBox(const QString& text) {
    // The same text again is no change: the box keeps its caret and selection as well.
    if (Edit1->text() == text)
        return;
    // Another spelling of the nick the box shows ("bob" for "Bob") is the same nick to the
    // index, and is written as the same text would be: without a search. Searching it would
    // only return to the first of them, and Next could never get past such a pair.
    if (palvane::Table::sameNick(Edit1->text(), text)) {
        const QSignalBlocker noSearch(Edit1);
        Edit1->setText(text);
        return;
    }
    ++searchBoxWrites_;
    Edit1->setText(text);
    --searchBoxWrites_;
    if (searchBoxWrites_ == 0 && searchFailure_) {
        std::exception_ptr failure = searchFailure_;
        searchFailure_ = nullptr;
        std::rethrow_exception(failure);
    }
}
