// The table tool's import and export at 100,000 and 1,000,000 contacts, beside the sqlite3
// shell doing the same CSV work on the same files (the floor): the time and peak memory of
// each job, every job a process of its own, measured by the kernel (wait4).
//
//   bench_tool_io [--tool PATH] [--sizes 100000,1000000] [--rounds N] [--markdown FILE]
//
// --tool measures another build of palvane-table (an older one, for a before-and-after table).
// The jobs run in rounds, the sizes and jobs alternating, so that a busy spell of the shared
// machine falls on all of them; each figure is judged by its best round, the median shown
// beside it. The summary (Markdown, also written to --markdown) states each target and whether
// it is met:
//   peak RSS under 64 MiB at any size; CSV import and export within 2x of the shell; vCard
//   import and export within 3x of our CSV; time per contact at 1M within 1.3x of that at 100k.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "bench/measured_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace {

using palvane::bench::MeasuredRun;
using palvane::bench::Usage;

// Runs a program to its end, its standard output into outFile (or /dev/null); what it cost.
Usage runMeasured(const QStringList& command,
                  const QString& outFile = QStringLiteral("/dev/null")) {
    const MeasuredRun run =
        palvane::bench::measureRun(command, QStringLiteral("/dev/null"), outFile);
    if (run.ending == MeasuredRun::Ending::CannotStart) {
        std::fprintf(stderr, "bench_tool_io: cannot run %s\n", qPrintable(command.first()));
        std::exit(1);
    }
    if (run.ending == MeasuredRun::Ending::Failed) {
        std::fprintf(stderr, "bench_tool_io: '%s' failed\n",
                     qPrintable(command.join(QLatin1Char(' '))));
        std::exit(1);
    }
    return run.usage;
}

struct Job {
    const char* key;
    const char* title;
    bool shell;
};

const Job kJobs[] = {
    {"csv-import", "CSV import", false},     {"shell-csv-import", "CSV import", true},
    {"csv-export", "CSV export", false},     {"shell-csv-export", "CSV export", true},
    {"vcard-import", "vCard import", false}, {"vcard-export", "vCard export", false},
};

struct Figures {
    std::vector<Usage> runs;
    double best(double Usage::*field) const {
        double value = INFINITY;
        for (const Usage& run : runs)
            value = std::min(value, run.*field);
        return value;
    }
    double most(double Usage::*field) const {
        double value = 0;
        for (const Usage& run : runs)
            value = std::max(value, run.*field);
        return value;
    }
    double median(double Usage::*field) const {
        std::vector<double> values;
        for (const Usage& run : runs)
            values.push_back(run.*field);
        std::sort(values.begin(), values.end());
        const size_t n = values.size();
        return n == 0 ? NAN : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }
};

class Bench {
public:
    Bench(const QString& tool, const QString& shell, const QString& work)
        : tool_(tool), shell_(shell), work_(work) {}

    void prepare(qint64 size) {
        const QString dir = sizeDir(size);
        QDir().mkpath(dir);
        runMeasured({tool_, QStringLiteral("demo"), table(size), QStringLiteral("--count"),
                     QString::number(size)});
        // The files every import reads: this tool's own exports of the table.
        runMeasured({tool_, QStringLiteral("export"), QStringLiteral("--table"), table(size),
                     dir + QStringLiteral("/in.csv")});
        runMeasured({tool_, QStringLiteral("export"), QStringLiteral("--table"), table(size),
                     dir + QStringLiteral("/in.vcf")});
    }

