#include "tools/line_reader.h"

#include "tools/contacts_format.h"
#include "tools/interruption.h"
#include "tools/read_limits.h"

#include <QStringDecoder>

#include <cstring>

namespace palvane::tool {

namespace {

constexpr qsizetype kChunk = 256 * 1024;
// UTF-16 without a byte order mark: at least this share of the high bytes of the first
// characters are zero (ASCII text), and almost none of the low bytes.
constexpr qsizetype kSniffBytes = 512;

// Every high surrogate followed by a low one, and no low one alone.
bool pairedSurrogates(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isLowSurrogate())
            return false;
        if (text[i].isHighSurrogate() && !(i + 1 < text.size() && text[++i].isLowSurrogate()))
            return false;
    }
    return true;
}

} // namespace

LineReader::LineReader(QIODevice& device, const QString& displayName, qsizetype maxLineBytes)
    : device_(device), name_(displayName), maxLine_(maxLineBytes) {
    buffer_.resize(kChunk);
    fill();
    detectEncoding();
}

bool LineReader::fill() {
    if (atEnd_)
        return false;
    if (start_ > 0) {
        std::memmove(buffer_.data(), buffer_.constData() + start_, size_t(end_ - start_));
        end_ -= start_;
        start_ = 0;
    }
    // One line longer than the buffer: room for it, but never beyond the longest line taken.
    if (buffer_.size() - end_ < kChunk / 2)
        buffer_.resize(std::min(buffer_.size() * 2, std::max(maxLine_, kChunk) + kChunk));
    const qint64 got = device_.read(buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0) {
        InterruptGuard::check();
        throw ToolError(QStringLiteral("cannot read %1: %2").arg(name_, device_.errorString()));
    }
    if (got == 0) {
        atEnd_ = true;
        return false;
    }
    end_ += got;
    return true;
}

void LineReader::detectEncoding() {
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.constData());
    const qsizetype size = end_;
    const auto skip = [&](qsizetype n) {
        start_ += n;
        consumed_ += n;
    };
    if (size >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        skip(3);
    } else if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        encoding_ = Encoding::Utf16LE;
        skip(2);
    } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        encoding_ = Encoding::Utf16BE;
        skip(2);
    } else if (size >= 4) {
        const qsizetype pairs = std::min(size, kSniffBytes) / 2;
        qsizetype zeroEven = 0;
        qsizetype zeroOdd = 0;
        for (qsizetype i = 0; i < pairs; ++i) {
            zeroEven += bytes[2 * i] == 0;
            zeroOdd += bytes[2 * i + 1] == 0;
        }
        if (zeroOdd * 2 > pairs && zeroEven * 20 < pairs)
            encoding_ = Encoding::Utf16LE;
        else if (zeroEven * 2 > pairs && zeroOdd * 20 < pairs)
            encoding_ = Encoding::Utf16BE;
    }
    unit_ = encoding_ == Encoding::Utf8 ? 1 : 2;
}

char16_t LineReader::unitAt(qsizetype i) const {
    const auto* data = reinterpret_cast<const unsigned char*>(buffer_.constData());
    if (unit_ == 1)
        return data[i];
    return encoding_ == Encoding::Utf16LE ? char16_t(data[i] | data[i + 1] << 8)
                                          : char16_t(data[i] << 8 | data[i + 1]);
}

// The offset in buffer_ of the next CR or LF unit at or after from, or -1.
qsizetype LineReader::findBreak(qsizetype from) const {
    if (unit_ == 1) {
        const char* data = buffer_.constData();
        for (qsizetype i = from; i < end_; ++i)
            if (data[i] == '\n' || data[i] == '\r')
                return i;
        return -1;
    }
    for (qsizetype i = from; i + 1 < end_; i += 2) {
        const char16_t unit = unitAt(i);
        if (unit == u'\n' || unit == u'\r')
            return i;
    }
    return -1;
}

bool LineReader::next(QByteArrayView& line) {
    qsizetype scanned = start_;
    qsizetype lineBreak;
    for (;;) {
        lineBreak = findBreak(scanned);
        // A CR at the end of the buffer may be the first half of a CR LF: read on to know.
        if (lineBreak >= 0 && (unitAt(lineBreak) == u'\n' || lineBreak + unit_ < end_ || atEnd_))
            break;
        if (lineBreak < 0 && atEnd_)
            break;
        const qsizetype whole = (end_ - start_) - (end_ - start_) % unit_;
        const qsizetype offset = lineBreak >= 0 ? lineBreak - start_ : whole;
        if (offset > maxLine_)
            throw FormatError(line_ + 1, QStringLiteral("the line is longer than %1, longer "
                                                        "than any value of a contact; is it a "
                                                        "contact file?")
                                             .arg(sizeText(maxLine_)));
        fill();
        scanned = start_ + offset;
    }
    if (lineBreak < 0 && start_ >= end_)
        return false;
    const qsizetype lineEnd = lineBreak >= 0 ? lineBreak : end_;
    const char* begin = buffer_.constData() + start_;
    const qsizetype length = lineEnd - start_;
    qsizetype next = lineEnd;
    if (lineBreak >= 0) {
        next = lineBreak + unit_;
        if (unitAt(lineBreak) == u'\r' && next + unit_ <= end_ && unitAt(next) == u'\n')
            next += unit_;
    }
    ++line_;
    if (encoding_ == Encoding::Utf8) {
        line = QByteArrayView(begin, length);
    } else {
        QStringDecoder decoder(encoding_ == Encoding::Utf16LE ? QStringDecoder::Utf16LE
                                                              : QStringDecoder::Utf16BE,
                               QStringDecoder::Flag::Stateless);
        const QString text = decoder.decode(QByteArrayView(begin, length - length % 2));
        if (decoder.hasError() || length % 2 != 0 || !pairedSurrogates(text))
            throw FormatError(line_, QStringLiteral("the text is not valid UTF-16"));
        converted_ = text.toUtf8();
        line = converted_;
    }
    lastLength_ = next - start_;
    consumed_ += lastLength_;
    start_ = next;
    return true;
}

// The buffer is only ever moved before a line is found, so the last line is still where it
// was.
void LineReader::unread() {
    start_ -= lastLength_;
    consumed_ -= lastLength_;
    lastLength_ = 0;
    --line_;
}

} // namespace palvane::tool
