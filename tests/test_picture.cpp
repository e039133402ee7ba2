// Loading pictures: the four kinds and their natural sizes, the extension rule, files that are
// not regular files, damaged content, metafile mapping details, and the picture box.

#include "pictures/picture.h"
#include "side_windows/picture_box.h"
#include "tests/support/sandbox.h"
#include "widgets/error_report.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>
#include <sys/types.h>

using palvane::Error;
using palvane::Picture;
using palvane::PictureBox;

namespace {

QString sample(const char* name) {
    return QStringLiteral(PALVANE_TEST_DATA "/") + QLatin1String(name);
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The message of the error thrown by f, or "(no error)".
template <class F> QString errorOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

QString loadError(const QString& path) {
    return errorOf([&] { Picture::load(path); });
}

// Little-endian writers for hand-made metafiles.
struct Bytes {
    QByteArray b;
    Bytes& u16(int v) {
        b.append(char(v & 0xFF));
        b.append(char((v >> 8) & 0xFF));
        return *this;
    }
    Bytes& u32(qint64 v) {
        u16(int(v & 0xFFFF));
        u16(int((v >> 16) & 0xFFFF));
        return *this;
    }
};

// A placeable metafile: the frame (left, top, right, bottom) at inch units per inch, then the
// given records (function, parameter words), each written with its size.
QByteArray wmf(QList<int> frame, int inch, const QList<QList<int>>& records, int objects = 2) {
    Bytes body;
    int largest = 3;
    for (const QList<int>& r : records) {
        body.u32(2 + r.size()).u16(r[0]);
        for (qsizetype i = 1; i < r.size(); ++i)
            body.u16(r[i]);
        largest = std::max(largest, int(2 + r.size()));
    }
    body.u32(3).u16(0);
    Bytes out;
    out.u32(0x9AC6CDD7).u16(0);
    for (int v : frame)
        out.u16(v);
    out.u16(inch).u32(0).u16(0); // checksum is not required
    out.u16(1).u16(9).u16(0x300).u32(9 + body.b.size() / 2).u16(objects).u32(largest).u16(0);
    return out.b + body.b;
}

// An enhanced metafile with the given bounds (device pixels), frame (0.01 mm), reference device
// (pixels and millimetres) and records (already complete).
QByteArray emf(QList<int> bounds, QList<int> frame, QList<int> device, QList<int> mm,
               const QList<QByteArray>& records) {
    Bytes body;
    for (const QByteArray& r : records)
        body.b += r;
    body.u32(14).u32(20).u32(0).u32(16).u32(20);
    Bytes h;
    h.u32(1).u32(88);
    for (int v : bounds)
        h.u32(v);
    for (int v : frame)
        h.u32(v);
    h.u32(0x464D4520).u32(0x10000).u32(88 + body.b.size()).u32(records.size() + 2);
    h.u16(4).u16(0).u32(0).u32(0).u32(0);
    h.u32(device[0]).u32(device[1]).u32(mm[0]).u32(mm[1]);
    return h.b + body.b;
}

QByteArray emfRecord(int type, QList<qint64> params) {
    Bytes r;
    r.u32(type).u32(8 + 4 * params.size());
    for (qint64 v : params)
        r.u32(v);
    return r.b;
}

QColor pixel(const Picture& p, int x, int y) {
    return p.toImage().pixelColor(x, y);
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT

private slots:
    void eachKindDecodesAtItsNaturalSize();
    void capitalsLoadLikeSmallLetters_data();
    void capitalsLoadLikeSmallLetters();
    void extensionChoosesTheKind();
    void onlyRegularFilesAreRead();
    void damagedContentIsRefused();
    void cutShortIsRefused_data();
    void cutShortIsRefused();
    void bitmapsAndIconsCutShortAreRefused();
    void metafileFramesAndText();
    void metafileBitmaps();
    void pictureBoxShowsAndKeepsPictures();
};

void TestPicture::eachKindDecodesAtItsNaturalSize() {
    palvane::test::Sandbox sandbox;

    const Picture bmp = Picture::load(sample("sample.bmp"));
    QCOMPARE(bmp.size(), QSize(200, 100));
    QVERIFY(!bmp.isVector());
    QCOMPARE(pixel(bmp, 0, 0), QColor(0, 0, 255));        // first band, top row
    QCOMPARE(pixel(bmp, 199, 99), QColor(255, 255, 255)); // white bottom strip

    const Picture ico = Picture::load(sample("sample.ico"));
    QCOMPARE(ico.size(), QSize(32, 32));
    QCOMPARE(pixel(ico, 16, 16), QColor(220, 120, 40));
    QCOMPARE(pixel(ico, 0, 0).alpha(), 0); // outside the disc: transparent

    // 2400 x 1800 units at 1440 per inch; a red rectangle inset by a tenth on each side.
    const Picture wmf = Picture::load(sample("sample.wmf"));
    QCOMPARE(wmf.size(), QSize(160, 120));
    QVERIFY(wmf.isVector());
    QCOMPARE(pixel(wmf, 20, 20), QColor(255, 0, 0));
    QCOMPARE(pixel(wmf, 140, 104), QColor(255, 0, 0));
    QCOMPARE(pixel(wmf, 8, 6).alpha(), 0);     // the margin stays a margin
    QCOMPARE(pixel(wmf, 152, 114).alpha(), 0); // and is not stretched away

    // Frame 3810 x 2540 (0.01 mm) is 144 x 96 pixels; a green rectangle at 12,8 .. 132,88.
    const Picture emf = Picture::load(sample("sample.emf"));
    QCOMPARE(emf.size(), QSize(144, 96));
    QCOMPARE(pixel(emf, 16, 12), QColor(0, 255, 0));
    QCOMPARE(pixel(emf, 128, 84), QColor(0, 255, 0));
    QCOMPARE(pixel(emf, 6, 4).alpha(), 0);
    QCOMPARE(pixel(emf, 138, 92).alpha(), 0);

    // Both draw the default pen, one pixel wide whatever the mapping: an outline crosses row
    // 30 at each rectangle's left edge (WMF at 16, EMF at 12).
    const auto outlined = [](const Picture& p, int from, int to) {
        for (int x = from; x <= to; ++x) {
            const QColor c = pixel(p, x, 30);
            if (std::max({c.red(), c.green(), c.blue()}) <= 130 && c.alpha() > 200)
                return true;
        }
        return false;
    };
    QVERIFY(outlined(wmf, 14, 18));
    QVERIFY(outlined(emf, 10, 14));

    // Copies share what they show.
    Picture copy = emf;
    QCOMPARE(copy.size(), emf.size());
    copy = bmp;
    QCOMPARE(copy.toImage(), bmp.toImage());
    QVERIFY(Picture().isNull());
}

void TestPicture::capitalsLoadLikeSmallLetters_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("size");
    QTest::newRow("bitmap") << QStringLiteral("sample.bmp") << QSize(200, 100);
    QTest::newRow("icon") << QStringLiteral("sample.ico") << QSize(32, 32);
    QTest::newRow("metafile") << QStringLiteral("sample.wmf") << QSize(160, 120);
    QTest::newRow("enhanced metafile") << QStringLiteral("sample.emf") << QSize(144, 96);
}

void TestPicture::capitalsLoadLikeSmallLetters() {
    palvane::test::Sandbox sandbox;
    QFETCH(QString, name);
    QFETCH(QSize, size);
    const QString upper = sandbox.path() + QLatin1Char('/') + name.toUpper();
    QVERIFY(QFile::copy(sample(name.toLatin1().constData()), upper));
    QCOMPARE(Picture::load(upper).size(), size);
}

void TestPicture::extensionChoosesTheKind() {
    palvane::test::Sandbox sandbox;
    const QString dir = sandbox.path();

    QVERIFY(QFile::copy(sample("sample.bmp"), dir + "/Mixed.BmP"));
    QCOMPARE(Picture::load(dir + "/Mixed.BmP").size(), QSize(200, 100));

    // The extension is the file name's, lower-cased, and is checked before the file is opened.
    QCOMPARE(loadError(QString()), QStringLiteral("Unknown picture file extension (.)"));
    QCOMPARE(loadError(dir + "/photo.JPG"),
             QStringLiteral("Unknown picture file extension (.jpg)"));
    QCOMPARE(loadError(dir + "/missing.png"),
             QStringLiteral("Unknown picture file extension (.png)"));
    QCOMPARE(loadError(dir + "/photo."), QStringLiteral("Unknown picture file extension (.)"));
    QVERIFY(QDir(dir).mkpath("pics.bmp"));
    QVERIFY(QFile::copy(sample("sample.bmp"), dir + "/pics.bmp/photo"));
    QCOMPARE(loadError(dir + "/pics.bmp/photo"),
             QStringLiteral("Unknown picture file extension (.)"));
    QCOMPARE(loadError(dir + "/archive.tar.GZ"),
             QStringLiteral("Unknown picture file extension (.gz)"));
    QCOMPARE(errorOf([] { Picture::decode(QByteArray("x"), QStringLiteral("gif")); }),
             QStringLiteral("Unknown picture file extension (.gif)"));

    // A known extension on a missing file.
    const QString missing = dir + "/no such file.bmp";
    QCOMPARE(loadError(missing), QStringLiteral("Cannot open file ") + missing);

    // A non-ASCII path with spaces.
    const QString odd = dir + QStringLiteral("/Bilder für Ñandú/ein schönes Foto.bmp");
    QVERIFY(QDir(dir).mkpath(QStringLiteral("Bilder für Ñandú")));
    QVERIFY(QFile::copy(sample("sample.bmp"), odd));
    QCOMPARE(Picture::load(odd).size(), QSize(200, 100));

    // Within metafiles the content decides: an enhanced metafile named .wmf still loads.
    QVERIFY(QFile::copy(sample("sample.emf"), dir + "/enhanced.wmf"));
    QCOMPARE(Picture::load(dir + "/enhanced.wmf").size(), QSize(144, 96));
    QVERIFY(QFile::copy(sample("sample.wmf"), dir + "/old.emf"));
    QCOMPARE(Picture::load(dir + "/old.emf").size(), QSize(160, 120));
}

void TestPicture::onlyRegularFilesAreRead() {
    palvane::test::Sandbox sandbox;
    const QString dir = sandbox.path();
    const auto cannotOpen = [](const QString& path) {
        return QStringLiteral("Cannot open file ") + path;
    };

    QVERIFY(QDir(dir).mkpath("folder.bmp"));
    QCOMPARE(loadError(dir + "/folder.bmp"), cannotOpen(dir + "/folder.bmp"));

    // Opening a FIFO for reading would wait for a writer forever.
    const QString fifo = dir + "/pipe.bmp";
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QCOMPARE(loadError(fifo), cannotOpen(fifo));

    // A device that never ends, reached through a link with a picture's name.
    QVERIFY(QFile::link("/dev/zero", dir + "/zero.bmp"));
    QCOMPARE(loadError(dir + "/zero.bmp"), cannotOpen(dir + "/zero.bmp"));

    QVERIFY(QFile::link(dir + "/loop2.ico", dir + "/loop1.ico"));
    QVERIFY(QFile::link(dir + "/loop1.ico", dir + "/loop2.ico"));
    QCOMPARE(loadError(dir + "/loop1.ico"), cannotOpen(dir + "/loop1.ico"));

    QVERIFY(QFile::link(dir + "/nowhere.emf", dir + "/dangling.emf"));
    QCOMPARE(loadError(dir + "/dangling.emf"), cannotOpen(dir + "/dangling.emf"));

    // Files past the size limit are refused without being read: a sparse 3 GB file, and one
    // just over the limit.
    const QString huge = dir + "/huge.bmp";
    {
        QFile f(huge);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(qint64(3) * 1024 * 1024 * 1024));
    }
    // Too large is not a question of access: a message of its own.
    const auto tooLarge = [](const QString& path) {
        return QStringLiteral("Picture file %1 is larger than 512 MB").arg(path);
    };
    QCOMPARE(loadError(huge), tooLarge(huge));
    const QString over = dir + "/over.wmf";
    {
        QFile f(over);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(Picture::kMaxFileBytes + 1));
    }
    QCOMPARE(loadError(over), tooLarge(over));
    // A camera's picture as an uncompressed bitmap: 6000 x 4000 at 24 bits is 72 MB (black).
    const QString camera = dir + "/camera.bmp";
    {
        QFile f(camera);
        QVERIFY(f.open(QIODevice::WriteOnly));
        const qint64 pixels = qint64(6000) * 4000 * 3;
        Bytes head;
        head.b = "BM";
        head.u32(54 + pixels).u32(0).u32(54);
        head.u32(40).u32(6000).u32(4000).u16(1).u16(24).u32(0).u32(pixels);
        head.u32(3780).u32(3780).u32(0).u32(0);
        QCOMPARE(f.write(head.b), 54);
        QVERIFY(f.resize(54 + pixels));
    }
    QCOMPARE(Picture::load(camera).size(), QSize(6000, 4000));

    // A regular file reached through a link is fine.
    QVERIFY(QFile::link(sample("sample.ico"), dir + "/linked.ico"));
    QCOMPARE(Picture::load(dir + "/linked.ico").size(), QSize(32, 32));
}

