#pragma once
// Data-bound boxes: read-only views of one field of the table's current record, refreshed by
// the table's own change signal. With no current record they show nothing.

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

namespace palvane {

class Table;

class DBEdit : public QLineEdit {
    Q_OBJECT

public:
    explicit DBEdit(QWidget* parent = nullptr);
    void setDataSource(Table* table);
    void setDataField(const QString& field);
    QString dataField() const { return field_; }
    void refreshFromTable();

private:
    Table* table_ = nullptr;
    QString field_;
    bool reported_ = false;
};

class DBMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit DBMemo(QWidget* parent = nullptr);
    void setDataSource(Table* table);
    void setDataField(const QString& field);
    QString dataField() const { return field_; }
    void refreshFromTable();

private:
    Table* table_ = nullptr;
    QString field_;
    bool reported_ = false;
};

// The text of a field of the current record for a bound box; "" without a record. A field
// the table lacks is reported once per box, not on every move.
QString boundFieldText(Table* table, const QString& field, bool& reported);

} // namespace palvane
