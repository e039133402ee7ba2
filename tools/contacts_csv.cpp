#include "tools/contacts_csv.h"

#include "store/field_names.h"
#include "tools/csv_columns.h"

#include <QLocale>
#include <QStringList>

#include <array>
#include <charconv>
#include <cmath>
#include <optional>

namespace palvane::tool {

namespace {

constexpr int kMinHours = -24;
constexpr int kMaxHours = 24;
constexpr int kAddressGroups = 3;
constexpr qsizetype kNamedColumns = 8; // in the warning about columns left out

// The separator of a file: the comma, unless the header row holds more semicolons or tabs
// (outside quotes) than commas.
QChar separatorOf(QByteArrayView header) {
    int commas = 0;
    int semicolons = 0;
    int tabs = 0;
    bool quoted = false;
    for (const char c : header) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
        else if (c == '\t')
            ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs)
        return QLatin1Char(';');
    if (tabs > commas)
        return QLatin1Char('\t');
    return QLatin1Char(',');
}

QString fieldList() {
    QStringList names;
    for (const char* name : kFieldNames)
        names << QStringLiteral("\"%1\"").arg(QLatin1String(name));
    return names.join(QStringLiteral(", "));
}

// A number in the C locale, whatever the user's: Qt's own conversion is several times slower.
template <typename Number> bool parseNumber(const QString& text, Number& value) {
    QByteArray latin = text.toLatin1();
    if (latin.startsWith('+'))
        latin.remove(0, 1);
    const char* end = latin.constData() + latin.size();
    const auto result = std::from_chars(latin.constData(), end, value);
    return result.ec == std::errc() && result.ptr == end && !latin.isEmpty();
}

std::optional<int> readHours(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    int hours = 0;
    if (!parseNumber(text, hours) || hours < kMinHours || hours > kMaxHours)
        throw FormatError(line, QStringLiteral("\"IRC Spin\" must be a whole number of hours "
                                               "from -24 to 24, not '%1'")
                                    .arg(shown(text)));
    return hours;
}

std::optional<double> readDays(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    double days = 0;
    if (!parseNumber(text, days) || !std::isfinite(days) || std::fabs(days) > 1.0)
        throw FormatError(line, QStringLiteral("\"IRC Time Displacement\" must be a number of "
                                               "days from -1 to 1, not '%1'")
                                    .arg(shown(text)));
    return days;
}

// Where each value of a contact comes from, worked out from the header row.
struct Plan {
    std::array<int, FieldCount> fields;
    int given = -1;
    int middle = -1;
    int family = -1;
    std::vector<int> emails; // in order of preference; with "IRC Email" all are others
    std::array<int, kAddressGroups> cities;
    std::array<int, kAddressGroups> countries;
    std::vector<int> leftOut;