void TestPicture::damagedContentIsRefused() {
    palvane::test::Sandbox sandbox;
    const QString dir = sandbox.path();
    const QByteArray bmp = readAll(sample("sample.bmp"));
    const QByteArray ico = readAll(sample("sample.ico"));

    writeFile(dir + "/empty.bmp", QByteArray());
    QCOMPARE(loadError(dir + "/empty.bmp"), QStringLiteral("Bitmap image is not valid"));
    writeFile(dir + "/text.bmp", QByteArray("this is not a picture\n"));
    QCOMPARE(loadError(dir + "/text.bmp"), QStringLiteral("Bitmap image is not valid"));
    writeFile(dir + "/cut.bmp", bmp.left(60));
    QCOMPARE(loadError(dir + "/cut.bmp"), QStringLiteral("Bitmap image is not valid"));
    // The extension decides: an icon's bytes in a .bmp file are not a bitmap.
    writeFile(dir + "/icon.bmp", ico);
    QCOMPARE(loadError(dir + "/icon.bmp"), QStringLiteral("Bitmap image is not valid"));

    writeFile(dir + "/bitmap.ico", bmp);
    QCOMPARE(loadError(dir + "/bitmap.ico"), QStringLiteral("Icon image is not valid"));
    writeFile(dir + "/empty.ico", QByteArray());
    QCOMPARE(loadError(dir + "/empty.ico"), QStringLiteral("Icon image is not valid"));

    writeFile(dir + "/bitmap.wmf", bmp);
    QCOMPARE(loadError(dir + "/bitmap.wmf"), QStringLiteral("Metafile is not valid"));
    writeFile(dir + "/empty.emf", QByteArray());
    QCOMPARE(loadError(dir + "/empty.emf"), QStringLiteral("Metafile is not valid"));
    // Cut in the middle of a record.
    const QByteArray wmfBytes = readAll(sample("sample.wmf"));
    writeFile(dir + "/cut.wmf", wmfBytes.left(wmfBytes.size() - 11));
    QCOMPARE(loadError(dir + "/cut.wmf"), QStringLiteral("Metafile is not valid"));
    const QByteArray emfBytes = readAll(sample("sample.emf"));
    writeFile(dir + "/cut.emf", emfBytes.left(emfBytes.size() - 20));
    QCOMPARE(loadError(dir + "/cut.emf"), QStringLiteral("Metafile is not valid"));
    // A frame without area, and no units per inch.
    QCOMPARE(errorOf([] {
                 Picture::decode(wmf({0, 0, 0, 100}, 1440, {}), "wmf");
             }),
             QStringLiteral("Metafile is not valid"));
    QCOMPARE(errorOf([] {
                 Picture::decode(wmf({0, 0, 100, 100}, 0, {}), "wmf");
             }),
             QStringLiteral("Metafile is not valid"));
    // A metafile without the placeable header has no size of its own.
    QCOMPARE(errorOf([&] { Picture::decode(wmfBytes.mid(22), "wmf"); }),
             QStringLiteral("Metafile is not valid"));
}

