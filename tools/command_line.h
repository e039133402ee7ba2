#pragma once
// What the table tool's commands share on the command line: the exit statuses, printing a line,
// the answer to bad arguments, and options that take a value.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace palvane::tool {

inline constexpr int kOk = 0;
inline constexpr int kFailed = 1;
inline constexpr int kBadArguments = 2;

// The text and a line break, in the locale's encoding.
void print(FILE* stream, const QString& text);

// Says what is wrong with the arguments and where help is, on standard error; returns
// kBadArguments.
int usageError(const QString& message);

// Whether arg is the option name ("--table"), given as "--table VALUE" or "--table=VALUE".
bool isOption(const QString& arg, QLatin1String name);

// The value of the option name at args[i] into value: the next argument (i moves on to it) or
// what follows the '='. An error text when there is none or it is empty.
std::optional<QString> optionValue(const QStringList& args, int& i, QLatin1String name,
                                   QString& value);

} // namespace palvane::tool
