#pragma once
// The sync command as the terminal and scripts meet it: the password asked without echo or
// read from standard input, a progress line on a terminal, the summary as text or JSON, and
// the exit status (0 done, 1 conflicts left, 2 errors).

#include "sync/sync_engine.h"

#include <QString>

namespace palvane::sync {

inline constexpr int kSyncDone = 0;
inline constexpr int kSyncConflicts = 1;
inline constexpr int kSyncFailed = 2;

struct SyncCommand {
    QString table;
    QString setupUrl; // set-up instead of a run
    QString user;
    bool passwordStdin = false;
    QString caFile;
    Prefer prefer = Prefer::Neither;
    bool dryRun = false;
    bool json = false;
};

int runSync(const SyncCommand& command);

} // namespace palvane::sync