void TestPicture::cutShortIsRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("error"); // empty: loads at 200 x 100

    // 200 x 100 at 4 bits (the sample) and at 24 bits a pixel, bottom up and top down: a byte
    // short, a row short, or no pixels at all. Qt's reader fills the missing rows with
    // whatever its memory held.
    QImage wide(200, 100, QImage::Format_RGB888);
    wide.fill(QColor(10, 200, 30));
    QByteArray deep;
    QBuffer out(&deep);
    QVERIFY(out.open(QIODevice::WriteOnly) && wide.save(&out, "BMP"));
    QByteArray topDown = deep;
    qToLittleEndian<qint32>(-100, topDown.data() + 22);
    const QString notBitmap = QStringLiteral("Bitmap image is not valid");
    const struct {
        const char* name;
        QByteArray whole;
        qsizetype row;
    } bitmaps[] = {{"4 bits", readAll(sample("sample.bmp")), 100},
                   {"24 bits", deep, 600},
                   {"24 bits top down", topDown, 600}};
    for (const auto& b : bitmaps) {
        const qsizetype size = b.whole.size();
        QTest::addRow("%s, whole", b.name) << b.whole << "bmp" << QString();
        QTest::addRow("%s, a byte short", b.name) << b.whole.left(size - 1) << "bmp" << notBitmap;
        QTest::addRow("%s, a row short", b.name)
            << b.whole.left(size - b.row) << "bmp" << notBitmap;
        QTest::addRow("%s, no pixels", b.name) << b.whole.left(54 + 64) << "bmp" << notBitmap;
    }

    // Icons: an image cut short.
    const QByteArray ico = readAll(sample("sample.ico"));
    const QString notIcon = QStringLiteral("Icon image is not valid");
    QTest::newRow("icon, a byte short") << ico.left(ico.size() - 1) << "ico" << notIcon;
    QTest::newRow("icon, 128 bytes short") << ico.left(ico.size() - 128) << "ico" << notIcon;
    QTest::newRow("icon, 600 bytes short") << ico.left(ico.size() - 600) << "ico" << notIcon;
}

