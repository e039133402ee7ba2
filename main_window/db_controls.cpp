#include "main_window/db_controls.h"

#include "app/error_report.h"
#include "store/table.h"

namespace palvane {

QString boundFieldText(Table* table, const QString& field, bool& reported) {
    if (!table || !table->active() || !table->hasCurrent() || field.isEmpty())
        return {};
    try {
        return table->fieldByName(field).asString();
    } catch (const std::exception& e) {
        if (!reported) {
            reported = true;
            reportError(e);
        }
    }
    return {};
}

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
}

void DBEdit::setDataSource(Table* table) {
    table_ = table;
    connect(table, &Table::dataChanged, this, &DBEdit::refreshFromTable);
    refreshFromTable();
}

void DBEdit::setDataField(const QString& field) {
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
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void DBMemo::setDataSource(Table* table) {
    table_ = table;
    connect(table, &Table::dataChanged, this, &DBMemo::refreshFromTable);
    refreshFromTable();
}

void DBMemo::setDataField(const QString& field) {
    field_ = field;
    refreshFromTable();
}

void DBMemo::refreshFromTable() {
    const QString text = boundFieldText(table_, field_, reported_);
    if (text != toPlainText())
        setPlainText(text);
}

} // namespace palvane
