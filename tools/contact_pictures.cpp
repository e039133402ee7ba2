#include "tools/contact_pictures.h"

#include "core/file_replacement.h"
#include "pictures/bitmap_file.h"
#include "tools/contacts_format.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cerrno>
#include <optional>

namespace palvane::tool {

namespace {

// Larger pictures are scaled down to this many pixels on their longer side: the program's
// reader takes bitmaps of at most 64 MiB.
constexpr int kMaxSide = 2048;
constexpr int kNameCharacters = 32;

// Qt's bitmap and icon readers make up what a damaged file lacks from whatever memory held, so
// those two kinds pass the program's own checks first: the bytes to read, or none when the
// picture is cut short or damaged.
std::optional<QByteArray> checkedReaderInput(const QByteArray& bytes, const QByteArray& format) {
    if (format == "bmp")
        return bitmap_file::readerInput(bytes);
    if (format == "ico" || format == "cur")
        return bitmap_file::iconIsComplete(bytes) ? std::optional(bytes) : std::nullopt;
    return bytes;
}

// Letters, digits, '-' and '_' of the nick, the rest as '_'.
QString fileNameOf(const QString& nick) {
    QString name;
    for (const QChar c : nick.left(kNameCharacters)) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                           c == QLatin1Char('-') || c == QLatin1Char('_');
        name += plain ? c : QLatin1Char('_');
    }
    return name.isEmpty() ? QStringLiteral("contact") : name;
}

} // namespace

QString picturesBeside(const QString& tablePath) {
    return QFileInfo(QFileInfo(tablePath).absolutePath(), QStringLiteral("pictures"))
        .absoluteFilePath();
}

PictureStore::PictureStore(const QString& directory) : directory_(directory) {}

PictureStore::~PictureStore() {
    for (const QString& path : made_)
        QFile::remove(path);
}

QString PictureStore::store(const QByteArray& bytes, const QString& nick, QString* problem) {
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().left(12));
    const QString path =
        QDir(directory_).absoluteFilePath(QStringLiteral("%1-%2.bmp").arg(fileNameOf(nick), hash));
    if (QFileInfo::exists(path))
        return path; // the same picture, stored by an earlier import

    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    std::optional<QByteArray> input = checkedReaderInput(bytes, QImageReader::imageFormat(&buffer));
    if (!input) {
        *problem = QStringLiteral("the embedded picture is cut short or damaged; left out");
        return QString();
    }
    QBuffer checked(&*input);
    checked.open(QIODevice::ReadOnly);
    QImageReader reader(&checked);
    QImage image = reader.read();
    if (image.isNull()) {
        *problem = QStringLiteral("the embedded picture is not an image this program reads "
                                  "(%1); left out")
                       .arg(reader.errorString());
        return QString();
    }
    if (image.width() > kMaxSide || image.height() > kMaxSide)
        image = image.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (!QDir().mkpath(directory_)) {
        *problem = QStringLiteral("the directory %1 for its picture cannot be made; picture "
                                  "left out")
                       .arg(directory_);
        return QString();
    }
    QByteArray encoded;
    QBuffer out(&encoded);
    if (!out.open(QIODevice::WriteOnly) || !image.save(&out, "BMP"))
        throw ToolError(QStringLiteral("cannot write the picture %1: it cannot be encoded as a "
                                       "bitmap")
                            .arg(path));
    // Under a temporary name until complete, so that a killed import leaves no broken file
    // that a later one would take for this picture.
    FileReplacement file(path);
    int error = file.error();
    if (error == 0 && !file.write(encoded))
        error = errno;
    if (error == 0)
        error = file.commit(FileReplacement::Existing::Keep);
    if (error == EEXIST)
        return path; // the same picture, stored by another import meanwhile: not ours to remove
    if (error != 0)
        throw ToolError(
            QStringLiteral("cannot write the picture %1: %2").arg(path, systemErrorText(error)));
    made_ << path;
    return path;
}

} // namespace palvane::tool
