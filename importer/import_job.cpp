#include "importer/import_job.h"

#include "store/table.h"
#include "tools/contacts_format.h"
#include "tools/contacts_io.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>

#include <exception>

namespace palvane::importer {

namespace {

constexpr qint64 kProgressEveryMs = 100;

// Thrown from the progress hook to abandon the import: the table then keeps nothing of it.
struct Cancelled {};

} // namespace

ImportJob::ImportJob(const QString& file, const QString& table, QObject* parent)
    : QObject(parent), file_(file), table_(table) {
    qRegisterMetaType<palvane::importer::ImportOutcome>();
}

ImportJob::~ImportJob() {
    if (thread_) {
        cancel();
        thread_->wait();
    }
}

void ImportJob::start() {
    Q_ASSERT(!thread_);
    thread_.reset(QThread::create([this] {
        const ImportOutcome outcome = run();
        emit finished(outcome);
    }));
    thread_->start();
}

void ImportJob::cancel() {
    cancelRequested_ = true;
}

bool ImportJob::isRunning() const {
    return thread_ && !thread_->isFinished();
}

ImportOutcome ImportJob::run() {
    ImportOutcome outcome;
    tool::TransferHooks hooks;
    hooks.warning = [&](const QString& text) {
        if (++outcome.warnings <= kMaxWarningsSent)
            emit warned(text);
    };
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    hooks.progress = [&](qint64 contacts, double fraction) {
        if (cancelRequested_)
            throw Cancelled();
        if (sinceProgress.elapsed() >= kProgressEveryMs) {
            sinceProgress.restart();
            emit progressed(contacts, fraction);
        }
    };
    try {
        // vCard time zones are offsets from the user's own clock, as the table tool takes them.
        const int localOffset = QDateTime::currentDateTime().offsetFromUtc();
        const tool::TransferReport report =
            tool::importContacts(file_, table_, std::nullopt, localOffset, hooks);
        outcome.result = ImportOutcome::Imported;
        outcome.contacts = report.count;
        outcome.inNotes = report.extrasInNotes;
    } catch (const Cancelled&) {
        outcome.result = ImportOutcome::Cancelled;
    } catch (const TableError& error) {
        outcome.error = error.message();
    } catch (const tool::ToolError& error) {
        outcome.error = error.message();
    } catch (const std::exception& error) {
        outcome.error = QString::fromLocal8Bit(error.what());
    }
    return outcome;
}

} // namespace palvane::importer
