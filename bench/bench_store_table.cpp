// Contact table at 1,000 and 1,000,000 contacts: nick search, moves, writes, counts, and the
// floor every cursor query is measured against, one raw indexed LIMIT 1 lookup.
//
// Target: search and moves cost about the same at 1M as at 1k (within 2x) and stay within 3x
// of the raw lookup. Writes are durable commits and cost what the disk's flush costs.

#include "bench/bench_support.h"
#include "store/schema.h"
#include "store/table.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <array>
#include <map>
#include <memory>
#include <vector>

namespace {

using palvane::bench::kFloorQuery;

const palvane::InsertValues kNewEntry = {
    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 0, 0, std::nullopt};

QString generatedNick(qint64 i) {
    static const std::array<const char*, 16> syllables = {"ka", "lo", "mi", "ra", "zu", "ne",
                                                          "to", "vi", "sa", "do", "re", "xa",
                                                          "be", "qu", "fi", "yo"};
    quint64 h = static_cast<quint64>(i) + 0x9e3779b97f4a7c15ULL;
    h = (h ^ (h >> 30)) * 0xbf58476d1ce4e5b9ULL;
    h = (h ^ (h >> 27)) * 0x94d049bb133111ebULL;
    h ^= h >> 31;
    QString nick;
    for (int s = 0; s < 3; ++s)
        nick += QLatin1String(syllables[(h >> (4 * s)) & 15]);
    return nick + QString::number((h >> 12) % 1000);
}

// The tables are made once per run, in one temporary directory, with the store's bulk path.
QString tableWith(qint64 contacts) {
    static QTemporaryDir dir;
    static std::map<qint64, QString> made;
    auto found = made.find(contacts);
    if (found != made.end())
        return found->second;
    const QString sub = QStringLiteral("t%1").arg(contacts);
    QDir(dir.path()).mkpath(sub);
    const QString path = dir.path() + QLatin1Char('/') + sub + QStringLiteral("/palvane.db");
    palvane::createContactTable(path);
    palvane::insertContacts(path, contacts, [](qint64 i, palvane::ContactRow& row) {
        const int hours = static_cast<int>(i % 25) - 11;
        row.nick = generatedNick(i);
        row.name = QStringLiteral("Contact %1").arg(i + 1);
        row.location = QStringLiteral("Somewhere");
        row.email = row.nick + QStringLiteral("@example.org");
        row.notes = QStringLiteral("Generated contact.\nSecond line.");
        row.spin = hours;
        row.timeDisplacement = hours / 24.0;
    });
    made[contacts] = path;
    return path;
}

std::unique_ptr<palvane::Table> openTable(qint64 contacts, bool nickOrder) {
    const QString path = tableWith(contacts);
    auto table = std::make_unique<palvane::Table>();
    const QFileInfo info(path);
    table->setDatabaseName(info.absolutePath());
    table->setTableName(info.fileName());
    table->open();
    if (nickOrder)
        table->setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    return table;
}

// Search keys spread over the whole table: the first letters of nicks that exist, and whole
// nicks of contacts past the end (so they land between existing nicks).
std::vector<QString> searchKeys() {
    std::vector<QString> keys;
    for (qint64 i = 0; i < 1024; ++i)
        keys.push_back(i % 2 ? generatedNick(i * 7919).left(5) : generatedNick(5'000'000 + i));
    return keys;
}

void BM_SearchNearest(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    const std::vector<QString> keys = searchKeys();
    size_t k = 0;
    for (auto _ : state) {
        table->setKey();
        table->fieldByName(QStringLiteral("IRC NICK")).setAsString(keys[k++ & 1023]);
        table->gotoNearest();
        benchmark::DoNotOptimize(table->currentRowId());
    }
}

void moveBenchmark(benchmark::State& state, bool nickOrder, bool forwards) {
    auto table = openTable(state.range(0), nickOrder);
    // Start from a spread of places so that the moves do not all hit the same pages.
    table->setIndexName(QString::fromLatin1(palvane::kNickIndexName));
    table->setKey();
    table->fieldByName(QStringLiteral("IRC NICK")).setAsString(QStringLiteral("m"));
    table->gotoNearest();
    if (!nickOrder)
        table->setIndexName(QString());
    for (auto _ : state) {
        const qint64 before = table->currentRowId();
        forwards ? table->next() : table->prior();
        if (table->currentRowId() == before) // at an end: start again at the other one
            forwards ? table->first() : table->last();
    }
}

void BM_NextNickOrder(benchmark::State& state) {
    moveBenchmark(state, true, true);
}
void BM_PriorNickOrder(benchmark::State& state) {
    moveBenchmark(state, true, false);
}
void BM_NextNaturalOrder(benchmark::State& state) {
    moveBenchmark(state, false, true);
}

void BM_FieldRead(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(table->fieldByName(QStringLiteral("IRC NICK")).asString());
}

void BM_Insert(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    for (auto _ : state) {
        table->insertRecord(kNewEntry);
        state.PauseTiming();
        table->deleteRecord(); // keep the table at its size
        state.ResumeTiming();
    }
}

void BM_PostAfterEdit(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    table->first();
    table->next();
    int round = 0;
    for (auto _ : state) {
        table->edit();
        table->fieldByName(QStringLiteral("IRC Name"))
            .setAsString(round++ % 2 ? QStringLiteral("One") : QStringLiteral("Two"));
        table->post();
    }
}

void BM_Delete(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    for (auto _ : state) {
        state.PauseTiming();
        table->insertRecord(kNewEntry);
        state.ResumeTiming();
        table->deleteRecord();
    }
}

void BM_IsEmpty(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(table->isEmpty());
}

void BM_RecordCount(benchmark::State& state) {
    auto table = openTable(state.range(0), true);
    for (auto _ : state)
        benchmark::DoNotOptimize(table->recordCount());
}

// The floor: one prepared indexed LIMIT 1 lookup through the C API, reading the record's
// columns, with nothing of ours around it.
void BM_RawIndexedLookup(benchmark::State& state) {
    const QString path = tableWith(state.range(0));
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kFloorQuery, -1, &stmt, nullptr);
    std::vector<QByteArray> keys;
    for (const QString& key : searchKeys())
        keys.push_back(key.toUtf8());
    size_t k = 0;
    for (auto _ : state) {
        const QByteArray& key = keys[k++ & 1023];
        sqlite3_bind_text(stmt, 1, key.constData(), static_cast<int>(key.size()), SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < 9; ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
}

} // namespace

BENCHMARK(BM_RawIndexedLookup)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SearchNearest)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextNickOrder)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PriorNickOrder)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_NextNaturalOrder)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FieldRead)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IsEmpty)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RecordCount)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Insert)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PostAfterEdit)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Delete)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
