#include "tools/contacts_io.h"

#include "store/field_names.h"
#include "store/sqlite_util.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_csv.h"
#include "tools/contacts_vcard.h"
#include "tools/interruption.h"
#include "tools/line_reader.h"
#include "tools/output_file.h"
#include "tools/read_limits.h"
#include "tools/table_access.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace palvane::tool {

namespace {

bool isStandardStream(const QString& file) {
    return file.isEmpty() || file == QLatin1String("-");
}

QString displayName(const QString& file) {
    return isStandardStream(file) ? QStringLiteral("standard input") : file;
}

// A file or standard input, one read(2) at a time: QFile waits until a whole buffer is full,
// so that contacts piped in slowly would wait for it, and it reads again when a signal
// interrupts it, so that an interrupted import would wait for more input first.
class RawInput : public QIODevice {
public:
    explicit RawInput(int fd) : fd_(fd) {}
    ~RawInput() override {
        if (fd_ != STDIN_FILENO)
            ::close(fd_);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 size) override {
        for (;;) {
            const ssize_t got = ::read(fd_, data, size_t(size));
            if (got >= 0)
                return got;
            if (errno != EINTR) {
                setErrorString(systemErrorText(errno));
                return -1;
            }
            // Not thrown from here: the reader above, out of Qt's code, checks.
            if (InterruptGuard::pending()) {
                setErrorString(QStringLiteral("interrupted"));
                return -1;
            }
        }
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    int fd_;
};

// The file to import, opened; its size, or -1 for standard input.
std::unique_ptr<QIODevice> openInput(const QString& file, qint64& size) {
    size = -1;
    int fd = STDIN_FILENO;
    if (!isStandardStream(file)) {
        if (QFileInfo(file).isDir())
            throw ToolError(QStringLiteral("cannot read %1: it is a directory").arg(file));
        fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw ToolError(QStringLiteral("cannot read %1: %2").arg(file, systemErrorText(errno)));
        struct stat info = {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            size = info.st_size;
    }
    auto in = std::make_unique<RawInput>(fd);
    in->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    return in;
}

// Texts longer than their field are cut as the table would cut them, with a warning each.
void cutToLengths(ContactRow& row, int line, const std::array<int, FieldCount>& lengths,
                  const WarningSink& warn) {
    QString who;
    const auto cut = [&](QString& text, int field) {
        if (lengths[field] <= 0 || text.size() <= lengths[field])
            return;
        const QString shorter = sql::cutToLength(text, lengths[field]);
        if (shorter.size() == text.size())
            return;
        if (who.isEmpty())
            who = describeContact(row);
        if (warn)
            warn(QStringLiteral("line %1, %2: \"%3\" cut to its length of %4 characters")
                     .arg(line)
                     .arg(who, QLatin1String(kFieldNames[field]))
                     .arg(lengths[field]));
        text = shorter;
    };
    cut(row.nick, FieldNick);
    cut(row.name, FieldName);
    cut(row.location, FieldLocation);
    cut(row.email, FieldEmail);
    cut(row.notes, FieldNotes);
    cut(row.picture, FieldPicture);
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

ContactFormat formatOfImport(const QString& fileName, const QByteArray& firstLine) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("csv"))
        return ContactFormat::Csv;
    if (suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard"))
        return ContactFormat::VCard4;
    return firstLine.trimmed().toUpper().startsWith("BEGIN:VCARD") ? ContactFormat::VCard4
                                                                   : ContactFormat::Csv;
}

ContactFormat formatOfExport(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    return suffix == QLatin1String("vcf") || suffix == QLatin1String("vcard")
               ? ContactFormat::VCard4
               : ContactFormat::Csv;
}

TransferReport importContacts(const QString& file, const QString& tablePath,
                              std::optional<ContactFormat> format, int localUtcOffsetSeconds,
                              const TransferHooks& hooks) {
    // Destroyed last: a signal ends the process only once the table and pictures are undone.
    const InterruptGuard interruptions;
    // The table first: a missing table is the likelier mistake and needs no file to be read.
    ContactInserter table = openForImport(tablePath);
    qint64 size = -1;
    const std::unique_ptr<QIODevice> in = openInput(file, size);
    TransferReport report;
    try {
        LineReader lines(*in, displayName(file), kMaxCsvLineBytes);
        ContactFormat chosen = ContactFormat::Csv;
        if (format) {
            chosen = *format;
        } else {
            QByteArrayView first;
            while (lines.next(first) && first.trimmed().isEmpty()) {
            }
            chosen = formatOfImport(file, first.toByteArray());
            if (lines.lineNumber() > 0)
                lines.unread();
        }
        PictureStore pictures(picturesBeside(tablePath));
        std::unique_ptr<ContactReader> reader;
        if (chosen == ContactFormat::Csv)
            reader = std::make_unique<CsvReader>(lines, hooks.warning);
        else
            reader = std::make_unique<VCardReader>(
                lines, VCardOptions{localUtcOffsetSeconds, &pictures}, hooks.warning);
        qint64 read = 0;
        DecodedContact contact;
        // true: an empty table gets its indexes back once, after the last contact.
        report.count = table.insert(
            [&](ContactRow& row) {
                InterruptGuard::check();
                int line = 0;
                if (!reader->next(contact, line))
                    return false;
                report.extrasInNotes += appendExtrasToNotes(contact);
                row = std::move(contact.row);
                cutToLengths(row, line, table.lengths(), hooks.warning);
                ++read;
                if (hooks.progress)
                    hooks.progress(read,
                                   size > 0 ? double(lines.bytesRead()) / double(size) : -1.0);
                return true;
            },
            true);
        pictures.keep();
    } catch (const FormatError& error) {
        throw ToolError(QStringLiteral("%1: %2").arg(displayName(file), error.message()));
    }
    return report;
}

QString importSummary(const TransferReport& report, const QString& tablePath) {
    QString summary =
        QStringLiteral("Imported %1 contacts into %2").arg(report.count).arg(tablePath);
    if (report.extrasInNotes == 1)
        summary += QStringLiteral("; 1 value the table has no field for went to the notes");
    else if (report.extrasInNotes > 1)
        summary += QStringLiteral("; %1 values the table has no field for went to the notes")
                       .arg(report.extrasInNotes);
    return summary;
}

TransferReport exportContacts(const QString& tablePath, const QString& file, ContactFormat format,
                              int localUtcOffsetSeconds, const TransferHooks& hooks) {
    ContactCursor cursor = openForExport(tablePath);
    OutputFile out(file);
    const qint64 total = hooks.progress ? cursor.count() : -1;
    TransferReport report;
    QByteArray chunk;
    VCardWriter vcard(format == ContactFormat::VCard3 ? VCardVersion::V3 : VCardVersion::V4,
                      localUtcOffsetSeconds, hooks.warning);
    if (format == ContactFormat::Csv)
        out.write(csvHeader());
    ContactRow row;
    while (cursor.next(row)) {
        chunk.resize(0);
        if (format == ContactFormat::Csv)
            appendCsvRecord(row, chunk);
        else
            vcard.append(row, chunk);
        out.write(chunk);
        ++report.count;
        if (hooks.progress)
            hooks.progress(report.count, total > 0 ? double(report.count) / double(total) : -1.0);
    }
    out.commit();
    return report;
}

} // namespace palvane::tool
