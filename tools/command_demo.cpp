#include "store/schema.h"
#include "store/table.h"
#include "tools/commands.h"
#include "tools/contact_pictures.h"
#include "tools/demo_contacts.h"

#include <QElapsedTimer>
#include <QFile>

namespace palvane::tool {

namespace {

constexpr qint64 kMaxCount = 100'000'000;
const QString kCount = QStringLiteral("count");

std::optional<qint64> countOf(const Arguments& arguments) {
    if (!arguments.isSet(kCount))
        return std::nullopt;
    bool ok = false;
    const qint64 count = arguments.value(kCount).toLongLong(&ok);
    if (!ok || count < 0 || count > kMaxCount)
        return std::nullopt;
    return count;
}

void fill(const QString& path, std::optional<qint64> count) {
    QElapsedTimer timer;
    timer.start();
    if (count) {
        palvane::insertContacts(path, *count, generatedContact);
        print(stdout, QStringLiteral("Created %1 with %2 generated contacts in %3 s")
                          .arg(path)
                          .arg(*count)
                          .arg(timer.elapsed() / 1000.0, 0, 'f', 1));
        return;
    }
    const QString pictures = picturesBeside(path);
    const auto rows = sampleContacts(pictures);
    palvane::insertContacts(path, rows);
    print(stdout, QStringLiteral("Created %1 with %2 sample contacts (pictures in %3)")
                      .arg(path)
                      .arg(rows.size())
                      .arg(pictures));
}

} // namespace

Command demoCommand() {
    Command command;
    command.name = QStringLiteral("demo");
    command.synopsis = QStringLiteral("demo [PATH] [--count N]");
    command.description = QStringLiteral("create a new contact table holding about a dozen sample\n"
                                         "contacts (pictures go to the directory pictures/ beside\n"
                                         "the table); with --count, N generated contacts instead");
    command.options = {
        tableOption(),
        {QCommandLineOption(kCount, QStringLiteral("generated contacts instead of the samples"),
                            QStringLiteral("N")),
         QStringLiteral("a number")},
    };
    command.positionals = {tablePathArgument()};
    command.validate = [](const Arguments& arguments) -> std::optional<QString> {
        if (arguments.isSet(kCount) && !countOf(arguments))
            return QStringLiteral("--count needs a whole number from 0 to %1, not '%2'")
                .arg(kMaxCount)
                .arg(arguments.value(kCount));
        return oneTableArgument(arguments);
    };
    command.run = [](const Arguments& arguments) {
        const QString path = tableArgument(arguments);
        palvane::createContactTable(path);
        try {
            fill(path, countOf(arguments));
        } catch (...) {
            QFile::remove(path); // the new file would hold half a demo: do not leave it
            throw;
        }
        return kOk;
    };
    return command;
}

} // namespace palvane::tool
