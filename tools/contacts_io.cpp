#include "tools/contacts_io.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "tools/contacts_csv.h"
#include "tools/contacts_vcard.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdio>

namespace palvane::tool {

namespace {

bool isStandardStream(const QString& file) {
    return file.isEmpty() || file == QLatin1String("-");
}

QString displayName(const QString& file) {
    return isStandardStream(file) ? QStringLiteral("standard input") : file;
}

QByteArray readAll(const QString& file) {
    QFile in;
    bool opened = false;
    if (isStandardStream(file)) {
        opened = in.open(stdin, QIODevice::ReadOnly);
    } else {
        in.setFileName(file);
        if (QFileInfo(file).isDir())
            throw ToolError(QStringLiteral("cannot read %1: it is a directory").arg(file));
        opened = in.open(QIODevice::ReadOnly);
    }
    if (!opened)
        throw ToolError(
            QStringLiteral("cannot read %1: %2").arg(displayName(file), in.errorString()));
    QByteArray bytes = in.readAll();
    if (in.error() != QFileDevice::NoError)
        throw ToolError(
            QStringLiteral("cannot read %1: %2").arg(displayName(file), in.errorString()));
    return bytes;
}

void writeAll(const QString& file, const QByteArray& bytes) {
    if (isStandardStream(file)) {
        if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) !=
                size_t(bytes.size()) ||
            std::fflush(stdout) != 0)
            throw ToolError(QStringLiteral("cannot write to standard output"));
        return;
    }
    // NewOnly refuses an existing file atomically.
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (QFileInfo::exists(file))
            throw ToolError(
                QStringLiteral("%1 already exists; export never overwrites a file").arg(file));
        throw ToolError(QStringLiteral("cannot write %1: %2").arg(file, out.errorString()));
    }
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        const QString reason = out.errorString();
        out.close();
        out.remove(); // half a file is worse than none
        throw ToolError(QStringLiteral("cannot write %1: %2").arg(file, reason));
    }
    out.close();
}

QString createAdvice() {
    return QStringLiteral("make one with 'palvane-table create PATH' first");
}

} // namespace

std::optional<ContactFormat> formatByName(const QString& name) {
    const QString lower = name.toLower();
    if (lower == QLatin1String("csv"))
        return ContactFormat::Csv;
    if (lower == QLatin1String("vcard") || lower == QLatin1String("vcard4") ||
        lower == QLatin1String("vcf"))
        return ContactFormat::VCard4;
    if (lower == QLatin1String("vcard3"))
        return ContactFormat::VCard3;
    return std::nullopt;
}

ContactFormat formatOfImport(const QString& fileName, const QByteArray& content) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ContactFormat::Csv;
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return ContactFormat::VCard4;
    QByteArray start = content.left(64);
    if (start.startsWith("\xEF\xBB\xBF"))
        start = start.mid(3);
    return start.trimmed().toUpper().startsWith("BEGIN:VCARD") ? ContactFormat::VCard4
                                                               : ContactFormat::Csv;
}

ContactFormat formatOfExport(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard")
               ? ContactFormat::VCard4
               : ContactFormat::Csv;
}

std::array<int, FieldCount> textLengths(const QString& tablePath) {
    if (!QFileInfo::exists(tablePath))
        throw ToolError(QStringLiteral("%1 does not exist; %2").arg(tablePath, createAdvice()));
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(tablePath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    struct Closer {
        sqlite3* db;
        ~Closer() { sqlite3_close_v2(db); }
    } closer{db};
    const auto fail = [&] {
        return ToolError(QStringLiteral("Cannot read the contact table %1: %2")
                             .arg(tablePath, sql::errorText(db)));
    };
    if (rc != SQLITE_OK)
        throw fail();
    sqlite3_busy_timeout(db, 2000);
    sql::Statement info;
    if (info.prepare(db, QStringLiteral("SELECT name, type FROM pragma_table_info('contacts')"),
                     false) != SQLITE_OK)
        throw fail();
    std::array<int, FieldCount> lengths{};
    bool anyColumn = false;
    sql::StatementUse use(info.get());
    int step;
    while ((step = sqlite3_step(info.get())) == SQLITE_ROW) {
        anyColumn = true;
        const QString name = sql::columnText(info.get(), 0);
        for (int i = 0; i < FieldCount; ++i)
            if (fieldKind(i) == FieldKind::Text &&
                name.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0)
                lengths[i] = sql::declaredLength(sql::columnText(info.get(), 1));
    }
    if (step != SQLITE_DONE)
        throw fail();
    if (!anyColumn)
        throw ToolError(QStringLiteral("%1 holds no contact table (no table \"contacts\"); %2")
                            .arg(tablePath, createAdvice()));
    return lengths;
}

void cutToFieldLengths(ReadContacts& read, const std::array<int, FieldCount>& lengths) {
    for (size_t i = 0; i < read.contacts.size(); ++i) {
        ContactRow& row = read.contacts[i];
        const QString who = describeContact(row);
        const auto cut = [&](QString& text, int field) {
            const QString shorter = sql::cutToLength(text, lengths[field]);
            if (shorter.size() == text.size())
                return;
            read.warnings << QStringLiteral("line %1, %2: \"%3\" cut to its length of %4 "
                                            "characters")
                                 .arg(read.lines[i])
                                 .arg(who, QLatin1String(kFieldNames[field]))
                                 .arg(lengths[field]);
            text = shorter;
        };
        cut(row.nick, FieldNick);
        cut(row.name, FieldName);
        cut(row.location, FieldLocation);
        cut(row.email, FieldEmail);
        cut(row.notes, FieldNotes);
        cut(row.picture, FieldPicture);
    }
}

TransferReport importContacts(const QString& file, const QString& tablePath,
                              std::optional<ContactFormat> format, int localUtcOffsetSeconds) {
    // The table first: a missing table is the likelier mistake and needs no file to be read.
    const std::array<int, FieldCount> lengths = textLengths(tablePath);
    const QByteArray bytes = readAll(file);
    const ContactFormat chosen = format ? *format : formatOfImport(file, bytes);
    ReadContacts read;
    try {
        read = chosen == ContactFormat::Csv ? readCsv(bytes)
                                            : readVCards(bytes, localUtcOffsetSeconds);
    } catch (const FormatError& error) {
        throw ToolError(QStringLiteral("%1: %2").arg(displayName(file), error.message()));
    }
    cutToFieldLengths(read, lengths);
    insertContacts(tablePath, read.contacts); // one transaction: all or nothing
    return {static_cast<qsizetype>(read.contacts.size()), read.warnings};
}

TransferReport exportContacts(const QString& tablePath, const QString& file, ContactFormat format,
                              int localUtcOffsetSeconds) {
    textLengths(tablePath); // a clear error for a missing table
    const std::vector<ContactRow> rows = readContacts(tablePath);
    TransferReport report;
    report.count = static_cast<qsizetype>(rows.size());
    const QByteArray bytes =
        format == ContactFormat::Csv
            ? writeCsv(rows)
            : writeVCards(rows,
                          format == ContactFormat::VCard3 ? VCardVersion::V3 : VCardVersion::V4,
                          localUtcOffsetSeconds, &report.warnings);
    writeAll(file, bytes);
    return report;
}

} // namespace palvane::tool
