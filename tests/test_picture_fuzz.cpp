// Damaged and random bytes fed to every decoder: each case must end in a picture or in the
// kind's own error, never in a crash, a hang or another exception. Runs under the sanitizers
// in CI; the seed is fixed so a failure can be replayed.

#include "pictures/picture.h"
#include "widgets/error_report.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <random>

using palvane::Picture;

namespace {

QByteArray sample(const char* name) {
    QFile f(QStringLiteral(PALVANE_TEST_DATA "/") + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

struct Outcome {
    int decoded = 0;
    int refused = 0;
    QStringList unexpected;
};

// Decodes and, when that works, draws into a small image (drawing runs the SVG and the
// embedded bitmaps too).
void feed(const QByteArray& bytes, const QString& kind, const QString& expectedError,
          Outcome& outcome) {
    try {
        const Picture picture = Picture::decode(bytes, kind);
        QImage target(48, 48, QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::transparent);
        QPainter painter(&target);
        picture.paint(painter, QRectF(0, 0, 48, 48));
        painter.end();
        if (picture.isNull() || picture.size().isEmpty())
            outcome.unexpected << QStringLiteral("%1: empty picture").arg(kind);
        ++outcome.decoded;
    } catch (const palvane::Error& e) {
        if (e.message() != expectedError)
            outcome.unexpected << kind + QStringLiteral(": ") + e.message();
        ++outcome.refused;
    } catch (const std::exception& e) {
        outcome.unexpected << kind + QStringLiteral(": ") + QString::fromUtf8(e.what());
    }
}

} // namespace

class TestPictureFuzz : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void damagedFilesNeverCrash_data();
    void damagedFilesNeverCrash();
    void randomBytesNeverCrash();
    void wellFramedRandomRecords();
};

namespace {
QtMessageHandler previousHandler = nullptr;
} // namespace

void TestPictureFuzz::initTestCase() {
    // Damaged input makes the readers warn thousands of times; only worse messages matter.
    previousHandler = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
            if (type != QtDebugMsg && type != QtInfoMsg && type != QtWarningMsg && previousHandler)
                previousHandler(type, context, message);
        });
}

void TestPictureFuzz::damagedFilesNeverCrash_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("error");
    QTest::newRow("bmp") << "sample.bmp"
                         << "bmp"
                         << "Bitmap image is not valid";
    QTest::newRow("ico") << "sample.ico"
                         << "ico"
                         << "Icon image is not valid";
    QTest::newRow("wmf") << "sample.wmf"
                         << "wmf"
                         << "Metafile is not valid";
    QTest::newRow("emf") << "sample.emf"
                         << "emf"
                         << "Metafile is not valid";
}

void TestPictureFuzz::damagedFilesNeverCrash() {
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QFETCH(QString, error);
    const QByteArray original = sample(file.toLatin1().constData());
    QVERIFY(!original.isEmpty());
    Outcome outcome;

    // Every cut of the file (for the larger bitmaps, every cut in the headers and a spread
    // of cuts in the pixels).
    const qsizetype step = original.size() > 600 ? original.size() / 150 : 1;
    for (qsizetype n = 0; n < original.size(); n += (n < 200 ? 1 : step))
        feed(original.left(n), kind, error, outcome);

    // Bytes overwritten with random values, more of them near the start where the headers
    // and record sizes are.
    std::mt19937 random(20240229u);
    for (int round = 0; round < 700; ++round) {
        QByteArray damaged = original;
        const int changes = 1 + int(random() % 8);
        for (int i = 0; i < changes; ++i) {
            const qsizetype span =
                (random() % 2) ? std::min<qsizetype>(damaged.size(), 160) : damaged.size();
            damaged[qsizetype(random() % quint32(span))] = char(random());
        }
        if (round % 5 == 0)
            damaged.truncate(qsizetype(random() % quint32(damaged.size())));
        feed(damaged, kind, error, outcome);
    }

    QVERIFY2(outcome.unexpected.isEmpty(), qPrintable(outcome.unexpected.join('\n')));
    QVERIFY(outcome.refused > 0);
    QVERIFY(outcome.decoded > 0); // the whole file, and damage the decoders tolerate
}