    void run(const Job& job, qint64 size) {
        if (job.shell && shell_.isEmpty())
            return;
        const QString dir = sizeDir(size);
        const QString key = QLatin1String(job.key);
        const QString target = dir + QStringLiteral("/target.db");
        const QString out = dir + QStringLiteral("/out");
        QFile::remove(target);
        QFile::remove(out);
        QDir(dir + QStringLiteral("/pictures")).removeRecursively();
        if (key.endsWith(QLatin1String("import")))
            runMeasured({tool_, QStringLiteral("create"), target});
        Usage usage;
        if (key == QLatin1String("csv-import") || key == QLatin1String("vcard-import"))
            usage =
                runMeasured({tool_, QStringLiteral("import"),
                             dir + (key == QLatin1String("csv-import") ? QStringLiteral("/in.csv")
                                                                       : QStringLiteral("/in.vcf")),
                             QStringLiteral("--table"), target});
        else if (key == QLatin1String("shell-csv-import"))
            usage =
                runMeasured({shell_, target,
                             QStringLiteral(".import --csv --skip 1 %1/in.csv contacts").arg(dir)});
        else if (key == QLatin1String("csv-export") || key == QLatin1String("vcard-export"))
            usage = runMeasured({tool_, QStringLiteral("export"), QStringLiteral("--format"),
                                 key == QLatin1String("csv-export") ? QStringLiteral("csv")
                                                                    : QStringLiteral("vcard"),
                                 QStringLiteral("--table"), table(size), out});
        else
            usage = runMeasured({shell_, QStringLiteral("-csv"), QStringLiteral("-header"),
                                 table(size), QStringLiteral("SELECT * FROM contacts")},
                                out);
        figures_[{key, size}].runs.push_back(usage);
        std::printf("%-17s %8lld  wall %7.2f s  cpu %7.2f s  peak %7.1f MiB\n", job.key,
                    static_cast<long long>(size), usage.wall, usage.cpu, usage.rssMiB);
        std::fflush(stdout);
    }

    QString summary(const std::vector<qint64>& sizes) const;

private:
    QString sizeDir(qint64 size) const { return work_ + QStringLiteral("/n%1").arg(size); }
    QString table(qint64 size) const { return sizeDir(size) + QStringLiteral("/table.db"); }
    const Figures* find(const char* key, qint64 size) const {
        const auto it = figures_.find({QLatin1String(key), size});
        return it == figures_.end() || it->second.runs.empty() ? nullptr : &it->second;
    }

    QString tool_;
    QString shell_;
    QString work_;
    std::map<std::pair<QString, qint64>, Figures> figures_;
};

QString number(double value, int decimals) {
    return std::isfinite(value) ? QString::number(value, 'f', decimals) : QStringLiteral("-");
}

QString sizeName(qint64 size) {
    return size % 1000000 == 0 ? QStringLiteral("%1M").arg(size / 1000000)
           : size % 1000 == 0  ? QStringLiteral("%1k").arg(size / 1000)
                               : QString::number(size);
}

QString verdict(bool met) {
    return met ? QStringLiteral("yes") : QStringLiteral("**no**");
}

