// Writes the window position into PALVANE.INI (in $XDG_CONFIG_HOME) the way the main window
// does on close, for the reliability tests.
//
//   settings_writer <first value>
//       Writes forever, until the test kills it. Prints "ready", then "B <key> <value>" before
//       each write and "W <key> <value>" after it returned.
//   settings_writer full <directory>
//       Run on a small file system mounted at <directory>: fills it up, writes once more, frees
//       space and writes again. Prints "refused <message>", "unchanged <yes|no>", "leftovers
//       <count>", "written <value read back>".

#include "core/ini_format.h"
#include "core/settings_file.h"
#include "widgets/error_report.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>

namespace {

void say(const QByteArray& line) {
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int writeForever(int first) {
    const palvane::SettingsFile settings(QStringLiteral("PALVANE.INI"));
    say("ready");
    for (int value = first;; ++value) {
        for (const char* key : {"Left", "Top"}) {
            say("B " + QByteArray(key) + ' ' + QByteArray::number(value));
            settings.WriteInteger(QStringLiteral("Window"), QString::fromLatin1(key), value);
            say("W " + QByteArray(key) + ' ' + QByteArray::number(value));
        }
    }
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

int writeOnFullDisk(const QString& directory) {
    const QString config = directory + QStringLiteral("/config");
    if (!QDir().mkpath(config))
        return 3;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const palvane::SettingsFile settings(QStringLiteral("PALVANE.INI"));
    // A file with more in it than the window position: all of it must survive.
    QByteArray content = "; kept\n[Other]\nA=1\n\n[Window]\nLeft=10\nTop=20\n";
    content += QByteArray(8000, ';') + '\n';
    {
        QFile file(settings.filePath());
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return 3;
    }
    // Fill every last block.
    const QString filler = directory + QStringLiteral("/filler");
    {
        QFile file(filler);
        if (!file.open(QIODevice::WriteOnly))
            return 3;
        const QByteArray block(4096, 'f');
        while (file.write(block) == block.size() && file.flush()) {
        }
        const QByteArray byte(1, 'f');
        while (file.write(byte) == 1 && file.flush()) {
        }
    }
    try {
        settings.WriteInteger(QStringLiteral("Window"), QStringLiteral("Left"), 1234);
        say("written-while-full");
    } catch (const palvane::Error& e) {
        say("refused " + e.message().toUtf8());
    }
    say(QByteArray("unchanged ") + (readAll(settings.filePath()) == content ? "yes" : "no"));
    say("leftovers " +
        QByteArray::number(
            QDir(config).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).size() - 1));
    QFile::remove(filler);
    settings.WriteInteger(QStringLiteral("Window"), QStringLiteral("Left"), 1234);
    say("written " + QByteArray::number(settings.ReadInteger(QStringLiteral("Window"),
                                                             QStringLiteral("Left"), -1)));
    say(QByteArray("others ") +
        (readAll(settings.filePath()) == palvane::ini::writeValue(content, "Window", "Left", "1234")
             ? "kept"
             : "changed"));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2)
        return writeForever(std::atoi(argv[1]));
    if (argc == 3 && QByteArray(argv[1]) == "full")
        return writeOnFullDisk(QString::fromLocal8Bit(argv[2]));
    std::fprintf(stderr, "usage: settings_writer <first value> | full <directory>\n");
    return 1;
}