void TestPicture::cutShortIsRefused() {
    palvane::test::Sandbox sandbox;
    QFETCH(QByteArray, bytes);
    QFETCH(QString, extension);
    QFETCH(QString, error);
    QCOMPARE(errorOf([&] { Picture::decode(bytes, extension); }),
             error.isEmpty() ? QStringLiteral("(no error)") : error);
    if (error.isEmpty())
        QCOMPARE(Picture::decode(bytes, extension).size(), QSize(200, 100));
}

void TestPicture::bitmapsAndIconsCutShortAreRefused() {
    palvane::test::Sandbox sandbox;
    const QString notBitmap = QStringLiteral("Bitmap image is not valid");
    const auto bitmapError = [](const QByteArray& bytes) {
        return errorOf([&] { Picture::decode(bytes, "bmp"); });
    };
    // A top-down bitmap shows its rows the right way up.
    QImage wide(200, 100, QImage::Format_RGB888);
    wide.fill(QColor(10, 200, 30));
    QByteArray topDown;
    QBuffer out(&topDown);
    QVERIFY(out.open(QIODevice::WriteOnly) && wide.save(&out, "BMP"));
    qToLittleEndian<qint32>(-100, topDown.data() + 22);
    QCOMPARE(Picture::decode(topDown, "bmp").toImage().pixelColor(5, 5), QColor(10, 200, 30));

    // Run-length encoded rows (4 x 3 pixels, 8 and 4 bits) skip pixels by a line end, a jump
    // and the end of the bitmap: those keep colour 0. Codes cut off before the end are short.
    const auto rle = [](int bits, const QByteArray& codes) {
        Bytes b;
        const int colours = 1 << bits;
        b.b = "BM";
        b.u32(14 + 40 + 4 * colours + codes.size()).u32(0).u32(14 + 40 + 4 * colours);
        b.u32(40).u32(4).u32(3).u16(1).u16(bits).u32(bits == 8 ? 1 : 2).u32(codes.size());
        b.u32(0).u32(0).u32(0).u32(0);
        for (int i = 0; i < colours; ++i)
            b.u32(i == 0 ? 0x000000 : i == 1 ? 0xFF0000 : i == 2 ? 0x0000FF : 0x00FF00);
        return b.b + codes;
    };
    const auto rows = [](const Picture& p) {
        QStringList seen;
        for (int y = 0; y < p.size().height(); ++y) {
            QString row;
            for (int x = 0; x < p.size().width(); ++x) {
                const QColor c = p.toImage().pixelColor(x, y);
                row += c == Qt::black ? '.' : c == Qt::red ? 'R' : c == Qt::blue ? 'B' : '?';
            }
            seen << row;
        }
        return seen.join('|');
    };
    // Bottom row: two red, line end; middle row: jump one right, then two blue as they are;
    // end of the bitmap before the top row.
    const QByteArray codes8("\x02\x01\x00\x00\x00\x02\x01\x00\x00\x03\x02\x02\x02\x00\x00\x01", 16);
    QCOMPARE(rows(Picture::decode(rle(8, codes8), "bmp")), QStringLiteral("....|.BBB|RR.."));
    const QByteArray codes4("\x03\x12\x00\x00\x00\x03\x21\x20\x00\x01", 10);
    QCOMPARE(rows(Picture::decode(rle(4, codes4), "bmp")), QStringLiteral("....|BRB.|RBR."));
    QCOMPARE(bitmapError(rle(8, codes8.left(14))), notBitmap);
    QCOMPARE(bitmapError(rle(8, codes8.left(5))), notBitmap); // within a jump
    QCOMPARE(bitmapError(rle(4, codes4.left(8))), notBitmap);

    // An icon whose image is listed past the end of the file.
    const QByteArray ico = readAll(sample("sample.ico"));
    const QString notIcon = QStringLiteral("Icon image is not valid");
    QByteArray pastTheEnd = ico;
    qToLittleEndian<quint32>(quint32(ico.size()), pastTheEnd.data() + 6 + 12);
    QCOMPARE(errorOf([&] { Picture::decode(pastTheEnd, "ico"); }), notIcon);
}

