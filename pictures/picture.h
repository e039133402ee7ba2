#pragma once
// Pictures of contacts: bitmap (.bmp), icon (.ico), Windows metafile (.wmf) and enhanced
// metafile (.emf), chosen by the file name's extension without regard to case. Only regular
// files of a sane size are read, so a FIFO, a device or a huge file never hangs the program.
//
// A Picture is a value: null (nothing loaded) or a decoded picture with a natural size, kept
// as pixels (bitmaps, icons) or as vectors (metafiles). Copies share the decoded data, which
// nothing changes after loading.
//
// Failure: load() and decode() throw palvane::Error with the message the user sees and give
// no partial picture, so a caller that keeps its previous picture on failure shows it intact.

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

#include <memory>

class QPainter;
class QSvgRenderer;

namespace palvane {

class Picture {
public:
    Picture();
    ~Picture();
    Picture(const Picture&);
    Picture& operator=(const Picture&);

    // Files larger than this are refused without being read. An uncompressed bitmap of a
    // 100-megapixel camera picture takes about 410 MB at 32 bits a pixel.
    static constexpr qint64 kMaxFileBytes = qint64(512) * 1024 * 1024;

    // Loads the file. Throws palvane::Error with "Cannot open file %s" (path),
    // "Picture file %s is larger than 512 MB" (path),
    // "Unknown picture file extension (.%s)" (lower-cased extension, empty for no extension),
    // "Bitmap image is not valid", or "Icon image is not valid" / "Metafile is not valid".
    // The extension is checked first, so an unknown kind is reported even for a missing file.
    static Picture load(const QString& path);
    // Decoding from bytes by extension ("bmp", "ico", "wmf", "emf"); used by load and fuzzing.
    static Picture decode(const QByteArray& bytes, const QString& extension);
    // The lower-cased text after the last full stop of the file name (not of a directory).
    static QString extensionOf(const QString& path);

    bool isNull() const;
    bool isVector() const { return !svg_.isEmpty(); }
    QSize size() const; // natural size in pixels
    // Draws the picture scaled to target (the aspect ratio follows target).
    void paint(QPainter& painter, const QRectF& target) const;
    QImage toImage() const; // at natural size

private:
    QImage image_;
    QByteArray svg_; // metafiles are kept as SVG and drawn as vectors
    QRectF viewBox_; // the part of the SVG's user space that is the picture
    QSize size_;
    std::shared_ptr<QSvgRenderer> renderer_; // built once; drawing does not change it
};

} // namespace palvane
