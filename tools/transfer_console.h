#pragma once
// What the user sees of an import or export on standard error: each warning as it arises and,
// when standard error is a terminal, a progress line for a job that takes more than a second.

#include "tools/contacts_io.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

namespace palvane::tool {

class TransferConsole {
public:
    // verb: "Importing" or "Exporting".
    TransferConsole(FILE* stream, const QString& verb);
    ~TransferConsole(); // the progress line goes
    TransferConsole(const TransferConsole&) = delete;
    TransferConsole& operator=(const TransferConsole&) = delete;

    // Hooks for importContacts and exportContacts that report here.
    TransferHooks hooks();
    void warning(const QString& text);
    // contacts done so far; fraction of the whole from 0 to 1, or below 0 when unknown.
    void progress(qint64 contacts, double fraction);
    // Removes the progress line (before the final message).
    void clear();

private:
    void put(const QString& text);

    FILE* stream_;
    QString verb_;
    bool terminal_;
    QElapsedTimer started_;
    qint64 lastDrawn_ = 0;
    qsizetype shownWidth_ = 0;
};

} // namespace palvane::tool
