#pragma once
// Physical lines of a text file, one at a time, whatever the file's encoding and line ends:
// UTF-8 (a byte order mark skipped) or UTF-16 (told by its byte order mark, or by the zero
// bytes of mostly ASCII text without one), lines ended by CR LF, LF or a lone CR. Only one
// buffer of the file is held, so a file of any size reads in the same memory.

#include <QByteArray>
#include <QIODevice>

namespace palvane::tool {

class LineReader {
public:
    enum class Encoding { Utf8, Utf16LE, Utf16BE };

    // Reads from device from its current position. displayName names it in read errors.
    // A line longer than maxLineBytes is refused (FormatError naming it) before it is held.
    LineReader(QIODevice& device, const QString& displayName, qsizetype maxLineBytes);

    // The longest line taken from here on.
    void setMaxLineBytes(qsizetype bytes) { maxLine_ = bytes; }

    // The next line without its line break, as UTF-8 (UTF-16 is converted; UTF-8 stays as
    // written, valid or not: the readers decode it), false at the end of the file. The view
    // stays valid until the next call. Throws FormatError for text that is not valid UTF-16
    // or a line that is too long, and ToolError when the device fails.
    bool next(QByteArrayView& line);
    // The line last returned by next() comes once more (one line of look-ahead).
    void unread();
    // The number of the line last returned, counted from 1.
    int lineNumber() const { return line_; }

    Encoding encoding() const { return encoding_; }
    // Bytes of the file consumed so far (for a progress display).
    qint64 bytesRead() const { return consumed_; }

private:
    bool fill();
    void detectEncoding();
    qsizetype findBreak(qsizetype from) const;
    char16_t unitAt(qsizetype i) const;

    QIODevice& device_;
    QString name_;
    qsizetype maxLine_;
    Encoding encoding_ = Encoding::Utf8;
    int unit_ = 1;
    QByteArray buffer_;
    qsizetype start_ = 0; // first unread byte in buffer_
    qsizetype end_ = 0;   // bytes of buffer_ in use
    bool atEnd_ = false;
    qint64 consumed_ = 0;
    int line_ = 0;
    qsizetype lastLength_ = 0; // bytes the last line took, its line break included
    QByteArray converted_;     // the last line of a UTF-16 file, as UTF-8
};

} // namespace palvane::tool
