#include "pictures/picture.h"

#include "core/error.h"
#include "pictures/bitmap_file.h"
#include "pictures/metafile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace palvane {
namespace {

// Entries of an icon file looked at; a directory may claim thousands.
constexpr int kMaxIconEntries = 64;
// The icon size of the desktop, preferred when a file holds several.
constexpr QSize kIconSize(32, 32);
// Pixels of a vector picture turned into an image by toImage.
constexpr qint64 kMaxRenderedPixels = 64 * 1024 * 1024;

Error cannotOpen(const QString& path) {
    return Error(QStringLiteral("Cannot open file ") + path);
}

// Not a question of access: the file is there, and too large to show.
Error tooLarge(const QString& path) {
    return Error(QStringLiteral("Picture file %1 is larger than %2 MB")
                     .arg(path)
                     .arg(Picture::kMaxFileBytes / (1024 * 1024)));
}

// Reads a regular file of at most Picture::kMaxFileBytes. The type is checked before opening
// (a FIFO would block an open for reading) and again on the open descriptor, in case the path
// was swapped in between; O_NONBLOCK keeps even that case from hanging.
QByteArray readRegularFile(const QString& path) {
    if (path.isEmpty())
        throw cannotOpen(path);
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        throw cannotOpen(path);
    if (info.st_size > Picture::kMaxFileBytes)
        throw tooLarge(path);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw cannotOpen(path);
    QByteArray bytes;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    bool large = ok && info.st_size > Picture::kMaxFileBytes;
    if (ok && !large) {
        // One byte more than allowed tells a file that grew past the limit meanwhile.
        bytes.resize(qsizetype(info.st_size) + 1);
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                ok = false;
                break;
            }
            if (got == 0)
                break;
            done += got;
            if (done == bytes.size() && done <= Picture::kMaxFileBytes)
                bytes.resize(std::min<qsizetype>(done * 2, Picture::kMaxFileBytes + 1));
            else if ((large = done > Picture::kMaxFileBytes))
                break;
        }
        bytes.resize(done);
    }
    ::close(fd);
    if (large)
        throw tooLarge(path);
    if (!ok)
        throw cannotOpen(path);
    return bytes;
}

// A reader of the given format only: the extension decides the kind, never the content.
void readOnlyAs(QImageReader& reader, QBuffer& buffer, const char* format) {
    // The largest picture a bitmap may hold, decoded at four bytes a pixel.
    QImageReader::setAllocationLimit(int(bitmap_file::kMaxPixels * 4 / (1024 * 1024)));
    buffer.open(QIODevice::ReadOnly);
    reader.setDevice(&buffer);
    reader.setFormat(format);
    reader.setAutoDetectImageFormat(false);
    reader.setDecideFormatFromContent(false);
}

QImage readBitmap(const QByteArray& bytes) {
    auto input = bitmap_file::readerInput(bytes);
    if (!input)
        return QImage();
    QBuffer buffer(&*input);
    QImageReader reader;
    readOnlyAs(reader, buffer, "bmp");
    return reader.read();
}

QImage readIcon(const QByteArray& bytes) {
    if (!bitmap_file::iconIsComplete(bytes))
        return QImage();
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    QImageReader reader;
    readOnlyAs(reader, buffer, "ico");
    // The desktop's icon size when the file has it, else the largest image.
    QImage best;
    const int count = std::min(reader.imageCount(), kMaxIconEntries);
    for (int i = 0; i < std::max(count, 1); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (image.isNull())
            continue;
        if (image.size() == kIconSize)
            return image;
        if (best.isNull() ||
            qint64(image.width()) * image.height() > qint64(best.width()) * best.height())
            best = image;
    }
    return best;
}

} // namespace

Picture::Picture() = default;
Picture::~Picture() = default;
Picture::Picture(const Picture&) = default;
Picture& Picture::operator=(const Picture&) = default;

QString Picture::extensionOf(const QString& path) {
    const QString name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1).toLower();
}

Picture Picture::load(const QString& path) {
    const QString extension = extensionOf(path);
    if (extension != QLatin1String("bmp") && extension != QLatin1String("ico") &&
        extension != QLatin1String("wmf") && extension != QLatin1String("emf"))
        throw Error(QStringLiteral("Unknown picture file extension (.%1)").arg(extension));
    return decode(readRegularFile(path), extension);
}

Picture Picture::decode(const QByteArray& bytes, const QString& extension) {
    const QString kind = extension.toLower();
    Picture picture;
    if (kind == QLatin1String("bmp")) {
        picture.image_ = readBitmap(bytes);
        if (picture.image_.isNull())
            throw Error(QStringLiteral("Bitmap image is not valid"));
    } else if (kind == QLatin1String("ico")) {
        picture.image_ = readIcon(bytes);
        if (picture.image_.isNull())
            throw Error(QStringLiteral("Icon image is not valid"));
    } else if (kind == QLatin1String("wmf") || kind == QLatin1String("emf")) {
        const auto vector = metafile::decode(bytes);
        if (!vector)
            throw Error(QStringLiteral("Metafile is not valid"));
        auto renderer = std::make_shared<QSvgRenderer>(vector->svg);
        if (!renderer->isValid())
            throw Error(QStringLiteral("Metafile is not valid"));
        renderer->setViewBox(vector->viewBox);
        picture.svg_ = vector->svg;
        picture.viewBox_ = vector->viewBox;
        picture.size_ = vector->size;
        picture.renderer_ = std::move(renderer);
        return picture;
    } else {
        throw Error(QStringLiteral("Unknown picture file extension (.%1)").arg(kind));
    }
    picture.size_ = picture.image_.size();
    return picture;
}

bool Picture::isNull() const {
    return image_.isNull() && !renderer_;
}

QSize Picture::size() const {
    return size_;
}

void Picture::paint(QPainter& painter, const QRectF& target) const {
    if (!image_.isNull()) {
        painter.drawImage(target, image_);
    } else if (renderer_) {
        // Drawing outside the frame belongs to no picture: clip it away.
        painter.save();
        painter.setClipRect(target, Qt::IntersectClip);
        renderer_->render(&painter, target);
        painter.restore();
    }
}

QImage Picture::toImage() const {
    if (!image_.isNull() || isNull())
        return image_;
    if (qint64(size_.width()) * size_.height() > kMaxRenderedPixels)
        return QImage();
    QImage image(size_, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return image;
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter, QRectF(QPointF(0, 0), QSizeF(size_)));
    painter.end();
    return image;
}

} // namespace palvane
