// Puts the results of scripts/bench side by side: every figure at 1,000 and at 1,000,000
// contacts, the ratio between the sizes and to the floor (one raw indexed LIMIT 1 lookup), and
// each target with its judgement, as Markdown on standard output.
//
//   bench_app_report [DIR]    reads DIR/*.json (default: bench-results), written with
//                             --benchmark_out by bench_app, bench_keystroke and the others
//
// Not a benchmark itself: it measures nothing and runs in an instant.

#include "bench/bench_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <vector>

namespace {

using palvane::bench::median;

// Every figure of every result file: program -> "family:figure" -> size -> values, where the
// figure is real_time or cpu_time (in microseconds) or a counter. A figure measured several
// times (in rounds of processes, or as repetitions) is judged by its best value: on a shared
// machine other processes can only add time, never take it away. The median is shown beside.
using Figures = std::map<QString, std::map<QString, std::map<qint64, std::vector<double>>>>;

double toMicroseconds(double value, const QString& unit) {
    if (unit == QLatin1String("ns"))
        return value / 1e3;
    if (unit == QLatin1String("ms"))
        return value * 1e3;
    if (unit == QLatin1String("s"))
        return value * 1e6;
    return value;
}

Figures readResults(const QString& dir) {
    static const QStringList notCounters = {
        QStringLiteral("name"),           QStringLiteral("family_index"),
        QStringLiteral("run_name"),       QStringLiteral("per_family_instance_index"),
        QStringLiteral("run_type"),       QStringLiteral("repetitions"),
        QStringLiteral("threads"),        QStringLiteral("repetition_index"),
        QStringLiteral("iterations"),     QStringLiteral("real_time"),
        QStringLiteral("cpu_time"),       QStringLiteral("time_unit"),
        QStringLiteral("aggregate_name"), QStringLiteral("aggregate_unit"),
        QStringLiteral("label"),          QStringLiteral("error_occurred"),
        QStringLiteral("error_message")};
    Figures figures;
    const QDir results(dir);
    for (const QString& name : results.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(results.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        const QString program =
            QFileInfo(
                root[QStringLiteral("context")].toObject()[QStringLiteral("executable")].toString())
                .fileName();
        const QJsonArray runs = root[QStringLiteral("benchmarks")].toArray();
        for (const QJsonValue& value : runs) {
            const QJsonObject run = value.toObject();
            // Single runs only: the aggregates of repetitions are made from them.
            if (run[QStringLiteral("error_occurred")].toBool() ||
                run[QStringLiteral("run_type")].toString() != QLatin1String("iteration"))
                continue;
            const QStringList parts =
                run[QStringLiteral("run_name")].toString().split(QLatin1Char('/'));
            bool numeric = false;
            const qint64 size = parts.value(1).toLongLong(&numeric);
            if (!numeric)
                continue;
            auto& family = figures[program];
            const QString unit = run[QStringLiteral("time_unit")].toString();
            const QString prefix = parts[0] + QLatin1Char(':');
            family[prefix + QStringLiteral("real_time")][size].push_back(
                toMicroseconds(run[QStringLiteral("real_time")].toDouble(), unit));
            family[prefix + QStringLiteral("cpu_time")][size].push_back(
                toMicroseconds(run[QStringLiteral("cpu_time")].toDouble(), unit));
            for (auto it = run.begin(); it != run.end(); ++it)
                if (!notCounters.contains(it.key()) && it.value().isDouble())
                    family[prefix + it.key()][size].push_back(it.value().toDouble());
        }
    }
    return figures;
}

QString number(double value) {
    if (std::isnan(value))
        return QStringLiteral("-");
    const double magnitude = std::fabs(value);
    const int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
    return QString::number(value, 'f', decimals);
}

QString ratio(double a, double b) {
    if (std::isnan(a) || std::isnan(b) || b == 0)
        return QString();
    return QString::number(a / b, 'f', 2) + QStringLiteral("x");
}

constexpr qint64 kSmall = 1000;
constexpr qint64 kLarge = 1000000;

enum class Kind { Cpu, Wall, Other };

// One line of the summary: a figure at both sizes, in the unit shown, and its judgement.
struct Line {
    QString what;
    QString program;
    QString key; // family:figure
    QString unit;
    double scale; // from the stored unit (microseconds, or the counter's own) to the shown one
    Kind kind;
    QString goal;
    std::function<bool(double small, double large)> met;
};

int report(const QString& dir) {
    const Figures figures = readResults(dir);
    // All values of a figure at one size (none when it was not measured).
    const auto values = [&](const QString& program, const QString& key, qint64 size) {
        const auto p = figures.find(program);
        if (p == figures.end())
            return std::vector<double>();
        const auto k = p->second.find(key);
        if (k == p->second.end())
            return std::vector<double>();
        const auto s = k->second.find(size);
        return s == k->second.end() ? std::vector<double>() : s->second;
    };
    const auto figure = [&](const QString& program, const QString& key, qint64 size) {
        const std::vector<double> v = values(program, key, size);
        return v.empty() ? double(NAN) : *std::min_element(v.begin(), v.end());
    };
    // The best value, and the median after it when there were several.
    const auto shown = [&](const QString& program, const QString& key, qint64 size, double scale) {
        const std::vector<double> v = values(program, key, size);
        if (v.size() < 2)
            return number(figure(program, key, size) * scale);
        return number(figure(program, key, size) * scale) + QStringLiteral(" (") +
               number(median(v) * scale) + QLatin1Char(')');
    };
    const QString app = QStringLiteral("bench_app");
    const QString keystroke = QStringLiteral("bench_keystroke");
    // The floor in microseconds: the program's own raw lookup where it has one.
    const auto floorOf = [&](const QString& program, Kind kind, qint64 size) {
        const QString key = kind == Kind::Cpu ? QStringLiteral("BM_RawIndexedLookup:cpu_time")
                                              : QStringLiteral("BM_RawIndexedLookup:real_time");
        const double own = figure(program, key, size);
        return std::isnan(own) ? figure(app, key, size) : own;
    };

    const auto under = [](double limit, double maxRatio) {
        return
            [=](double small, double large) { return large < limit && large <= maxRatio * small; };
    };
    const auto within = [](double limit) {
        return [=](double small, double large) { return large - small <= limit; };
    };
    const std::function<bool(double, double)> none;
    const QString startUpGoal = QStringLiteral("< 300 at 1M; 1M <= 1.2x 1k");
    const QString keyGoal = QStringLiteral("< 1000 at 1M; 1M <= 2x 1k");
    const QString moveGoal = QStringLiteral("< 200 at 1M; 1M <= 2x 1k");
    const QString memoryGoal = QStringLiteral("1M - 1k <= 10");
    const QString ms = QStringLiteral("ms");
    const QString us = QStringLiteral("us");
    // A timed figure's CPU and wall lines. Of bench_app the per-iteration medians (family, or
    // "family:kind" for the counters of one kind of iteration), of other programs the means.
    const auto timed = [&](const QString& what, const QString& program, const QString& family,
                           const QString& unit, const QString& goal,
                           const std::function<bool(double, double)>& met) {
        const double scale = unit == QLatin1String("ms") ? 1e-3 : 1;
        const bool own = program == app;
        const QString base = family.section(QLatin1Char(':'), 0, 0) + QLatin1Char(':');
        const QString kind = family.contains(QLatin1Char(':'))
                                 ? family.section(QLatin1Char(':'), 1) + QLatin1Char('_')
                                 : QString();
        return std::vector<Line>{
            {what + QStringLiteral(", CPU"), program,
             base + (own ? kind + QStringLiteral("cpu_p50_us") : QStringLiteral("cpu_time")), unit,
             scale, Kind::Cpu, goal, met},
            {what + QStringLiteral(", wall"), program,
             base + (own ? kind + QStringLiteral("wall_p50_us") : QStringLiteral("real_time")),
             unit, scale, Kind::Wall, goal, met}};
    };
    std::vector<Line> lines;
    const auto add = [&lines](std::vector<Line> more) {
        lines.insert(lines.end(), more.begin(), more.end());
    };
    add({{QStringLiteral("floor: raw indexed LIMIT 1 lookup, CPU"), app,
          QStringLiteral("BM_RawIndexedLookup:cpu_time"), us, 1, Kind::Cpu, QString(), none},
         {QStringLiteral("floor: raw indexed LIMIT 1 lookup, wall"), app,
          QStringLiteral("BM_RawIndexedLookup:real_time"), us, 1, Kind::Wall, QString(), none},
         {QStringLiteral("the same lookups in one read transaction, CPU"), app,
          QStringLiteral("BM_RawIndexedLookupOneTransaction:cpu_time"), us, 1, Kind::Cpu, QString(),
          none}});
    add(timed(QStringLiteral("start-up, first in the process"), app,
              QStringLiteral("BM_ColdStartUp"), ms, startUpGoal, under(300, 1.2)));
    add(timed(QStringLiteral("start-up, later ones (median of 30)"), app,
              QStringLiteral("BM_StartUp"), ms, startUpGoal, under(300, 1.2)));
    add(timed(QStringLiteral("keystroke, new search (bench_keystroke)"), keystroke,
              QStringLiteral("BM_KeystrokeNewSearch"), us, keyGoal, under(1000, 2)));
    // Typing mixes keystrokes that move the table with cheaper ones that stay, in a proportion
    // that depends on the size: judged on the absolute limit only.
    add(timed(QStringLiteral("keystroke, narrowing (bench_keystroke)"), keystroke,
              QStringLiteral("BM_KeystrokeNarrowing"), us, QStringLiteral("< 1000 at 1M"),
              under(1000, INFINITY)));
    add(timed(QStringLiteral("keystroke + repaint, first letter of a nick (new search)"), app,
              QStringLiteral("BM_Keystroke:first"), us, keyGoal, under(1000, 2)));
    add(timed(QStringLiteral("keystroke + repaint, further letter that moves the table"), app,
              QStringLiteral("BM_Keystroke:moved"), us, keyGoal, under(1000, 2)));
    add({{QStringLiteral("keystroke + repaint, further letter that stays on the contact, CPU"), app,
          QStringLiteral("BM_Keystroke:stayed_cpu_p50_us"), us, 1, Kind::Cpu, QString(), none}});
    add(timed(QStringLiteral("keystroke + repaint, all typing"), app,
              QStringLiteral("BM_Keystroke"), us, QStringLiteral("< 1000 at 1M"),
              under(1000, INFINITY)));
    add({{QStringLiteral("keystroke + repaint, all typing, wall p99"), app,
          QStringLiteral("BM_Keystroke:wall_p99_us"), us, 1, Kind::Wall, QString(), none},
         {QStringLiteral("keystrokes that moved the table (first letters included)"), app,
          QStringLiteral("BM_Keystroke:moved_pct"), QStringLiteral("%"), 1, Kind::Other, QString(),
          none}});
    add(timed(QStringLiteral("Next Record"), app, QStringLiteral("BM_NextRecord"), us, moveGoal,
              under(200, 2)));
    add({{QStringLiteral("Next Record, wall p99"), app, QStringLiteral("BM_NextRecord:wall_p99_us"),
          us, 1, Kind::Wall, QString(), none}});
    add(timed(QStringLiteral("Previous Record"), app, QStringLiteral("BM_PreviousRecord"), us,
              moveGoal, under(200, 2)));
    add({{QStringLiteral("Previous Record, wall p99"), app,
          QStringLiteral("BM_PreviousRecord:wall_p99_us"), us, 1, Kind::Wall, QString(), none},
         {QStringLiteral("Next Record in the classic Windows style, CPU"), app,
          QStringLiteral("BM_NextRecordWindowsStyle:cpu_p50_us"), us, 1, Kind::Cpu, QString(),
          none},
         {QStringLiteral("Next Record without repainting (updates off), CPU"), app,
          QStringLiteral("BM_NextRecordUnpainted:cpu_p50_us"), us, 1, Kind::Cpu, QString(), none}});
    add(timed(QStringLiteral("Update Entry"), app, QStringLiteral("BM_UpdateEntry"), us, QString(),
              none));
    add(timed(QStringLiteral("New Entry + tab switch"), app,
              QStringLiteral("BM_NewEntryAndTabSwitch"), us, QString(), none));
    add({{QStringLiteral("RefreshClocks, CPU"), app, QStringLiteral("BM_RefreshClocks:cpu_time"),
          us, 1, Kind::Cpu, QString(), none},
         {QStringLiteral("RefreshClocks, wall"), app, QStringLiteral("BM_RefreshClocks:real_time"),
          us, 1, Kind::Wall, QString(), none}});
    add({{QStringLiteral("resident memory before start-up (Qt loaded)"), app,
          QStringLiteral("BM_Memory:rss_before_start_MiB"), QStringLiteral("MiB"), 1, Kind::Other,
          QString(), none},
         {QStringLiteral("resident memory after start-up"), app,
          QStringLiteral("BM_Memory:rss_start_MiB"), QStringLiteral("MiB"), 1, Kind::Other,
          memoryGoal, within(10)},
         {QStringLiteral("resident memory after 10k searches + 10k moves"), app,
          QStringLiteral("BM_Memory:rss_10k_MiB"), QStringLiteral("MiB"), 1, Kind::Other,
          memoryGoal, within(10)},
         {QStringLiteral("resident memory after 20k searches + 20k moves"), app,
          QStringLiteral("BM_Memory:rss_20k_MiB"), QStringLiteral("MiB"), 1, Kind::Other,
          memoryGoal, within(10)},
         // A few pages of caches filling up are not a leak; a leak grows with every search.
         {QStringLiteral("growth over the second 10k + 10k"), app,
          QStringLiteral("BM_Memory:growth_2nd_10k_KiB"), QStringLiteral("KiB"), 1, Kind::Other,
          QStringLiteral("<= 64 at both"),
          [](double small, double large) { return std::max(small, large) <= 64; }},
         {QStringLiteral("idle program over 10 s"), app, QStringLiteral("BM_IdleCpu:idle_cpu_pct"),
          QStringLiteral("% of a core"), 1, Kind::Other, QStringLiteral("< 1 at both"),
          [](double small, double large) { return small < 1 && large < 1; }}});

    const auto print = [](const QString& text) { std::printf("%s\n", text.toUtf8().constData()); };
    print(QStringLiteral("Each cell: the best value (the median of all runs). Ratios and "
                         "judgements use the best values."));
    print(QString());
    print(QStringLiteral("| figure | unit | 1k | 1M | 1M / 1k | 1k / floor | 1M / floor | "
                         "target | met |"));
    print(QStringLiteral("|---|---|---:|---:|---:|---:|---:|---|---|"));
    for (const Line& l : lines) {
        const double small = figure(l.program, l.key, kSmall) * l.scale;
        const double large = figure(l.program, l.key, kLarge) * l.scale;
        QString toFloorSmall;
        QString toFloorLarge;
        if (l.kind != Kind::Other) {
            toFloorSmall = ratio(small / l.scale, floorOf(l.program, l.kind, kSmall));
            toFloorLarge = ratio(large / l.scale, floorOf(l.program, l.kind, kLarge));
        }
        const QString verdict = !l.met ? QString()
                                : std::isnan(small) || std::isnan(large)
                                    ? QStringLiteral("not measured")
                                : l.met(small, large) ? QStringLiteral("yes")
                                                      : QStringLiteral("**no**");
        print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |")
                  .arg(l.what, l.unit, shown(l.program, l.key, kSmall, l.scale),
                       shown(l.program, l.key, kLarge, l.scale), ratio(large, small), toFloorSmall,
                       toFloorLarge, l.goal, verdict));
    }

    // The other programs' figures as measured (bench_app's are all above).
    print(QString());
    print(QStringLiteral("| program | benchmark | 1k wall (us) | 1M wall (us) | 1M / 1k | "
                         "1k / floor | 1M / floor | 1k CPU (us) | 1M CPU (us) |"));
    print(QStringLiteral("|---|---|---:|---:|---:|---:|---:|---:|---:|"));
    for (const auto& [program, keys] : figures) {
        if (program == app)
            continue;
        for (const auto& entry : keys) {
            const QString& key = entry.first;
            if (!key.endsWith(QLatin1String(":real_time")))
                continue;
            const QString family = key.section(QLatin1Char(':'), 0, 0);
            const double small = figure(program, key, kSmall);
            const double large = figure(program, key, kLarge);
            const QString cpu = family + QStringLiteral(":cpu_time");
            print(QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |")
                      .arg(program, family, shown(program, key, kSmall, 1),
                           shown(program, key, kLarge, 1), ratio(large, small),
                           ratio(small, floorOf(program, Kind::Wall, kSmall)),
                           ratio(large, floorOf(program, Kind::Wall, kLarge)),
                           shown(program, cpu, kSmall, 1), shown(program, cpu, kLarge, 1)));
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("bench-results");
    if (argc > 2 || !QFileInfo(dir).isDir()) {
        std::fprintf(stderr, "Usage: bench_app_report [DIR]   (DIR holds the JSON results)\n");
        return 2;
    }
    return report(dir);
}
