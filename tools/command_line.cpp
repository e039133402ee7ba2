#include "tools/command_line.h"

namespace palvane::tool {

void print(FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fputc('\n', stream);
}

int usageError(const QString& message) {
    print(stderr, QStringLiteral("palvane-table: %1").arg(message));
    print(stderr, QStringLiteral("Try 'palvane-table --help' for more information."));
    return kBadArguments;
}

bool isOption(const QString& arg, QLatin1String name) {
    return arg == name || (arg.startsWith(name) && arg.size() > name.size() &&
                           arg[name.size()] == QLatin1Char('='));
}

std::optional<QString> optionValue(const QStringList& args, int& i, QLatin1String name,
                                   QString& value) {
    const QString& arg = args[i];
    if (arg == name) {
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(name);
        value = args[++i];
    } else {
        value = arg.mid(name.size() + 1);
    }
    if (value.isEmpty())
        return QStringLiteral("%1 needs a value").arg(name);
    return std::nullopt;
}

} // namespace palvane::tool
