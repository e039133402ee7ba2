// Fuzzes the picture decoders (bitmap, icon, both metafile record walkers and the converters
// behind them); not part of the CMake build. The first input byte picks the kind.
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fPIC -I. -o fuzz_picture \
//     tests/fuzz/fuzz_picture.cpp side_windows/picture.cpp side_windows/metafile*.cpp \
//     $(pkg-config --cflags --libs Qt6Svg Qt6Gui) $(libwmf-config --cflags --libs) -lemf2svg
//   QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 ./fuzz_picture -max_len=65536 \
//     -rss_limit_mb=4096 corpus seeds
// (both from the repository root). Seeds: each of tests/data/sample.* with the kind's byte
// (0 bmp, 1 ico, 2 wmf, 3 emf) in front. Leak checks are off because the font configuration
// library keeps caches until exit.

#include "side_windows/picture.h"
#include "widgets/error_report.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

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
        QImage target(32, 32, QImage::Format_ARGB32_Premultiplied);
        target.fill(Qt::transparent);
        QPainter painter(&target);
        picture.paint(painter, QRectF(0, 0, 32, 32));
    } catch (const palvane::Error&) {
        // The kind's own message: expected for damaged input.
    }
    return 0;
}
