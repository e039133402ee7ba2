#pragma once
// The program's failures. A handler that meets one ends at once; the error report shows its
// message with a final full stop, and ignores SilentAbort. Thrown by everything below the
// windows that has a message of its own for the user (the settings file, the clock's offset).

#include <QString>

#include <exception>
#include <stdexcept>

namespace palvane {

// Thrown to end a handler quietly: the error report ignores it.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "Operation aborted"; }
};

// A failure of the program itself with the message the user sees (without the final ".").
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace palvane
