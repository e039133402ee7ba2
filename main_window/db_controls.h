#pragma once
// Data-bound boxes: read-only views of one field of the table's current record, refreshed by
// the table's own change signal. With no current record they show nothing.

#include "store/table.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

#include <optional>

namespace palvane {

class DBEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit DBEdit(QWidget* parent = nullptr);
    void setDataSource(Table* table);
    void setDataField(FieldIndex field);
    std::optional<FieldIndex> dataField() const { return field_; }
    void refreshFromTable();

private:
    Table* table_ = nullptr;
    std::optional<FieldIndex> field_;
    bool reported_ = false;
};

class DBMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit DBMemo(QWidget* parent = nullptr);
    void setDataSource(Table* table);
    void setDataField(FieldIndex field);
    std::optional<FieldIndex> dataField() const { return field_; }
    void refreshFromTable();

private:
    Table* table_ = nullptr;
    std::optional<FieldIndex> field_;
    bool reported_ = false;
};

// The text of a field of the current record for a bound box; "" without a record. A field
// the table lacks is reported once per box, not on every move.
QString boundFieldText(Table* table, std::optional<FieldIndex> field, bool& reported);

} // namespace palvane
