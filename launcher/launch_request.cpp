#include "launcher/launch_request.h"

namespace palvane::launcher {

const char* const kUsage =
    "Usage: palvane [FILE...]\n"
    "       palvane --import [FILE...]\n"
    "\n"
    "Opens Palvane 32, the address book for the people you meet on IRC. Given FILEs\n"
    "(vCard .vcf or CSV), it imports their contacts into the same table instead, asking\n"
    "first for each file; --import without a FILE asks which files to import.\n"
    "\n"
    "The table: data/palvane.db under the working directory when it exists, else your\n"
    "own table, $XDG_DATA_HOME/palvane/data/palvane.db (~/.local/share/palvane/...),\n"
    "which is created empty when first needed. The desktop menu entry opens your own\n"
    "table, and palvane-table works on the same table when it is given none.\n"
    "\n"
    "Options:\n"
    "  --import    import contacts (choosing the files when none is given)\n"
    "  --version   show the version\n"
    "  --help      show this help\n";

LaunchRequest parseLaunchArguments(const QStringList& arguments) {
    LaunchRequest request;
    bool optionsEnd = false;
    for (const QString& argument : arguments) {
        if (optionsEnd || !argument.startsWith(QLatin1Char('-'))) {
            if (argument.isEmpty())
                return {LaunchRequest::Wrong, {}, QStringLiteral("the file name is empty")};
            request.mode = LaunchRequest::Import;
            request.files << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnd = true;
        } else if (argument == QLatin1String("--import")) {
            request.mode = LaunchRequest::Import;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            return {LaunchRequest::Help, {}, {}};
        } else if (argument == QLatin1String("--version")) {
            return {LaunchRequest::Version, {}, {}};
        } else if (argument == QLatin1String("-")) {
            return {LaunchRequest::Wrong,
                    {},
                    QStringLiteral("contacts on standard input are imported with "
                                   "'palvane-table import -'")};
        } else {
            return {LaunchRequest::Wrong, {}, QStringLiteral("unknown option '%1'").arg(argument)};
        }
    }
    return request;
}

} // namespace palvane::launcher
