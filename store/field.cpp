// Field reads and writes on the current record, the record buffer or the search key.

#include "store/field_names.h"
#include "store/table_impl.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace palvane {

namespace {

const QString kNotEditing = QStringLiteral("Dataset not in edit or insert mode");

// Rounds half away from zero and clamps into int; NaN reads as 0.
int roundToInt(double value) {
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(value);
    if (rounded >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (rounded <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(rounded);
}

int clampToInt(qint64 value) {
    if (value > std::numeric_limits<int>::max())
        return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min())
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

Cell integerCell(qint64 value) {
    Cell cell;
    cell.type = SQLITE_INTEGER;
    cell.integer = value;
    cell.real = static_cast<double>(value);
    cell.text = QString::number(value);
    return cell;
}

Cell realCell(double value) {
    Cell cell;
    cell.type = SQLITE_FLOAT;
    cell.real = value;
    cell.integer = roundToInt(value);
    cell.text = QString::number(value, 'g', 15);
    return cell;
}

} // namespace

// ---- Impl: buffer access ---------------------------------------------------------------------

const Cell& Table::Impl::cellAt(int index) const {
    static const Cell blank;
    switch (state) {
    case State::Editing:
    case State::Inserting:
        return buffer[index];
    case State::KeyEntry:
        return index == FieldNick ? searchKey : blank;
    case State::Browsing:
        return hasCurrent ? row[index] : blank;
    default:
        return blank;
    }
}

void Table::Impl::requireField(int index) const {
    if (index < 0 || index >= FieldCount)
        throw TableError(QStringLiteral("Field '%1' not found").arg(index));
    if (db && columns[index].isEmpty())
        throw TableError(
            QStringLiteral("Field '%1' not found").arg(QLatin1String(kFieldNames[index])));
}

Cell Table::Impl::textCell(int index, const QString& text) const {
    switch (fieldKind(index)) {
    case FieldKind::Text: {
        Cell cell;
        if (text.isEmpty())
            return cell; // blank
        cell.type = SQLITE_TEXT;
        cell.text = sql::cutToLength(text, lengths[index]);
        return cell;
    }
    case FieldKind::Integer: {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return Cell();
        bool ok = false;
        const qint64 value = trimmed.toLongLong(&ok);
        if (!ok)
            throw TableError(QStringLiteral("'%1' is not a valid whole number").arg(text));
        return integerCell(value);
    }
    case FieldKind::Real: {
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty())
            return Cell();
        bool ok = false;
        double value = QLocale::c().toDouble(trimmed, &ok);
        if (!ok)
            value = QLocale().toDouble(trimmed, &ok);
        if (!ok)
            throw TableError(QStringLiteral("'%1' is not a valid number").arg(text));
        return realCell(value);
    }
    }
    return Cell();
}

void Table::Impl::writeCell(int index, Cell cell) {
    requireField(index);
    switch (state) {
    case State::Closed:
        throw TableError(QStringLiteral("Cannot perform this operation on a closed dataset"));
    case State::KeyEntry:
        // In key entry the nick field holds the search key, cut like the nick itself.
        if (index != FieldNick)
            throw TableError(kNotEditing);
        searchKey = cell.type == SQLITE_TEXT ? std::move(cell) : textCell(FieldNick, cell.text);
        return;
    case State::Editing:
    case State::Inserting:
        buffer[index] = std::move(cell);
        modified[index] = true;
        return;
    default:
        throw TableError(kNotEditing);
    }
}

// ---- Field -----------------------------------------------------------------------------------

QString Field::fieldName() const {
    return table_->fieldNameAt(index_);
}

bool Field::isNull() const {
    table_->d->requireField(index_);
    return table_->d->cellAt(index_).isBlank();
}

QString Field::asString() const {
    table_->d->requireField(index_);
    return table_->d->cellAt(index_).text;
}

double Field::asFloat() const {
    table_->d->requireField(index_);
    return table_->d->cellAt(index_).real;
}

int Field::asInteger() const {
    table_->d->requireField(index_);
    const Cell& cell = table_->d->cellAt(index_);
    return cell.type == SQLITE_INTEGER ? clampToInt(cell.integer) : roundToInt(cell.real);
}

void Field::setAsString(const QString& value) {
    table_->d->requireField(index_);
    table_->d->writeCell(index_, table_->d->textCell(index_, value));
}

void Field::setAsFloat(double value) {
    table_->d->requireField(index_);
    Table::Impl& impl = *table_->d;
    switch (fieldKind(index_)) {
    case FieldKind::Text:
        impl.writeCell(index_, impl.textCell(index_, QString::number(value, 'g', 15)));
        break;
    case FieldKind::Integer:
        impl.writeCell(index_, std::isnan(value) ? Cell() : integerCell(roundToInt(value)));
        break;
    case FieldKind::Real:
        // SQLite cannot store NaN (it would become blank anyway): keep it blank explicitly.
        impl.writeCell(index_, std::isnan(value) ? Cell() : realCell(value));
        break;
    }
}

void Field::setAsInteger(int value) {
    table_->d->requireField(index_);
    Table::Impl& impl = *table_->d;
    if (fieldKind(index_) == FieldKind::Text)
        impl.writeCell(index_, impl.textCell(index_, QString::number(value)));
    else
        impl.writeCell(index_, integerCell(value));
}

void Field::clear() {
    table_->d->requireField(index_);
    table_->d->writeCell(index_, Cell());
}

} // namespace palvane