QString Bench::summary(const std::vector<qint64>& sizes) const {
    QStringList lines;
    lines << QStringLiteral("Each time: the best round (the median round in brackets), wall "
                            "clock, then the processor time (user + system) of the best round "
                            "by processor time. Peak: the largest resident set of all rounds.")
          << QString()
          << QStringLiteral("| job | contacts | palvane-table | CPU | peak | sqlite3 shell | "
                            "CPU | peak | per contact |")
          << QStringLiteral("|---|---:|---:|---:|---:|---:|---:|---:|---:|");
    const auto wall = [](const Figures* f) {
        return f ? QStringLiteral("%1 s (%2)")
                       .arg(number(f->best(&Usage::wall), 2), number(f->median(&Usage::wall), 2))
                 : QStringLiteral("-");
    };
    const auto cpu = [](const Figures* f) {
        return f ? number(f->best(&Usage::cpu), 2) + QStringLiteral(" s") : QStringLiteral("-");
    };
    const auto peak = [](const Figures* f) {
        return f ? number(f->most(&Usage::rssMiB), 1) + QStringLiteral(" MiB")
                 : QStringLiteral("-");
    };
    for (const Job& job : kJobs) {
        if (job.shell)
            continue;
        for (const qint64 size : sizes) {
            const Figures* ours = find(job.key, size);
            const Figures* shell = find(QByteArray("shell-").append(job.key).constData(), size);
            const double perContact = ours ? ours->best(&Usage::wall) / size * 1e6 : NAN;
            lines << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 us |")
                         .arg(QLatin1String(job.title), sizeName(size), wall(ours), cpu(ours),
                              peak(ours), shell ? wall(shell) : QString(),
                              shell ? cpu(shell) : QString(), shell ? peak(shell) : QString(),
                              number(perContact, 2));
        }
    }

    // The targets, judged on the best wall times.
    lines << QString() << QStringLiteral("| target | measured | met |")
          << QStringLiteral("|---|---|---|");
    double largest = 0;
    for (const Job& job : kJobs)
        for (const qint64 size : sizes)
            if (const Figures* f = find(job.key, size); f && !job.shell)
                largest = std::max(largest, f->most(&Usage::rssMiB));
    lines << QStringLiteral("| peak RSS < 64 MiB at any size | %1 MiB at most | %2 |")
                 .arg(number(largest, 1), verdict(largest < 64));
    const auto bestWall = [&](const char* key, qint64 size) {
        const Figures* f = find(key, size);
        return f ? f->best(&Usage::wall) : NAN;
    };
    for (const qint64 size : sizes) {
        for (const char* direction : {"import", "export"}) {
            const QByteArray ours = QByteArray("csv-") + direction;
            const double ratio = bestWall(ours.constData(), size) /
                                 bestWall((QByteArray("shell-") + ours).constData(), size);
            if (std::isfinite(ratio))
                lines << QStringLiteral("| CSV %1 at %2 within 2x of the shell | %3x | %4 |")
                             .arg(QLatin1String(direction), sizeName(size), number(ratio, 2),
                                  verdict(ratio <= 2));
        }
        for (const char* direction : {"import", "export"}) {
            const double ratio = bestWall((QByteArray("vcard-") + direction).constData(), size) /
                                 bestWall((QByteArray("csv-") + direction).constData(), size);
            if (std::isfinite(ratio))
                lines << QStringLiteral("| vCard %1 at %2 within 3x of our CSV | %3x | %4 |")
                             .arg(QLatin1String(direction), sizeName(size), number(ratio, 2),
                                  verdict(ratio <= 3));
        }
    }
    if (sizes.size() >= 2) {
        const qint64 small = sizes.front();
        const qint64 large = sizes.back();
        for (const Job& job : kJobs) {
            if (job.shell)
                continue;
            const double ratio =
                (bestWall(job.key, large) / large) / (bestWall(job.key, small) / small);
            lines << QStringLiteral("| %1: per contact at %2 within 1.3x of %3 | %4x | %5 |")
                         .arg(QLatin1String(job.title), sizeName(large), sizeName(small),
                              number(ratio, 2), verdict(ratio <= 1.3));
        }
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace

int main(int argc, char** argv) {
    QString tool = QStringLiteral(PALVANE_TABLE_TOOL);
    QString markdown;
    std::vector<qint64> sizes = {100000, 1000000};
    int rounds = 3;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString();
        if (arg == QLatin1String("--tool")) {
            tool = value;
            ++i;
        } else if (arg == QLatin1String("--rounds")) {
            rounds = std::max(1, value.toInt());
            ++i;
        } else if (arg == QLatin1String("--markdown")) {
            markdown = value;
            ++i;
        } else if (arg == QLatin1String("--sizes")) {
            sizes.clear();
            for (const QString& size : value.split(QLatin1Char(',')))
                sizes.push_back(size.toLongLong());
            ++i;
        } else if (!arg.startsWith(QLatin1String("--benchmark_"))) {
            std::fprintf(stderr, "Usage: bench_tool_io [--tool PATH] [--sizes N,N] [--rounds N] "
                                 "[--markdown FILE]\n");
            return 2;
        }
    }
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (shell.isEmpty())
        std::fprintf(stderr, "bench_tool_io: no sqlite3 shell: the floor is not measured\n");
    // Vcard offsets depend on the local zone: the same for every run.
    qputenv("TZ", "UTC");
    QTemporaryDir work;
    Bench bench(QFileInfo(tool).absoluteFilePath(), shell, work.path());
    for (const qint64 size : sizes)
        bench.prepare(size);
    for (int round = 0; round < rounds; ++round)
        for (const Job& job : kJobs)
            for (const qint64 size : sizes)
                bench.run(job, size);
    const QString text = bench.summary(sizes);
    std::printf("\n%s", text.toUtf8().constData());
    if (!markdown.isEmpty()) {
        QFile file(markdown);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }
    return 0;
}