void TestPicture::metafileFramesAndText() {
    palvane::test::Sandbox sandbox;

    // Window origin away from zero and a frame that matches it: the drawing still fills it.
    // Records: SETMAPMODE anisotropic, SETWINDOWORG (y, x), SETWINDOWEXT (y, x), a blue solid
    // brush, RECTANGLE (bottom, right, top, left) over the right half of the frame.
    const QByteArray shifted =
        wmf({1000, -500, 1960, 220}, 960, // 960 x 720 units at 960 per inch: 96 x 72 pixels
            {{0x0103, 8},
             {0x020B, -500, 1000},
             {0x020C, 720, 960},
             {0x02FC, 0, 0x0000, 0x00FF, 0},
             {0x012D, 0},
             {0x041B, 220, 1960, -500, 1480}});
    const Picture a = Picture::decode(shifted, "wmf");
    QCOMPARE(a.size(), QSize(96, 72));
    QCOMPARE(pixel(a, 80, 36), QColor(0, 0, 255));
    QCOMPARE(pixel(a, 20, 36).alpha(), 0);

    // Objects that are selected but were never made, zero extents, a polygon whose count runs
    // past its record, a restore without a save: all skipped, the rest drawn.
    const QByteArray odd = wmf({0, 0, 100, 100}, 96,
                               {{0x012D, 1},
                                {0x020C, 0, 0},
                                {0x0127, -3},
                                {0x0324, 500, 0, 0, 10, 10},
                                {0x02FC, 0, 0xFF00, 0x0000, 0},
                                {0x012D, 0},
                                {0x041B, 90, 90, 10, 10}},
                               1);
    const Picture b = Picture::decode(odd, "wmf");
    QCOMPARE(b.size(), QSize(100, 100));
    QCOMPARE(pixel(b, 50, 50), QColor(0, 255, 0));

    // Text with characters that are markup in SVG, and a Windows Latin-1 letter.
    QByteArray text("A<b>&\"\xe9z");
    QList<int> textOut{0x0521, int(text.size())};
    for (qsizetype i = 0; i < text.size(); i += 2)
        textOut << (quint8(text[i]) | (i + 1 < text.size() ? quint8(text[i + 1]) << 8 : 0));
    textOut << 50 << 10;
    const Picture c = Picture::decode(wmf({0, 0, 200, 100}, 96, {textOut}), "wmf");
    QCOMPARE(c.size(), QSize(200, 100));
    QImage drawn = c.toImage();
    bool inked = false;
    for (int y = 0; y < drawn.height() && !inked; ++y)
        for (int x = 0; x < drawn.width() && !inked; ++x)
            inked = drawn.pixelColor(x, y).alpha() > 0;
    QVERIFY(inked);

    // An enhanced metafile recorded on a 300 dpi device: the frame still gives 96 dpi pixels,
    // and the drawing (device pixels) fills it. Brush (CREATEBRUSHINDIRECT), SELECTOBJECT,
    // RECTANGLE over the left half.
    const QByteArray fine = emf({0, 0, 299, 149}, {0, 0, 2540, 1270}, {3000, 1500}, {254, 127},
                                {emfRecord(39, {1, 0, 0x00FF0000, 0}), emfRecord(37, {1}),
                                 emfRecord(43, {0, 0, 150, 150})});
    const Picture d = Picture::decode(fine, "emf");
    QCOMPARE(d.size(), QSize(96, 48));
    QCOMPARE(pixel(d, 24, 24), QColor(0, 0, 255));
    QCOMPARE(pixel(d, 72, 24).alpha(), 0);

    // Without a frame the device bounds are the size; records with bad object numbers or
    // counts are skipped.
    const QByteArray noFrame = emf(
        {10, 10, 59, 39}, {0, 0, 0, 0}, {1920, 1080}, {508, 286},
        {emfRecord(37, {77}), emfRecord(3, {0, 0, 0, 0, 1000}), emfRecord(43, {10, 10, 60, 40})});
    QCOMPARE(Picture::decode(noFrame, "emf").size(), QSize(50, 30));
    QCOMPARE(
        errorOf([&] {
            Picture::decode(emf({0, 0, -1, -1}, {0, 0, 0, 0}, {1920, 1080}, {508, 286}, {}), "emf");
        }),
        QStringLiteral("Metafile is not valid"));
}