void TestPictureFuzz::randomBytesNeverCrash() {
    std::mt19937 random(7u);
    Outcome outcome;
    const QByteArray wmfHead = sample("sample.wmf").left(40);
    const QByteArray emfHead = sample("sample.emf").left(108);
    for (int round = 0; round < 400; ++round) {
        QByteArray noise(qsizetype(random() % 600), '\0');
        for (char& c : noise)
            c = char(random());
        feed(noise, "bmp", "Bitmap image is not valid", outcome);
        feed(noise, "ico", "Icon image is not valid", outcome);
        // Valid headers followed by random records reach the record walkers.
        feed(wmfHead + noise, "wmf", "Metafile is not valid", outcome);
        feed(emfHead + noise, "emf", "Metafile is not valid", outcome);
    }
    QVERIFY2(outcome.unexpected.isEmpty(), qPrintable(outcome.unexpected.join('\n')));
    QVERIFY(outcome.refused > 0);
}

namespace {

void put16(QByteArray& b, quint32 v) {
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, quint32 v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// Small numbers, extremes and noise: what breaks counts and offsets.
quint32 interesting(std::mt19937& random) {
    switch (random() % 6) {
    case 0:
        return random() % 4;
    case 1:
        return random() % 300;
    case 2:
        return 0xFFFFFFFFu - random() % 4;
    case 3:
        return 0x7FFF + random() % 3;
    default:
        return random();
    }
}

} // namespace

void TestPictureFuzz::wellFramedRandomRecords() {
    // Records with correct sizes but random functions and parameters reach the per-record
    // checks and the converters behind them.
    std::mt19937 random(99u);
    Outcome outcome;
    const QByteArray wmfHead = sample("sample.wmf").left(40);
    const QByteArray emfHead = sample("sample.emf").left(108);
    static const quint16 wmfFunctions[] = {
        0x001E, 0x0035, 0x00F7, 0x0102, 0x0103, 0x0104, 0x0106, 0x0107, 0x0108, 0x0127, 0x012A,
        0x012B, 0x012C, 0x012D, 0x012E, 0x0142, 0x01F0, 0x01F9, 0x0201, 0x0209, 0x020A, 0x020B,
        0x020C, 0x020D, 0x020E, 0x020F, 0x0211, 0x0213, 0x0214, 0x0220, 0x0228, 0x0231, 0x0234,
        0x02FA, 0x02FB, 0x02FC, 0x0324, 0x0325, 0x0410, 0x0412, 0x0415, 0x0416, 0x0418, 0x0419,
        0x041B, 0x041F, 0x0429, 0x0521, 0x0538, 0x0548, 0x061C, 0x061D, 0x0626, 0x06FF, 0x0817,
        0x081A, 0x0830, 0x0922, 0x0940, 0x0A32, 0x0B23, 0x0B41, 0x0D33, 0x0F43};
    for (int round = 0; round < 600; ++round) {
        QByteArray wmf = wmfHead;
        const int records = 1 + int(random() % 12);
        for (int r = 0; r < records; ++r) {
            const int words = int(random() % 24);
            put32(wmf, quint32(3 + words));
            put16(wmf, wmfFunctions[random() % std::size(wmfFunctions)]);
            for (int i = 0; i < words; ++i)
                put16(wmf, interesting(random) & 0xFFFF);
        }
        put32(wmf, 3);
        put16(wmf, 0);
        feed(wmf, "wmf", "Metafile is not valid", outcome);

        QByteArray emf = emfHead;
        for (int r = 0; r < records; ++r) {
            const int words = int(random() % 30);
            put32(emf, 1 + random() % 122);
            put32(emf, quint32(8 + 4 * words));
            for (int i = 0; i < words; ++i)
                put32(emf, interesting(random));
        }
        put32(emf, 14);
        put32(emf, 20);
        put32(emf, 0);
        put32(emf, 16);
        put32(emf, 20);
        feed(emf, "emf", "Metafile is not valid", outcome);
    }
    QVERIFY2(outcome.unexpected.isEmpty(), qPrintable(outcome.unexpected.join('\n')));
    QVERIFY(outcome.decoded > 0);
}

QTEST_MAIN(TestPictureFuzz)
#include "test_picture_fuzz.moc"
