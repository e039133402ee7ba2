#include "main_window/db_controls.h"

#include "store/table.h"
#include "widgets/accessible_states.h"
#include "widgets/error_report.h"

#include <QAccessible>
#include <QScrollBar>
#include <QTextCursor>

namespace palvane {

QString boundFieldText(Table* table, std::optional<FieldIndex> field, bool& reported) {
    if (!table || !table->active() || !table->hasCurrent() || !field)
        return {};
    try {
        return table->fieldByName(*field).asString();
    } catch (const std::exception& e) {
        if (!reported) {
            reported = true;
            reportError(e);
        }
    }
    return {};
}

namespace {

// A bound box shows a value and takes no typing: screen readers hear it as read-only.
QAccessibleInterface* boundBoxAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String(DBEdit::staticMetaObject.className()) && object->isWidgetType())
        return readOnlyLineAccessible(static_cast<DBEdit*>(object));
    return nullptr;
}

} // namespace

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(boundBoxAccessible);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
    setReadOnly(true);
}

void DBEdit::setDataSource(Table* table) {
    table_ = table;
    connect(table, &Table::dataChanged, this, &DBEdit::refreshFromTable);
    refreshFromTable();
}

void DBEdit::setDataField(FieldIndex field) {
    field_ = field;
    refreshFromTable();
}

void DBEdit::refreshFromTable() {
    const QString text = boundFieldText(table_, field_, reported_);
    if (text != this->text()) {
        setText(text);
        setCursorPosition(0);
    }
}

DBMemo::DBMemo(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    // The program replaces the text on every move; nobody can undo that, so keep no history.
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void DBMemo::setDataSource(Table* table) {
    table_ = table;
    connect(table, &Table::dataChanged, this, &DBMemo::refreshFromTable);
    refreshFromTable();
}

void DBMemo::setDataField(FieldIndex field) {
    field_ = field;
    refreshFromTable();
}

void DBMemo::refreshFromTable() {
    const QString text = boundFieldText(table_, field_, reported_);
    if (text == toPlainText())
        return;
    // Replaced in place: setPlainText would empty the document first, and the size of the
    // emptied document repaints the scroll bar, and everything beneath it, on every move.
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.insertText(text);
    // Each contact's notes are shown from their beginning.
    setTextCursor(QTextCursor(document()));
    verticalScrollBar()->setValue(0);
}

} // namespace palvane
