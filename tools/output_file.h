#pragma once
// Where an export goes. A file is written under a temporary name beside the one asked for and
// renamed to it only when complete, so that an export that fails or is killed never leaves a
// truncated file under that name; an existing file is never replaced. The temporary files that
// exports killed outright left in the folder (no process holds them) are removed first.
// Standard output is written as it goes.

#include <QByteArray>
#include <QString>

#include <memory>

namespace palvane {
class FileReplacement;
}

namespace palvane::tool {

class OutputFile {
public:
    // "-" or an empty path: standard output. Throws ToolError when the file exists or the
    // temporary file cannot be made.
    explicit OutputFile(const QString& path);
    // Without commit(): the temporary file is removed.
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Appends bytes (buffered). Throws ToolError ("cannot write FILE: the disk is full").
    void write(const QByteArray& bytes);
    // Writes what is buffered, makes the file durable and gives it its name.
    void commit();

private:
    void flush();
    [[noreturn]] void fail(int errorNumber);

    QString path_;
    std::unique_ptr<FileReplacement> file_; // none for standard output
    bool standardOutput_ = false;
    QByteArray buffer_;
};

} // namespace palvane::tool
