#include "tools/transfer_console.h"

#include <unistd.h>

namespace palvane::tool {

namespace {

constexpr qint64 kQuietMs = 1000; // shorter jobs show no progress at all
constexpr qint64 kRedrawMs = 100;

} // namespace

TransferConsole::TransferConsole(FILE* stream, const QString& verb)
    : stream_(stream), verb_(verb), terminal_(::isatty(::fileno(stream)) == 1) {
    started_.start();
}

TransferConsole::~TransferConsole() {
    clear();
}

TransferHooks TransferConsole::hooks() {
    TransferHooks hooks;
    hooks.warning = [this](const QString& text) { warning(text); };
    if (terminal_)
        hooks.progress = [this](qint64 contacts, double fraction) { progress(contacts, fraction); };
    return hooks;
}

void TransferConsole::put(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream_);
}

void TransferConsole::warning(const QString& text) {
    clear();
    put(QStringLiteral("palvane-table: warning: %1\n").arg(text));
    std::fflush(stream_);
}

void TransferConsole::progress(qint64 contacts, double fraction) {
    if (!terminal_)
        return;
    const qint64 now = started_.elapsed();
    if (now < kQuietMs || now - lastDrawn_ < kRedrawMs)
        return;
    lastDrawn_ = now;
    QString text = QStringLiteral("%1: %2 contacts").arg(verb_).arg(contacts);
    if (fraction >= 0)
        text += QStringLiteral(" (%1%)").arg(int(std::min(fraction, 1.0) * 100));
    const qsizetype width = text.size();
    if (width < shownWidth_)
        text += QString(shownWidth_ - width, QLatin1Char(' '));
    shownWidth_ = width;
    put(QLatin1Char('\r') + text);
    std::fflush(stream_);
}

void TransferConsole::clear() {
    if (shownWidth_ == 0)
        return;
    put(QLatin1Char('\r') + QString(shownWidth_, QLatin1Char(' ')) + QLatin1Char('\r'));
    std::fflush(stream_);
    shownWidth_ = 0;
}

} // namespace palvane::tool