// A 2 x 2 bitmap of 24-bit pixels, all of one colour, with its 40-byte header.
QByteArray dib(QColor colour, int height = 2) {
    Bytes b;
    b.u32(40).u32(2).u32(height).u16(1).u16(24).u32(0).u32(8 * height).u32(0).u32(0).u32(0).u32(0);
    for (int row = 0; row < height; ++row) {
        for (int x = 0; x < 2; ++x) {
            b.b.append(char(colour.blue()));
            b.b.append(char(colour.green()));
            b.b.append(char(colour.red()));
        }
        b.b.append(2, '\0'); // rows are padded to four bytes
    }
    return b.b;
}

QList<int> words(const QByteArray& bytes) {
    QList<int> out;
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2)
        out << (quint8(bytes[i]) | (quint8(bytes[i + 1]) << 8));
    return out;
}

void TestPicture::metafileBitmaps() {
    palvane::test::Sandbox sandbox;
    const QColor orange(255, 128, 0);

    // STRETCHDIB: raster operation, RGB colours, source 2 x 2 at 0,0, destination 50 x 20 at
    // the top left of a 100 x 50 unit frame (96 units per inch: pixels), stretched.
    QList<int> stretch{0x0F43, 0x0020, 0x00CC, 0, 2, 2, 0, 0, 20, 50, 0, 0};
    stretch += words(dib(orange));
    const Picture w = Picture::decode(wmf({0, 0, 100, 50}, 96, {stretch}), "wmf");
    QCOMPARE(w.size(), QSize(100, 50));
    QCOMPARE(pixel(w, 2, 2), orange);
    QCOMPARE(pixel(w, 47, 17), orange);
    QCOMPARE(pixel(w, 75, 10).alpha(), 0);
    QCOMPARE(pixel(w, 25, 30).alpha(), 0);

    // The same with a bitmap claiming more rows than the record holds: skipped.
    QList<int> cut{0x0F43, 0x0020, 0x00CC, 0, 2, 2, 0, 0, 50, 50, 0, 0};
    cut += words(dib(orange).left(40 + 8));
    cut[4 + 12 + 4] = 40; // height field of the header
    const Picture skipped = Picture::decode(wmf({0, 0, 100, 50}, 96, {cut}), "wmf");
    QCOMPARE(pixel(skipped, 25, 25).alpha(), 0);

    // STRETCHDIBITS in an enhanced metafile: header at 80, pixels at 120.
    const QByteArray bitmap = dib(orange);
    Bytes e;
    e.u32(81).u32(80 + bitmap.size());
    e.u32(0).u32(0).u32(99).u32(49);              // bounds
    e.u32(50).u32(0).u32(0).u32(0).u32(2).u32(2); // destination x, y; source x, y, w, h
    e.u32(80).u32(40).u32(120).u32(16);           // header and pixels
    e.u32(0).u32(0x00CC0020).u32(50).u32(50);     // RGB colours, copy, destination size
    e.b += bitmap;
    const QByteArray enhanced =
        emf({0, 0, 99, 49}, {0, 0, 2646, 1323}, {1920, 1080}, {508, 286}, {e.b});
    const Picture m = Picture::decode(enhanced, "emf");
    QCOMPARE(m.size(), QSize(100, 50));
    QCOMPARE(pixel(m, 75, 25), orange);
    QCOMPARE(pixel(m, 25, 25).alpha(), 0);
}

