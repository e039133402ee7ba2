#include "tools/contacts_csv.h"

#include "store/field_names.h"

#include <QLocale>
#include <QStringList>

#include <array>
#include <cmath>
#include <optional>

namespace palvane::tool {

namespace {

constexpr int kMinHours = -24;
constexpr int kMaxHours = 24;

struct Record {
    int line = 0;
    QStringList fields;
};

// Splits the text into records per RFC 4180. Lines are counted from 1; a record's line is the
// one on which it starts.
class CsvScanner {
public:
    explicit CsvScanner(const QString& text) : text_(text) {}

    // The next record, or nothing at the end of the text. Blank lines are skipped.
    std::optional<Record> next() {
        while (pos_ < text_.size()) {
            Record record;
            record.line = line_;
            bool blank = true;
            for (;;) {
                const bool quoted = pos_ < text_.size() && text_[pos_] == QLatin1Char('"');
                record.fields << (quoted ? quotedField() : plainField());
                if (quoted || !record.fields.last().isEmpty())
                    blank = false;
                if (pos_ >= text_.size())
                    break;
                const QChar c = text_[pos_];
                if (c == QLatin1Char(',')) {
                    blank = false;
                    ++pos_;
                    continue;
                }
                skipLineBreak();
                break;
            }
            if (!blank)
                return record;
        }
        return std::nullopt;
    }

private:
    bool atLineBreak() const {
        return text_[pos_] == QLatin1Char('\n') || text_[pos_] == QLatin1Char('\r');
    }

    void skipLineBreak() {
        if (text_[pos_] == QLatin1Char('\r') && pos_ + 1 < text_.size() &&
            text_[pos_ + 1] == QLatin1Char('\n'))
            ++pos_;
        ++pos_;
        ++line_;
    }

    QString plainField() {
        const qsizetype start = pos_;
        while (pos_ < text_.size() && text_[pos_] != QLatin1Char(',') && !atLineBreak()) {
            if (text_[pos_] == QLatin1Char('"'))
                throw FormatError(line_, QStringLiteral("quote inside an unquoted field (a field "
                                                        "holding quotes must be quoted, with "
                                                        "each quote doubled)"));
            ++pos_;
        }
        return text_.mid(start, pos_ - start);
    }

    QString quotedField() {
        const int startLine = line_;
        ++pos_; // the opening quote
        QString value;
        for (;;) {
            if (pos_ >= text_.size())
                throw FormatError(startLine, QStringLiteral("unterminated quoted field"));
            const QChar c = text_[pos_];
            if (c == QLatin1Char('"')) {
                if (pos_ + 1 < text_.size() && text_[pos_ + 1] == QLatin1Char('"')) {
                    value += QLatin1Char('"');
                    pos_ += 2;
                    continue;
                }
                ++pos_;
                break;
            }
            if (atLineBreak()) {
                skipLineBreak();
                value += QLatin1Char('\n');
                continue;
            }
            value += c;
            ++pos_;
        }
        if (pos_ < text_.size() && text_[pos_] != QLatin1Char(',') && !atLineBreak())
            throw FormatError(line_,
                              QStringLiteral("text after the closing quote of a quoted field"));
        return value;
    }

    const QString& text_;
    qsizetype pos_ = 0;
    int line_ = 1;
};

QString fieldList() {
    QStringList names;
    for (const char* name : kFieldNames)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(name));
    return names.join(QStringLiteral(", "));
}

// Column of each field in the file, or -1.
std::array<int, FieldCount> mapHeader(const Record& header) {
    std::array<int, FieldCount> columns;
    columns.fill(-1);
    for (int column = 0; column < header.fields.size(); ++column) {
        const QString name = header.fields[column].trimmed();
        int field = -1;
        for (int i = 0; i < FieldCount; ++i)
            if (name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0)
                field = i;
        if (field < 0 && name.isEmpty())
            throw FormatError(header.line,
                              QStringLiteral("column %1 of the header row has no name (the "
                                             "columns are %2)")
                                  .arg(column + 1)
                                  .arg(fieldList()));
        if (field < 0)
            throw FormatError(header.line, QStringLiteral("unknown column '%1' in the header "
                                                          "row (the columns are %2)")
                                               .arg(name, fieldList()));
        if (columns[field] >= 0)
            throw FormatError(header.line, QStringLiteral("the header row names \"%1\" twice")
                                               .arg(QLatin1String(kFieldNames[field])));
        columns[field] = column;
    }
    return columns;
}

std::optional<int> readHours(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const int hours = text.toInt(&ok);
    if (!ok || hours < kMinHours || hours > kMaxHours)
        throw FormatError(line, QStringLiteral("\"IRC Spin\" must be a whole number of hours "
                                               "from -24 to 24, not '%1'")
                                    .arg(text));
    return hours;
}

std::optional<double> readDays(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const double days = text.toDouble(&ok);
    if (!ok || !std::isfinite(days) || std::fabs(days) > 1.0)
        throw FormatError(line, QStringLiteral("\"IRC Time Displacement\" must be a number of "
                                               "days from -1 to 1, not '%1'")
                                    .arg(text));
    return days;
}

QString quoted(const QString& value) {
    const bool needsQuotes =
        value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) ||
        value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) ||
        (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsQuotes)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

