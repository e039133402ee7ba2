#pragma once
// The table tool's commands on the command line. Each command declares its options and
// arguments once (a Command); runCommand() parses them with QCommandLineParser, answers bad
// arguments and --help from that declaration, runs the command and turns its failures into a
// message and an exit status. Every command says the same thing about the same mistake.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace palvane::tool {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;

// The text and a line break, in the locale's encoding.
void print(FILE* stream, const QString& text);

// Says what is wrong with the arguments and where help is, on standard error; returns
// kBadArguments.
int usageError(const QString& message);

// A positional argument: its name in the synopsis, and what is said when it is missing
// (required arguments only) or given empty.
struct Positional {
    QString name;
    QString whenMissing; // empty: the argument may be left out
    QString whenEmpty;
};

// An option with its help text. `needs` completes "--count needs ..." when the value is
// missing ("a number"); options without a value name are switches.
struct Option {
    QCommandLineOption option;
    QString needs = QStringLiteral("a value");
    bool mayBeEmpty = false; // an empty value means something ("--name=" empties the name)
};

// What a command was given, after parsing: option values and positional arguments.
class Arguments {
public:
    Arguments(const QCommandLineParser& parser, QStringList positional)
        : parser_(parser), positional_(std::move(positional)) {}

    bool isSet(const QString& option) const { return parser_.isSet(option); }
    QString value(const QString& option) const { return parser_.value(option); }
    QStringList values(const QString& option) const { return parser_.values(option); }
    // The i-th positional argument, or fallback when it was left out.
    QString positional(int i, const QString& fallback = {}) const {
        return i < positional_.size() ? positional_[i] : fallback;
    }
    bool hasPositional(int i) const { return i < positional_.size(); }

private:
    const QCommandLineParser& parser_;
    QStringList positional_;
};

struct Command {
    QString name;
    QString synopsis;    // "import FILE [--table PATH] [--format csv|vcard|vcard3]"
    QString description; // what it does, as wrapped lines without indentation
    std::vector<Option> options;
    std::vector<Positional> positionals;
    // Checks the values of the options (a message for usageError) before the command runs.
    std::function<std::optional<QString>(const Arguments&)> validate;
    std::function<int(const Arguments&)> run;
    // A last line after the message of a failure ("nothing was imported").
    QString whenFailed;
};

// Parses arguments (those after the command's name) by the command's declaration and runs it.
// Bad arguments: a message and kBadArguments. --help: the command's own help. Failures the
// command throws (table, file, program errors, memory): "palvane-table: MESSAGE" and kFailed.
int runCommand(const Command& command, const QStringList& arguments);

// The command's help: its synopsis, description and options.
QString commandHelp(const Command& command);

// Options several commands share.
Option tableOption();
// The table a command works on: --table, else the default contact table.
QString tablePath(const Arguments& arguments);
// Commands whose one argument is the table (create, demo, check) take it as [PATH] or --table.
Positional tablePathArgument();
QString tableArgument(const Arguments& arguments);
std::optional<QString> oneTableArgument(const Arguments& arguments);
// The contact table the commands use when none is named: data/palvane.db under the working
// directory when it exists, else the user's own table that the command palvane opens
// (tools/default_table.h); run from the build tree, always data/palvane.db.
QString defaultTablePath();
// The table an import or add fills: --table, else the default, made first when it is the
// user's own and does not exist yet (a new user may fill it before the first start).
QString tableToFill(const Arguments& arguments);

} // namespace palvane::tool