void TestPicture::pictureBoxShowsAndKeepsPictures() {
    palvane::test::Sandbox sandbox;
    QWidget window;
    window.resize(400, 300);

    // A thumbnail: stretched to its own size, whatever the picture's.
    auto* thumb = new PictureBox(&window);
    thumb->setGeometry(16, 4, 73, 74);
    thumb->setStretch(true);
    thumb->LoadFromFile(sample("sample.bmp"));
    QCOMPARE(thumb->size(), QSize(73, 74));
    QCOMPARE(thumb->pictureRect(), QRectF(0, 0, 73, 74));

    // A failed load keeps the picture the box had.
    const QString missing = sandbox.path() + "/gone.bmp";
    QCOMPARE(errorOf([&] { thumb->LoadFromFile(missing); }),
             QStringLiteral("Cannot open file ") + missing);
    QCOMPARE(thumb->picture().size(), QSize(200, 100));
    QCOMPARE(errorOf([&] { thumb->LoadFromFile(sandbox.path() + "/x.txt"); }),
             QStringLiteral("Unknown picture file extension (.txt)"));
    QCOMPARE(thumb->picture().size(), QSize(200, 100));

    // Auto size: the box takes the picture's size; centred drawing then fills it exactly.
    auto* natural = new PictureBox(&window);
    natural->setGeometry(200, 0, 427, 273);
    natural->setAutoSize(true);
    natural->setCenter(true);
    QVERIFY(natural->pictureRect().isEmpty());
    natural->LoadFromFile(sample("sample.wmf"));
    QCOMPARE(natural->size(), QSize(160, 120));
    QCOMPARE(natural->pictureRect(), QRectF(0, 0, 160, 120));
    natural->LoadFromFile(sample("sample.ico"));
    QCOMPARE(natural->size(), QSize(32, 32));
    // Centred in a larger box when the box is made larger than the picture.
    natural->resize(64, 64);
    QCOMPARE(natural->pictureRect(), QRectF(16, 16, 32, 32));

    // What the boxes paint.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QImage shot = window.grab().toImage();
    QCOMPARE(shot.pixelColor(16 + 2, 4 + 2), QColor(0, 0, 255));   // thumbnail's blue band
    QCOMPARE(shot.pixelColor(200 + 32, 32), QColor(220, 120, 40)); // icon centred in 64 x 64
    QCOMPARE(shot.pixelColor(200 + 4, 32), window.palette().color(QPalette::Window));

    QSignalSpy spy(thumb, &PictureBox::doubleClicked);
    QTest::mouseDClick(thumb, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
    QTest::mouseDClick(thumb, Qt::RightButton);
    QCOMPARE(spy.count(), 1);
}

QTEST_MAIN(TestPicture)
#include "test_picture.moc"