ReadContacts readCsv(const QByteArray& bytes) {
    const QString text = decodeUtf8(bytes);
    CsvScanner scanner(text);
    const std::optional<Record> header = scanner.next();
    if (!header)
        throw FormatError(
            1, QStringLiteral("the header row is missing (the columns are %1)").arg(fieldList()));
    const std::array<int, FieldCount> columns = mapHeader(*header);
    const bool haveDays = columns[FieldTimeDisplacement] >= 0;
    const bool haveHours = columns[FieldSpin] >= 0;

    ReadContacts result;
    while (const std::optional<Record> record = scanner.next()) {
        if (record->fields.size() != header->fields.size())
            throw FormatError(record->line, QStringLiteral("%1 fields, but the header row has %2")
                                                .arg(record->fields.size())
                                                .arg(header->fields.size()));
        const auto cell = [&](int field) {
            return columns[field] >= 0 ? record->fields[columns[field]] : QString();
        };
        ContactRow row;
        row.nick = cell(FieldNick);
        row.name = cell(FieldName);
        row.location = cell(FieldLocation);
        row.email = cell(FieldEmail);
        row.notes = cell(FieldNotes);
        row.picture = cell(FieldPicture);
        if (haveHours)
            row.spin = readHours(cell(FieldSpin), record->line);
        if (haveDays)
            row.timeDisplacement = readDays(cell(FieldTimeDisplacement), record->line);
        if (haveHours && !haveDays) {
            row.timeDisplacement =
                row.spin ? std::optional<double>(hoursToDays(*row.spin)) : std::nullopt;
        } else if (haveDays && !haveHours) {
            if (row.timeDisplacement) {
                const double hours = *row.timeDisplacement * 24.0;
                row.spin = static_cast<int>(std::round(hours));
                if (std::fabs(hours - *row.spin) > 1e-6)
                    result.warnings << QStringLiteral("line %1, %2: an offset of %3 hours is "
                                                      "not whole; \"IRC Spin\" rounded to %4")
                                           .arg(record->line)
                                           .arg(describeContact(row))
                                           .arg(hours, 0, 'g', 6)
                                           .arg(*row.spin);
            } else {
                row.spin.reset();
            }
        }
        result.contacts.push_back(std::move(row));
        result.lines.push_back(record->line);
    }
    return result;
}

QByteArray writeCsv(const std::vector<ContactRow>& contacts) {
    const QString lineEnd = QStringLiteral("\r\n");
    QStringList header;
    for (const char* name : kFieldNames)
        header << quoted(QLatin1String(name));
    QString out = header.join(QLatin1Char(',')) + lineEnd;
    for (const ContactRow& row : contacts) {
        std::array<QString, FieldCount> cells;
        cells[FieldNick] = quoted(row.nick);
        cells[FieldName] = quoted(row.name);
        cells[FieldLocation] = quoted(row.location);
        cells[FieldEmail] = quoted(row.email);
        cells[FieldNotes] = quoted(row.notes);
        if (row.timeDisplacement)
            cells[FieldTimeDisplacement] =
                QString::number(*row.timeDisplacement, 'g', QLocale::FloatingPointShortest);
        if (row.spin)
            cells[FieldSpin] = QString::number(*row.spin);
        cells[FieldPicture] = quoted(row.picture);
        for (int i = 0; i < FieldCount; ++i) {
            if (i > 0)
                out += QLatin1Char(',');
            out += cells[i];
        }
        out += lineEnd;
    }
    return out.toUtf8();
}

} // namespace palvane::tool
