#pragma once
// Every test runs in its own temporary working directory with its own XDG_CONFIG_HOME, so
// nothing touches the user's files. Create one Sandbox per test function.

#include "store/schema.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

class QWidget;

namespace palvane::test {

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    QString path() const;      // the working directory
    QString dataDir() const;   // path()/data
    QString dbPath() const;    // path()/data/palvane.db
    QString configDir() const; // XDG_CONFIG_HOME
    QString iniPath() const;   // configDir()/PALVANE.INI

    // Creates data/palvane.db holding these contacts (in this rowid order).
    void createTable(const std::vector<ContactRow>& rows = {});

    // Waits until the file system stamps a change later than the data folder's last one. Where
    // it stamps coarsely, a file copied over the table in the same instant as the table's last
    // store looks like part of that store.
    void waitForLaterTimestamps() const;

private:
    QTemporaryDir dir_;
    QString oldCwd_;
    QByteArray oldXdg_;
    bool hadXdg_ = false;
};

// A contact with just a nick (and optional name and offset in hours).
ContactRow contact(const QString& nick, const QString& name = {}, int hours = 0,
                   const QString& picture = {});

// Runs action on the next modal widget that appears (from a zero-delay timer, retried until
// one is active, for at most timeoutMs).
void onNextModal(std::function<void(QWidget*)> action, int timeoutMs = 5000);

} // namespace palvane::test
