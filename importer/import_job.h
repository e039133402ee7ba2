#pragma once
// One import of a contact file into a table on a thread of its own, so that the window showing
// it stays responsive. The import is the table tool's: every contact of the file or, on any
// fault or when cancelled, none.
//
// Signals arrive on the thread that owns the job, in the order they were sent: progress and
// warnings while it runs, then finished exactly once. Destroying a running job cancels it and
// waits for its end.

#include <QObject>
#include <QString>

#include <atomic>
#include <memory>

class QThread;

namespace palvane::importer {

struct ImportOutcome {
    enum Result { Imported, Failed, Cancelled };
    Result result = Failed;
    qint64 contacts = 0; // added to the table (0 unless Imported)
    qint64 inNotes = 0;  // values without a field of their own, added to the notes
    qint64 warnings = 0; // all of them, also those beyond what was sent
    QString error;       // why nothing was imported (Failed)
};

class ImportJob : public QObject {
    Q_OBJECT

public:
    // Warnings beyond this many are counted but not sent: a million-contact file could warn
    // on every contact.
    static constexpr qint64 kMaxWarningsSent = 1000;

    ImportJob(const QString& file, const QString& table, QObject* parent = nullptr);
    ~ImportJob() override;

    void start();
    // Asks the import to stop; it ends as Cancelled unless it had already committed.
    void cancel();
    bool isRunning() const;

signals:
    // contacts read so far; fraction of the file read, 0 to 1. At most ten a second.
    void progressed(qint64 contacts, double fraction);
    void warned(const QString& text);
    void finished(const palvane::importer::ImportOutcome& outcome);

private:
    ImportOutcome run();

    QString file_;
    QString table_;
    std::atomic<bool> cancelRequested_{false};
    std::unique_ptr<QThread> thread_;
};

} // namespace palvane::importer
