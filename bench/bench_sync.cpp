// palvane-table sync against a local Radicale: the first sync of an address book of N cards
// into an empty table, and a sync when nothing changed, beside an import of the same cards
// from one file; and the first sync of a table of 1,000 contacts up to an empty address book.
// Every job is a process of its own: wall time and peak memory measured by the kernel
// (wait4), the requests as the sync reports them.
//
//   bench_sync [--tool PATH] [--sizes 10000] [--markdown FILE]
//
// 100,000 cards take several minutes of Radicale's own time; ask for them with
// --sizes 10000,100000 (they are not part of the CI run, which runs no benchmark).

#include <QByteArray>
#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include "bench/measured_run.h"

#include <csignal>
#include <cstdio>
#include <sys/prctl.h>
#include <vector>

namespace {

// The servers started, killed on every way out (std::exit runs no destructors).
std::vector<QProcess*> servers;

[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "bench_sync: %s\n", qPrintable(message));
    for (QProcess* server : servers)
        server->kill();
    std::exit(1);
}

// What a job cost, and the requests the sync reported in its JSON output.
struct SyncUsage : palvane::bench::Usage {
    qint64 requests = -1;
};

// Runs a program to its end, standard input from inFile and output into outFile.
SyncUsage runMeasured(const QStringList& command, const QString& inFile, const QString& outFile) {
    using palvane::bench::MeasuredRun;
    const MeasuredRun run = palvane::bench::measureRun(command, inFile, outFile);
    if (run.ending == MeasuredRun::Ending::CannotStart)
        fail(QStringLiteral("cannot run %1").arg(command.first()));
    if (run.ending == MeasuredRun::Ending::Failed)
        fail(QStringLiteral("'%1' failed").arg(command.join(QLatin1Char(' '))));
    SyncUsage result;
    static_cast<palvane::bench::Usage&>(result) = run.usage;
    QFile report(outFile);
    if (report.open(QIODevice::ReadOnly)) {
        const QJsonObject json = QJsonDocument::fromJson(report.readAll()).object();
        if (json.contains(QStringLiteral("requests")))
            result.requests = json.value(QStringLiteral("requests")).toInteger();
    }
    return result;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write %1").arg(path));
}

class Radicale {
public:
    explicit Radicale(const QString& folder) : folder_(folder) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        QDir().mkpath(folder_);
        writeFile(folder_ + QStringLiteral("/users"), "alice:bench\n");
        writeFile(folder_ + QStringLiteral("/config"),
                  QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\n"
                                 "htpasswd_filename = %2/users\nhtpasswd_encryption = plain\n"
                                 "[storage]\nfilesystem_folder = %2/collections\n[rights]\n"
                                 "type = owner_only\n[logging]\nlevel = warning\n")
                      .arg(port_)
                      .arg(folder_)
                      .toUtf8());
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        servers.push_back(&process_);
        process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        process_.start(QStringLiteral("radicale"),
                       {QStringLiteral("-C"), folder_ + QStringLiteral("/config")});
        // The address book as Radicale keeps one: a folder with its properties.
        const QString book =
            folder_ + QStringLiteral("/collections/collection-root/alice/contacts");
        QDir().mkpath(book);
        writeFile(book + QStringLiteral("/.Radicale.props"), "{\"tag\": \"VADDRESSBOOK\"}");
        for (int tries = 0; tries < 200; ++tries) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(port_));
            if (socket.waitForConnected(100))
                return;
            QThread::msleep(100);
        }
        fail(QStringLiteral("Radicale did not start"));
    }
    ~Radicale() {
        process_.kill();
        process_.waitForFinished();
        servers.pop_back();
    }
    QString book() const {
        return QStringLiteral("http://127.0.0.1:%1/alice/contacts/").arg(port_);
    }
    // Cards straight into the storage folder: the server's own upload path is not measured.
    void fill(const QByteArray& cards) {
        const QString dir = folder_ + QStringLiteral("/collections/collection-root/alice/contacts");
        qsizetype at = 0;
        int i = 0;
        while ((at = cards.indexOf("BEGIN:VCARD", at)) >= 0) {
            const qsizetype end = cards.indexOf("END:VCARD", at) + 11;
            QByteArray card = cards.mid(at, end - at);
            card.replace("VERSION:3.0\r\n",
                         "VERSION:3.0\r\nUID:bench-" + QByteArray::number(i) + "\r\n");
            writeFile(QStringLiteral("%1/bench-%2.vcf").arg(dir).arg(i++), card);
            at = end;
        }
    }

    // Radicale reads and indexes every card the first time it lists them, which takes minutes
    // at 100,000: done once before anything is measured, with no time limit. The seconds it
    // took.
    double warm() {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(book())};
        request.setRawHeader("Authorization", "Basic " + QByteArray("alice:bench").toBase64());
        request.setRawHeader("Depth", "1");
        request.setTransferTimeout(0);
        QElapsedTimer timer;
        timer.start();
        QNetworkReply* reply = manager.sendCustomRequest(
            request, "PROPFIND",
            "<?xml version=\"1.0\"?><propfind xmlns=\"DAV:\"><prop><getetag/></prop>"
            "</propfind>");
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return timer.elapsed() / 1000.0;
    }

