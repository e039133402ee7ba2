#pragma once
// Ctrl-C (SIGINT), SIGTERM and SIGHUP during an import. Killed where it stands, the import
// would leave the pictures it saved so far beside a table that never got their contacts. While
// an InterruptGuard lives, those signals only set a flag, and interrupt a blocking read; the
// import checks it at each contact and each read and unwinds as a failed import does (the
// table rolled back, its pictures removed). Then the guard, destroyed last, ends the process by
// the same signal, as it would have ended without one.

#include "tools/contacts_format.h"

namespace palvane::tool {

class Interrupted : public ToolError {
public:
    Interrupted() : ToolError(QStringLiteral("interrupted")) {}
};

class InterruptGuard {
public:
    InterruptGuard();
    // Restores the signals' own handling; when one came, says so on standard error and raises
    // it again.
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // Whether one of the signals came while a guard lives.
    static bool pending();
    // Throws Interrupted when one did.
    static void check();
};

} // namespace palvane::tool
