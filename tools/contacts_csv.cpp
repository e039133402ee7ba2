#include "tools/contacts_csv.h"

#include "store/field_names.h"
#include "tools/csv_plan.h"
#include "tools/read_limits.h"

#include <QLocale>
#include <QStringDecoder>
#include <QStringList>

#include <optional>

namespace palvane::tool {

namespace {

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

// Control characters that text never holds: a file with them is not a contact file.
void refuseBinary(QByteArrayView raw, int line) {
    for (const char c : raw) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && byte != '\t' && byte != '\f' && byte != 0x1A)
            throw FormatError(line, QStringLiteral("the file holds binary data (the byte 0x%1), "
                                                   "not text")
                                        .arg(byte, 2, 16, QLatin1Char('0')));
    }
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
    std::optional<CsvPlan> plan;
    QStringList fields;
    QByteArrayView raw;
    qsizetype recordSize = 0; // characters of the record so far
    bool sawNonAscii = false; // a line decoded as UTF-8 held more than ASCII
    bool windows1252 = false; // the file is read as Windows-1252
    qint64 emptyRecords = 0;

    Impl(LineReader& l, WarningSink w) : lines(l), warn(std::move(w)) {}

    // A line as text. A UTF-8 file that turns out not to be one (before any line of it needed
    // UTF-8) is what older desktop mail programs write: Windows-1252.
    QString decode(QByteArrayView bytes, int line) {
        if (!windows1252) {
            if (lines.encoding() != LineReader::Encoding::Utf8)
                return QString::fromUtf8(bytes); // converted from UTF-16 by the reader
            if (std::optional<QString> text = utf8Text(bytes)) {
                // Characters beyond ASCII take more than one byte each.
                sawNonAscii = sawNonAscii || text->size() != bytes.size();
                return *std::move(text);
            }
            if (sawNonAscii)
                throw FormatError(line, QStringLiteral("the text is not valid UTF-8"));
            windows1252 = true;
            if (warn)
                warn(QStringLiteral("line %1: the file is neither UTF-8 nor UTF-16; it is read as "
                                    "Windows-1252, as older mail programs write it")
                         .arg(line));
        }
        refuseBinary(bytes, line);
        QStringDecoder decoder("windows-1252", QStringDecoder::Flag::Stateless);
        return decoder.decode(bytes);
    }

    void grow(qsizetype characters, int line) {
        recordSize += characters;
        if (recordSize > kMaxCsvRecordCharacters)
            throw FormatError(line, QStringLiteral("the record goes on for more than %1 "
                                                   "characters, more than all the fields of a "
                                                   "contact can hold; is the file a contact "
                                                   "file, with its quotes closed?")
                                        .arg(kMaxCsvRecordCharacters));
    }

    // The next record that is not blank into fields; false at the end of the file.
    bool readRecord(int& line) {
        for (;;) {
            if (!lines.next(raw))
                return false;
            line = lines.lineNumber();
            recordSize = 0;
            QString text = decode(raw, line);
            grow(text.size(), line);
            fields.clear();
            bool blank = true;
            qsizetype pos = 0;
            for (;;) {
                if (pos < text.size() && text[pos] == QLatin1Char('"')) {
                    fields << quotedField(text, pos, line);
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
    QString quotedField(QString& text, qsizetype& pos, int startLine) {
        ++pos; // the opening quote
        QString value;
        for (;;) {
            if (pos >= text.size()) {
                if (!lines.next(raw))
                    throw FormatError(startLine, QStringLiteral("unterminated quoted field"));
                text = decode(raw, lines.lineNumber());
                grow(text.size() + 1, startLine);
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

    // A record ending in separators that the header row has no columns for (empty cells
    // only) loses them; one short of the header's unnamed last columns is filled up.
    bool fitToHeader() {
        while (fields.size() > plan->columns() && fields.back().trimmed().isEmpty())
            fields.removeLast();
        if (!plan->acceptsWidth(fields.size()))
            return false;
        while (fields.size() < plan->columns())
            fields << QString();
        return true;
    }

    bool holdsNothing() const {
        for (const QString& field : fields)
            if (!field.trimmed().isEmpty())
                return false;
        return true;
    }
};

CsvReader::CsvReader(LineReader& lines, WarningSink warn)
    : d(std::make_unique<Impl>(lines, std::move(warn))) {
    lines.setMaxLineBytes(kMaxCsvLineBytes);
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
    d->plan.emplace(d->fields, line);
}

CsvReader::~CsvReader() = default;

bool CsvReader::next(DecodedContact& contact, int& line) {
    for (;;) {
        if (!d->readRecord(line)) {
            if (d->warn) {
                for (const QString& warning : d->plan->leftOutWarnings())
                    d->warn(warning);
                if (d->emptyRecords > 0)
                    d->warn(d->emptyRecords == 1
                                ? QStringLiteral("1 row with every cell empty was skipped")
                                : QStringLiteral("%1 rows with every cell empty were skipped")
                                      .arg(d->emptyRecords));
            }
            return false;
        }
        const qsizetype width = d->fields.size();
        if (!d->fitToHeader())
            throw FormatError(line, QStringLiteral("%1 fields, but the header row has %2")
                                        .arg(width)
                                        .arg(d->plan->columns()));
        if (d->holdsNothing()) {
            ++d->emptyRecords;
            continue;
        }
        d->plan->decode(d->fields, line, contact, d->warn);
        return true;
    }
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
