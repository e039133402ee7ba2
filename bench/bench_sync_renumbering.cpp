// What a sync pays to notice and mend renumbered rowids, without a server: a table of N synced
// contacts (its state written directly), then
//   - the check every run makes (nothing renumbered): time until the run turns to the server;
//   - every row renumbered (as a dump and restore does): time of pairing all N cards again.
// Each run is a process of its own, so that its peak memory is its own. The run then fails at
// once against a closed port on 127.0.0.1, which is not measured.
//
//   bench_sync_renumbering [--sizes 10000,100000]

#include "store/contact_stream.h"
#include "store/sqlite_util.h"
#include "sync/card_fields.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

#include <QCoreApplication>
#include <QProcess>
#include <QElapsedTimer>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

using namespace palvane;

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

ContactRow generated(qint64 i) {
    ContactRow row;
    row.nick = QStringLiteral("nick%1").arg(i);
    row.name = QStringLiteral("Person Number %1").arg(i);
    row.email = QStringLiteral("nick%1@example.org").arg(i);
    row.location = QStringLiteral("Town %1").arg(i % 97);
    return row;
}

// A table of n contacts after one deleted at the start, and a state pairing each with a card.
void makeSynced(const QString& table, qint64 n) {
    createContactTable(table);
    insertContacts(table, n + 1, [](qint64 i, ContactRow& row) { row = generated(i); });
    ContactWriter writer(table, sync::stateFileOf(table), QLatin1String(sync::kStateSchema));
    sync::SyncState state(writer.connection());
    writer.begin();
    writer.remove(1);
    state.setSetting("url", QStringLiteral("http://127.0.0.1:1/book/"));
    for (qint64 after = 0;;) {
        const auto rows = writer.readAfter(after, 1000);
        if (rows.empty())
            break;
        for (const auto& [rowid, contact] : rows) {
            sync::CardState card;
            card.href = QStringLiteral("/book/%1.vcf").arg(rowid);
            card.row = rowid;
            card.etag = QStringLiteral("\"e%1\"").arg(rowid);
            card.uid = QString::number(rowid);
            card.card = "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:x\r\nEND:VCARD\r\n";
            card.localBase = sync::localValues(contact);
            card.serverBase = card.localBase;
            state.save(card);
        }
        after = rows.back().first;
    }
    writer.commit();
}

// Numbers every row anew, from 1, as a dump restored into a new file does.
void renumber(const QString& table) {
    ContactWriter writer(table, {}, {});
    const char* steps[] = {"BEGIN", "CREATE TEMP TABLE copy AS SELECT * FROM contacts",
                           "DELETE FROM contacts", "INSERT INTO contacts SELECT * FROM copy",
                           "COMMIT"};
    for (const char* step : steps)
        if (sql::exec(writer.connection(), QString::fromUtf8(step)) != SQLITE_OK)
            writer.fail();
}

// Seconds until the run turns to the server.
double untilServer(const QString& table) {
    sync::SyncOptions options;
    options.tablePath = table;
    options.idleTimeoutMs = 2000;
    QElapsedTimer timer;
    double seconds = -1;
    options.progress = [&](const QString& text) {
        if (seconds < 0 && text.startsWith(QLatin1String("Asking the server")))
            seconds = double(timer.nsecsElapsed()) / 1e9;
    };
    timer.start();
    try {
        sync::synchronise(options);
    } catch (const sync::SyncError&) {
        // The closed port: expected.
    }
    return seconds;
}

} // namespace

// One run in a process of its own: "seconds peak-MiB".
QString measured(const QString& table) {
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    run.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--run"), table});
    if (!run.waitForFinished(-1) || run.exitCode() != 0) {
        std::fprintf(stderr, "bench_sync_renumbering: the run failed\n");
        std::exit(1);
    }
    return QString::fromUtf8(run.readAllStandardOutput()).trimmed();
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--run")) {
        const double seconds = untilServer(args.value(2));
        std::printf("%.3f s | %.1f MiB\n", seconds, peakMiB());
        return 0;
    }
    QStringList sizes = {QStringLiteral("10000"), QStringLiteral("100000")};
    if (const qsizetype at = args.indexOf(QStringLiteral("--sizes"));
        at > 0 && at + 1 < args.size())
        sizes = args[at + 1].split(QLatin1Char(','));
    std::printf("| contacts | check, nothing renumbered | its peak memory | all renumbered: "
                "pairing again | its peak memory |\n|---:|---:|---:|---:|---:|\n");
    for (const QString& size : sizes) {
        QTemporaryDir dir;
        const QString table = dir.filePath(QStringLiteral("table.db"));
        makeSynced(table, size.toLongLong());
        const QString check = measured(table);
        renumber(table);
        const QString repair = measured(table);
        std::printf("| %s | %s | %s |\n", qPrintable(size), qPrintable(check), qPrintable(repair));
        std::fflush(stdout);
    }
    return 0;
}
