// Fuzzes the picture decoders (bitmap, icon, both metafile record walkers and the converters
// behind them); not part of the CMake build. The first input byte picks the kind.
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fPIC -I. -o fuzz_picture \
//     tests/fuzz/fuzz_picture.cpp pictures/*.cpp \
//     $(pkg-config --cflags --libs Qt6Svg Qt6Gui) $(libwmf-config --cflags --libs) -lemf2svg
//   QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ./fuzz_picture -max_len=65536 \
//     -rss_limit_mb=4096 corpus seeds
// (both from the repository root; scripts/fuzz does the same). Seeds: tests/fuzz/make_corpus.py.
// Leak checks are off because the font configuration library keeps caches until exit.
//
// Besides crashes, a finding is a bitmap or icon whose pixels depend on memory the file did not
// supply: each one that decodes is decoded twice more, with the allocator's free memory of the
// image's size filled with different bytes each time, and the two images must be equal.

#include "pictures/picture.h"
#include "core/error.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Freed memory is handed out again at once and fresh memory is not pre-filled, so what the
// harness writes into free memory is what the next allocation of that size finds.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0:max_malloc_fill_size=0";
}

namespace {

// Larger images get freshly mapped memory, which holds zeros whatever was freed before.
constexpr std::size_t kMaxComparedBytes = 16 * 1024 * 1024;

// Leaves blocks of `bytes` filled with `pattern` on the allocator's free lists (twice over, so
// that the C library's threshold for mapping large blocks afresh has risen past `bytes`).
void fillFreeMemory(std::size_t bytes, unsigned char pattern) {
    constexpr int kBlocks = 4;
    for (int round = 0; round < 2; ++round) {
        void* blocks[kBlocks];
        for (void*& block : blocks) {
            block = std::malloc(bytes);
            if (block)
                std::memset(block, pattern, bytes);
        }
        for (int i = kBlocks - 1; i >= 0; --i)
            std::free(blocks[i]);
    }
}

// Equal bit for bit: QImage's own comparison goes by colour, and a leftover byte that indexes
// a colour like the intended one's would pass it. Row padding does not count.
bool sameBits(const QImage& a, const QImage& b) {
    if (a.format() != b.format() || a.size() != b.size() || a.colorTable() != b.colorTable())
        return false;
    const qint64 bits = qint64(a.width()) * a.depth();
    for (int y = 0; y < a.height(); ++y) {
        const uchar* p = a.constScanLine(y);
        const uchar* q = b.constScanLine(y);
        if (std::memcmp(p, q, std::size_t(bits / 8)) != 0)
            return false;
        const int rest = int(bits % 8);
        const uchar mask = a.format() == QImage::Format_MonoLSB ? uchar((1 << rest) - 1)
                                                                : uchar(0xFF << (8 - rest));
        if (rest && ((p[bits / 8] ^ q[bits / 8]) & mask))
            return false;
    }
    return true;
}

// Decodes with free memory of the image's size holding `pattern`.
QImage decodeOver(const QByteArray& bytes, const QString& kind, std::size_t imageBytes,
                  unsigned char pattern) {
    fillFreeMemory(imageBytes, pattern);
    return palvane::Picture::decode(bytes, kind).toImage();
}

QGuiApplication* application() {
    static int argc = 1;
    static char name[] = "fuzz_picture";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString&) {
            if (type == QtFatalMsg)
                std::abort();
        });
        return new QGuiApplication(argc, argv);
    }();
    return app;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    application();
    if (size < 1)
        return 0;
    static const char* const kinds[] = {"bmp", "ico", "wmf", "emf"};
    const QString kind = QString::fromLatin1(kinds[data[0] % 4]);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    try {
        const palvane::Picture picture = palvane::Picture::decode(bytes, kind);
        if (picture.isNull() || picture.size().isEmpty())
            std::abort(); // success must give a drawable picture
        const std::size_t imageBytes = std::size_t(picture.toImage().sizeInBytes());
        if (!picture.isVector() && imageBytes <= kMaxComparedBytes &&
            !sameBits(decodeOver(bytes, kind, imageBytes, 0x00),
                      decodeOver(bytes, kind, imageBytes, 0xFF))) {
            std::fputs("fuzz_picture: the image shows memory the file did not supply\n", stderr);
            std::abort();
        }
        QImage target(32, 32, QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::transparent);
        QPainter painter(&target);
        picture.paint(painter, QRectF(0, 0, 32, 32));
    } catch (const palvane::Error&) {
        // The kind's own message: expected for damaged input.
    }
    return 0;
}