    Plan() {
        fields.fill(-1);
        cities.fill(-1);
        countries.fill(-1);
    }
};

Plan planColumns(const QStringList& header, int line) {
    Plan plan;
    std::vector<std::pair<int, int>> emails; // rank, column
    bool anyUsed = false;
    for (int column = 0; column < header.size(); ++column) {
        const QString name = header[column].trimmed();
        if (name.isEmpty())
            throw FormatError(line, QStringLiteral("column %1 of the header row has no name (the "
                                                   "columns are %2)")
                                        .arg(column + 1)
                                        .arg(fieldList()));
        const ColumnMeaning meaning = columnMeaning(name);
        bool used = true;
        const auto take = [&](int& slot) {
            if (slot >= 0)
                used = false;
            else
                slot = column;
        };
        switch (meaning.role) {
        case ColumnRole::Field:
            if (meaning.exact) {
                int& slot = plan.fields[meaning.field];
                if (slot >= 0 && columnMeaning(header[slot]).exact)
                    throw FormatError(line, QStringLiteral("the header row names \"%1\" twice")
                                                .arg(QLatin1String(kFieldNames[meaning.field])));
                if (slot >= 0)
                    plan.leftOut.push_back(slot); // the table's own name wins over another's
                slot = column;
            } else {
                take(plan.fields[meaning.field]);
            }
            break;
        case ColumnRole::GivenName:
            take(plan.given);
            break;
        case ColumnRole::MiddleName:
            take(plan.middle);
            break;
        case ColumnRole::FamilyName:
            take(plan.family);
            break;
        case ColumnRole::Email:
            emails.emplace_back(meaning.rank, column);
            break;
        case ColumnRole::City:
            take(plan.cities[meaning.rank]);
            break;
        case ColumnRole::Country:
            take(plan.countries[meaning.rank]);
            break;
        case ColumnRole::Unknown:
            used = false;
            break;
        }
        if (used)
            anyUsed = true;
        else
            plan.leftOut.push_back(column);
    }
    if (!anyUsed)
        throw FormatError(line, QStringLiteral("the header row names no field of the table (the "
                                               "columns are %1, or the names mail programs give "
                                               "them, such as \"Nickname\" and \"E-mail "
                                               "Address\")")
                                    .arg(fieldList()));
    std::sort(plan.leftOut.begin(), plan.leftOut.end());
    std::stable_sort(emails.begin(), emails.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& email : emails)
        plan.emails.push_back(email.second);
    return plan;
}

QString quoted(const QString& value) {
    bool needsQuotes = !value.isEmpty() && (value.front().isSpace() || value.back().isSpace());
    for (qsizetype i = 0; i < value.size() && !needsQuotes; ++i) {
        const char16_t c = value[i].unicode();
        needsQuotes = c == u',' || c == u'"' || c == u'\n' || c == u'\r';
    }
    if (!needsQuotes)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace

struct CsvReader::Impl {
    LineReader& lines;
    WarningSink warn;
    QChar separator = QLatin1Char(',');
    qsizetype columns = 0;
    Plan plan;
    std::vector<bool> leftOutHeld; // a column left out held something
    QStringList header;
    QStringList fields;
    QByteArrayView raw;

    Impl(LineReader& l, WarningSink w) : lines(l), warn(std::move(w)) {}

    // The next record that is not blank into fields; false at the end of the file.
    bool readRecord(int& line) {
        for (;;) {
            if (!lines.next(raw))
                return false;
            line = lines.lineNumber();
            QString text = decodeUtf8(raw, line);
            fields.clear();
            bool blank = true;
            qsizetype pos = 0;
            for (;;) {
                if (pos < text.size() && text[pos] == QLatin1Char('"')) {
                    fields << quotedField(text, pos);
                    blank = false;
                } else {
                    qsizetype end = text.indexOf(separator, pos);
                    if (end < 0)
                        end = text.size();
                    const qsizetype quote = text.indexOf(QLatin1Char('"'), pos);
                    if (quote >= 0 && quote < end)
                        throw FormatError(lines.lineNumber(),
                                          QStringLiteral("quote inside an unquoted field (a "
                                                         "field holding quotes must be quoted, "
                                                         "with each quote doubled)"));
                    fields << text.mid(pos, end - pos);
                    if (end > pos)
                        blank = false;
                    pos = end;
                }
                if (pos >= text.size())
                    break;
                blank = false; // a separator
                ++pos;
            }
            if (!blank)
                return true;
        }
    }

    // The quoted field at text[pos], which may go on over the following lines; text and pos
    // follow it.
    QString quotedField(QString& text, qsizetype& pos) {
        const int startLine = lines.lineNumber();
        ++pos; // the opening quote
        QString value;
        for (;;) {
            if (pos >= text.size()) {
                if (!lines.next(raw))
                    throw FormatError(startLine, QStringLiteral("unterminated quoted field"));
                text = decodeUtf8(raw, lines.lineNumber());
                pos = 0;
                value += QLatin1Char('\n');
                continue;
            }
            if (text[pos] == QLatin1Char('"')) {
                if (pos + 1 < text.size() && text[pos + 1] == QLatin1Char('"')) {
                    value += QLatin1Char('"');
                    pos += 2;
                    continue;
                }
                ++pos;
                break;
            }
            qsizetype quote = text.indexOf(QLatin1Char('"'), pos);
            if (quote < 0)
                quote = text.size();
            value += QStringView(text).mid(pos, quote - pos);
            pos = quote;
        }
        if (pos < text.size() && text[pos] != separator)
            throw FormatError(lines.lineNumber(),
                              QStringLiteral("text after the closing quote of a quoted field"));
        return value;
    }

    QString cell(int column) const { return column >= 0 ? fields[column] : QString(); }

    void fill(ContactRow& row, int line) {
        const Plan& p = plan;
        row.nick = cell(p.fields[FieldNick]);
        row.name = cell(p.fields[FieldName]);
        if (p.fields[FieldName] < 0) {
            QStringList parts;
            for (const int column : {p.given, p.middle, p.family})
                if (const QString part = cell(column).trimmed(); !part.isEmpty())
                    parts << part;
            if (!parts.isEmpty())
                row.name = parts.join(QLatin1Char(' '));
        }
        row.location = cell(p.fields[FieldLocation]);
        if (p.fields[FieldLocation] < 0)
            for (int group = 0; group < kAddressGroups; ++group) {
                const QString city = cell(p.cities[group]).trimmed();
                const QString country = cell(p.countries[group]).trimmed();
                if (city.isEmpty() && country.isEmpty())
                    continue;
                row.location = placeName(city, country);
                break;
            }
        row.email = cell(p.fields[FieldEmail]);
        row.notes = cell(p.fields[FieldNotes]);
        row.picture = cell(p.fields[FieldPicture]);
        QStringList others;
        for (const int column : p.emails)
            // One web mail program puts several addresses of a kind into one cell.
            for (const QString& address :
                 fields[column].split(QStringLiteral(":::"), Qt::SkipEmptyParts)) {
                const QString trimmed = address.trimmed();
                if (trimmed.isEmpty())
                    continue;
                if (p.fields[FieldEmail] < 0 && row.email.isEmpty())
                    row.email = trimmed;
                else
                    others << trimmed;
            }
        keepOtherEmails(row, others);
        offsets(row, line);
    }

    void offsets(ContactRow& row, int line) {
        const int daysColumn = plan.fields[FieldTimeDisplacement];
        const int hoursColumn = plan.fields[FieldSpin];
        row.spin = 0;
        row.timeDisplacement = 0.0;
        if (hoursColumn >= 0)
            row.spin = readHours(fields[hoursColumn], line);
        if (daysColumn >= 0)
            row.timeDisplacement = readDays(fields[daysColumn], line);
        if (hoursColumn >= 0 && daysColumn < 0) {
            row.timeDisplacement =
                row.spin ? std::optional<double>(hoursToDays(*row.spin)) : std::nullopt;
        } else if (daysColumn >= 0 && hoursColumn < 0) {
            if (!row.timeDisplacement) {
                row.spin.reset();
                return;
            }
            const double hours = *row.timeDisplacement * 24.0;
            row.spin = static_cast<int>(std::round(hours));
            if (std::fabs(hours - *row.spin) > 1e-6 && warn)
                warn(QStringLiteral("line %1, %2: an offset of %3 hours is not whole; \"IRC "
                                    "Spin\" rounded to %4")
                         .arg(line)
                         .arg(describeContact(row))
                         .arg(hours, 0, 'g', 6)
                         .arg(*row.spin));
        }
    }

    void warnAboutLeftOut() {
        QStringList names;
        for (size_t i = 0; i < plan.leftOut.size(); ++i)
            if (leftOutHeld[i])
                names << QStringLiteral("'%1'").arg(shown(header[plan.leftOut[i]].trimmed()));
        if (names.isEmpty() || !warn)
            return;
        const qsizetype more = names.size() - kNamedColumns;
        if (more > 0) {
            names = names.mid(0, kNamedColumns);
            names << QStringLiteral("%1 more").arg(more);
        }
        warn(QStringLiteral("not imported, as the table has no field for them (or has it from "
                            "another column): the columns %1")
                 .arg(names.join(QStringLiteral(", "))));
    }
};

CsvReader::CsvReader(LineReader& lines, WarningSink warn)
    : d(std::make_unique<Impl>(lines, std::move(warn))) {
    // The separator from the first line that is not blank.
    while (lines.next(d->raw)) {
        if (d->raw.trimmed().isEmpty())
            continue;
        d->separator = separatorOf(d->raw);
        lines.unread();
        break;
    }
    int line = 1;
    if (!d->readRecord(line))
        throw FormatError(
            1, QStringLiteral("the header row is missing (the columns are %1)").arg(fieldList()));
    d->header = d->fields;
    d->columns = d->header.size();
    d->plan = planColumns(d->header, line);
    d->leftOutHeld.assign(d->plan.leftOut.size(), false);
}

CsvReader::~CsvReader() = default;

bool CsvReader::next(ContactRow& row, int& line) {
    if (!d->readRecord(line)) {
        d->warnAboutLeftOut();
        return false;
    }
    if (d->fields.size() != d->columns)
        throw FormatError(line, QStringLiteral("%1 fields, but the header row has %2")
                                    .arg(d->fields.size())
                                    .arg(d->columns));
    for (size_t i = 0; i < d->plan.leftOut.size(); ++i)
        if (!d->leftOutHeld[i] && !d->fields[d->plan.leftOut[i]].trimmed().isEmpty())
            d->leftOutHeld[i] = true;
    d->fill(row, line);
    return true;
}

QByteArray csvHeader() {
    QStringList header;
    for (const char* name : kFieldNames)
        header << quoted(QLatin1String(name));
    return (header.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

void appendCsvRecord(const ContactRow& row, QByteArray& out) {
    QString line;
    line.reserve(256);
    line += quoted(row.nick);
    line += QLatin1Char(',');
    line += quoted(row.name);
    line += QLatin1Char(',');
    line += quoted(row.location);
    line += QLatin1Char(',');
    line += quoted(row.email);
    line += QLatin1Char(',');
    line += quoted(row.notes);
    line += QLatin1Char(',');
    if (row.timeDisplacement)
        line += QString::number(*row.timeDisplacement, 'g', QLocale::FloatingPointShortest);
    line += QLatin1Char(',');
    if (row.spin)
        line += QString::number(*row.spin);
    line += QLatin1Char(',');
    line += quoted(row.picture);
    line += QLatin1String("\r\n");
    out += line.toUtf8();
}

ReadContacts readCsv(const QByteArray& bytes) {
    return readWholeText(bytes, [](LineReader& lines, WarningSink warn) {
        return std::make_unique<CsvReader>(lines, std::move(warn));
    });
}

QByteArray writeCsv(const std::vector<ContactRow>& contacts) {
    QByteArray out = csvHeader();
    for (const ContactRow& row : contacts)
        appendCsvRecord(row, out);
    return out;
}

} // namespace palvane::tool