private:
    QString folder_;
    int port_ = 0;
    QProcess process_;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QString tool = QStringLiteral(PALVANE_TABLE_TOOL);
    QList<qint64> sizes = {10000};
    QString markdown;
    for (int i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--tool"))
            tool = args[i + 1];
        else if (args[i] == QLatin1String("--markdown"))
            markdown = args[i + 1];
        else if (args[i] == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& size : args[i + 1].split(QLatin1Char(',')))
                sizes << size.toLongLong();
        }
    }
    if (QStandardPaths::findExecutable(QStringLiteral("radicale")).isEmpty()) {
        std::fprintf(stderr, "bench_sync: radicale is not installed (scripts/install-deps)\n");
        return 1;
    }
    QTemporaryDir work;
    qputenv("XDG_CONFIG_HOME", (work.path() + QStringLiteral("/config")).toLocal8Bit());
    qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    const QString password = work.path() + QStringLiteral("/password");
    writeFile(password, "bench\n");
    const QString out = work.path() + QStringLiteral("/out.json");
    const QString none = QStringLiteral("/dev/null");

    QStringList lines = {
        QStringLiteral("| job | contacts | wall time | tool's CPU | peak memory | requests |"),
        QStringLiteral("|---|---:|---:|---:|---:|---:|")};
    const auto row = [&](const QString& job, qint64 size, const SyncUsage& usage) {
        lines << QStringLiteral("| %1 | %2 | %3 s | %6 s | %4 MiB | %5 |")
                     .arg(job)
                     .arg(size)
                     .arg(usage.wall, 0, 'f', 2)
                     .arg(usage.rssMiB, 0, 'f', 1)
                     .arg(usage.requests < 0 ? QStringLiteral("-")
                                             : QString::number(usage.requests))
                     .arg(usage.cpu, 0, 'f', 2);
        std::printf("%s\n", qPrintable(lines.back()));
        std::fflush(stdout);
    };
    for (const qint64 size : sizes) {
        const QString dir = work.path() + QStringLiteral("/%1").arg(size);
        QDir().mkpath(dir);
        const QString source = dir + QStringLiteral("/source.db");
        const QString cards = dir + QStringLiteral("/cards.vcf");
        runMeasured({tool, QStringLiteral("demo"), source, QStringLiteral("--count"),
                     QString::number(size)},
                    none, none);
        runMeasured({tool, QStringLiteral("export"), QStringLiteral("--table"), source,
                     QStringLiteral("--format"), QStringLiteral("vcard3"), cards},
                    none, none);
        Radicale server(dir + QStringLiteral("/server"));
        QFile file(cards);
        file.open(QIODevice::ReadOnly);
        server.fill(file.readAll());
        std::printf("(Radicale indexed the %lld cards in %.0f s, before the measurements)\n", size,
                    server.warm());

        const QString table = dir + QStringLiteral("/synced.db");
        runMeasured({tool, QStringLiteral("create"), table}, none, none);
        runMeasured({tool, QStringLiteral("sync"), QStringLiteral("--table"), table,
                     QStringLiteral("--setup"), server.book(), QStringLiteral("--user"),
                     QStringLiteral("alice"), QStringLiteral("--password-stdin")},
                    password, none);
        const QStringList sync = {tool,  QStringLiteral("sync"),     QStringLiteral("--table"),
                                  table, QStringLiteral("--format"), QStringLiteral("json")};
        row(QStringLiteral("first sync, server to empty table"), size,
            runMeasured(sync, none, out));
        row(QStringLiteral("sync, nothing changed"), size, runMeasured(sync, none, out));

        const QString imported = dir + QStringLiteral("/imported.db");
        runMeasured({tool, QStringLiteral("create"), imported}, none, none);
        row(QStringLiteral("import of the same cards from one file"), size,
            runMeasured(
                {tool, QStringLiteral("import"), cards, QStringLiteral("--table"), imported}, none,
                none));
    }
    // Upwards every card is a request of its own (CardDAV has no batch upload).
    {
        constexpr qint64 kUp = 1000;
        const QString dir = work.path() + QStringLiteral("/up");
        QDir().mkpath(dir);
        Radicale server(dir + QStringLiteral("/server"));
        const QString table = dir + QStringLiteral("/table.db");
        runMeasured(
            {tool, QStringLiteral("demo"), table, QStringLiteral("--count"), QString::number(kUp)},
            none, none);
        runMeasured({tool, QStringLiteral("sync"), QStringLiteral("--table"), table,
                     QStringLiteral("--setup"), server.book(), QStringLiteral("--user"),
                     QStringLiteral("alice"), QStringLiteral("--password-stdin")},
                    password, none);
        row(QStringLiteral("first sync, table to empty server"), kUp,
            runMeasured({tool, QStringLiteral("sync"), QStringLiteral("--table"), table,
                         QStringLiteral("--format"), QStringLiteral("json")},
                        none, out));
    }
    if (!markdown.isEmpty())
        writeFile(markdown, lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return 0;
}
