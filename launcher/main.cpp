// palvane: the command a user types and the desktop menu entry runs. It opens the address book
// on the user's contact table, making that table on the first start, or imports contact files
// into it. The address book itself takes no arguments and works on data/palvane.db under its
// working directory, so this starts it in the table's folder.

#include "importer/import_flow.h"
#include "launcher/launch_request.h"
#include "store/table.h"
#include "tools/contacts_format.h"
#include "tools/default_table.h"
#include "widgets/centred_window.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

using palvane::launcher::LaunchRequest;

void printError(const QString& text) {
    std::fprintf(stderr, "palvane: %s\n", text.toLocal8Bit().constData());
}

// Centred like every other box of the program.
void showError(const QString& caption, const QString& text) {
    palvane::Centred<QMessageBox> box(QMessageBox::Critical, caption, text, QMessageBox::Close);
    box.exec();
}

// From the menu there is no terminal to read standard error: say it in a box as well.
int fail(const QString& text, int argc, char** argv) {
    printError(text);
    const bool display =
        qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (display && !::isatty(STDERR_FILENO)) {
        QApplication app(argc, argv);
        showError(QStringLiteral("Palvane 32"), text);
    }
    return 1;
}

// The address book, installed beside this command or built beside it.
QString programPath() {
    if (!palvane::tool::runsInstalled())
        return QStringLiteral(PALVANE_BUILT_PROGRAM);
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(PALVANE_PROGRAM_FROM_COMMAND));
}

int open(int argc, char** argv) {
    QString program;
    QString problem;
    palvane::tool::TableLocation location;
    {
        QCoreApplication app(argc, argv);
        program = programPath();
        try {
            location = palvane::tool::defaultTableLocation();
            palvane::tool::createUserTableIfMissing(location);
        } catch (const palvane::TableError& error) {
            problem = error.message();
        } catch (const palvane::tool::ToolError& error) {
            problem = error.message();
        }
    }
    if (!problem.isEmpty())
        return fail(problem, argc, argv);
    if (!QDir::setCurrent(location.folder))
        return fail(QStringLiteral("cannot enter the folder %1").arg(location.folder), argc, argv);
    const QByteArray path = QFile::encodeName(program);
    char name[] = "palvane";
    char* arguments[] = {name, nullptr};
    ::execv(path.constData(), arguments);
    return fail(QStringLiteral("cannot start %1: %2")
                    .arg(program, QString::fromLocal8Bit(std::strerror(errno))),
                argc, argv);
}

int import(const LaunchRequest& request, int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("palvane"));
    palvane::tool::TableLocation location;
    try {
        location = palvane::tool::defaultTableLocation();
    } catch (const palvane::tool::ToolError& error) {
        printError(error.message());
        showError(QStringLiteral("Import contacts"), error.message());
        return 1;
    }
    const QStringList files =
        request.files.isEmpty() ? palvane::importer::chooseFiles() : request.files;
    return palvane::importer::importFiles(files, location);
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const LaunchRequest request = palvane::launcher::parseLaunchArguments(arguments);
    switch (request.mode) {
    case LaunchRequest::Help:
        std::fputs(palvane::launcher::kUsage, stdout);
        return 0;
    case LaunchRequest::Version:
        std::puts("palvane (Palvane 32) " PALVANE_VERSION);
        return 0;
    case LaunchRequest::Wrong:
        printError(request.error);
        std::fputs("Try 'palvane --help' for more information.\n", stderr);
        return 2;
    case LaunchRequest::Import:
        return import(request, argc, argv);
    case LaunchRequest::Open:
        break;
    }
    return open(argc, argv);
}
