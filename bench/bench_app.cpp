// The whole program on one table size per process: start-up to the first paint, a keystroke
// in the search box, Next and Previous Record, Update Entry, New Entry with the tab switch that
// purges it, one clock refresh, resident memory over twenty thousand searches and moves, the
// processor time of the idle program, and beside them the floor: one raw prepared indexed
// LIMIT 1 lookup on the same file.
//
//   bench_app [--size N] [--table DIR] [benchmark flags] measure (N = 1000 unless given;
//                                                        DIR holds data/palvane.db)
//   bench_app --make-table DIR --size N                  write a table of N contacts and stop
//
// bench_app_report puts the results of both sizes side by side (scripts/bench runs it all).
//
// One size per process keeps the memory figures clean; without --table the table is written
// by a child process, so that nothing of the writing stays in this process's memory.
//
// Targets: keystroke < 1 ms at 1M and <= 2x the 1k figure; Next/Previous < 200 us at 1M and
// <= 2x; start-up < 300 ms at 1M and <= 1.2x; resident memory at 1M within 10 MiB of 1k and no
// growth over a second round of searches and moves; the idle program < 1% of one core.

#include "app/window_set.h"
#include "bench/bench_support.h"
#include "main_window/tform1.h"
#include "store/schema.h"
#include "store/table.h"
#include "widgets/cached_style.h"
#include "widgets/message_box.h"

#include <QApplication>
#include <QProxyStyle>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using palvane::bench::median;

using palvane::bench::generatedNick;
using palvane::bench::kFloorQuery;

// ---- The table -------------------------------------------------------------------------------

// Every text field filled, notes of two lines that differ from record to record, so that each
// move rewrites all four data-bound boxes. No pictures: loading one is the same work at any
// table size and would only add disk noise.
void generatedContact(qint64 i, palvane::ContactRow& row) {
    static const std::array<const char*, 8> places = {"Oslo",  "Lagos", "Quito", "Perth",
                                                      "Hanoi", "Tunis", "Lyon",  "Austin"};
    const int hours = int(i % 25) - 11;
    row.nick = generatedNick(i);
    row.name = QStringLiteral("Contact %1").arg(i + 1);
    row.location = QLatin1String(places[std::size_t(i) % places.size()]);
    row.email = row.nick + QStringLiteral("@example.org");
    row.notes = QStringLiteral("Generated contact %1.\nMet on #channel%2.").arg(i + 1).arg(i % 97);
    row.spin = hours;
    row.timeDisplacement = hours / 24.0;
}

QString databasePath(const QString& dir) {
    return dir + QStringLiteral("/data/palvane.db");
}

void makeTable(const QString& dir, qint64 size) {
    QDir().mkpath(dir + QStringLiteral("/config"));
    palvane::createContactTable(databasePath(dir));
    palvane::insertContacts(databasePath(dir), size, generatedContact);
}

// Writes the table in a child process: its allocations never reach this one.
bool makeTableInChild(const QString& dir, qint64 size) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        int status = 0;
        try {
            makeTable(dir, size);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_app: cannot make the table: %s\n", e.what());
            status = 1;
        }
        std::fflush(nullptr);
        _exit(status);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// ---- Measuring -------------------------------------------------------------------------------

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Resident memory of this process in KiB (VmRSS), or -1.
double residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    return -1;
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Times one iteration: wall time (what the user waits) and the processor time of this process
// (the program's own work; on a shared machine wall time also holds the time the scheduler
// gave to others).
struct Stopwatch {
    double cpuStart = cpuNow();
    Clock::time_point wallStart = Clock::now();
};

// Per-iteration times of a benchmark: the mean wall time goes to the framework as manual time;
// medians, the 99th percentile and the mean processor time become counters (a keystroke must
// be instant every time, not only on average).
class Samples {
public:
    // Ends the iteration timed by watch.
    void add(const Stopwatch& watch, benchmark::State& state) {
        const double wall = secondsSince(watch.wallStart);
        const double cpu = cpuNow() - watch.cpuStart;
        state.SetIterationTime(wall);
        wall_.push_back(wall);
        cpu_.push_back(cpu);
    }
    // Files the iteration that other timed last here as well (a breakdown by kind).
    void addLastOf(const Samples& other) {
        wall_.push_back(other.wall_.back());
        cpu_.push_back(other.cpu_.back());
    }
    std::size_t count() const { return wall_.size(); }

    void report(benchmark::State& state, const std::string& prefix = {}) const {
        if (wall_.empty())
            return;
        std::vector<double> wall = wall_;
        std::sort(wall.begin(), wall.end());
        const double p99 = wall[std::min(wall.size() - 1, std::size_t(0.99 * double(wall.size())))];
        double cpuSum = 0;
        for (double c : cpu_)
            cpuSum += c;
        state.counters[prefix + "wall_p50_us"] = median(wall_) * 1e6;
        state.counters[prefix + "cpu_p50_us"] = median(cpu_) * 1e6;
        if (!prefix.empty())
            return;
        state.counters["wall_p99_us"] = p99 * 1e6;
        state.counters["cpu_mean_us"] = cpuSum / double(cpu_.size()) * 1e6;
    }

private:
    std::vector<double> wall_;
    std::vector<double> cpu_;
};

// ---- The running program ---------------------------------------------------------------------

qint64 gSize = 0;
const std::vector<palvane::ShownBox>* gBoxes = nullptr;
int gStartUps = 0; // window sets created in this process
double gResidentBeforeFirstStart = -1;
double gResidentAfterFirstStart = -1;

// Notes the first paint of the main window: start-up ends when the user sees the window.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QObject* watched) { watched->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

bool running() {
    return Form1 != nullptr;
}

// Starts the window set as the program does; true once the main window has been painted.
bool startProgram() {
    palvane::createWindowSet();
    ++gStartUps;
    PaintWatch watch(Form1);
    Form1->show();
    // The paint event arrives inside the update request that paints the whole window; when
    // processEvents returns after it, every child has been painted as well. Timer1 (250 ms)
    // wakes the loop up at the latest, so this cannot wait for ever.
    const auto start = Clock::now();
    while (!watch.painted && secondsSince(start) < 10)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return watch.painted;
}

void stopProgram() {
    if (!running())
        return;
    palvane::destroyWindowSet();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Runs the event loop for the real timers until the status banner has finished.
void waitForBanner() {
    if (!Form1->Timer2->isActive())
        return;
    QEventLoop loop;
    QTimer poll;
    const auto start = Clock::now();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!Form1->Timer2->isActive() || secondsSince(start) > 30)
            loop.quit();
    });
    poll.start(20);
    loop.exec();
}

// The program running on the View tab, its banner finished (its repaints every 50 ms would
// land in the figures).
bool ensureRunning(benchmark::State& state) {
    if (!running() && !startProgram()) {
        state.SkipWithError("the main window was never painted");
        return false;
    }
    waitForBanner();
    if (Form1->PageControl1->currentWidget() != Form1->TabSheet1) {
        Form1->PageControl1->setCurrentWidget(Form1->TabSheet1);
        QCoreApplication::processEvents();
    }
    return true;
}

bool noBoxShown(benchmark::State& state, std::size_t boxesBefore) {
    if (gBoxes->size() == boxesBefore)
        return true;
    const std::string text = gBoxes->back().text.toStdString();
    state.SkipWithError(("a message box was shown: " + text).c_str());
    return false;
}

// ---- Driving the windows ---------------------------------------------------------------------

void sendKey(QWidget* box, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
}

void typeLetter(QWidget* box, char16_t letter) {
    sendKey(box, Qt::Key(Qt::Key_A + (letter - u'a')), QString(QChar(letter)));
}

// Types the first letters of random contacts' nicks into the search box, as a user looking
// for someone: up to six letters, then the box is selected and the next nick begins.
class Typist {
public:
    bool startsNick() const { return position_ >= std::min<qsizetype>(6, target_.size()); }
    void typeOne() {
        if (startsNick()) {
            target_ = generatedNick(std::int64_t(random_() % std::uint64_t(gSize)));
            position_ = 0;
            Form1->Edit1->selectAll();
        }
        typeLetter(Form1->Edit1, target_.at(position_++).unicode());
    }

private:
    std::mt19937_64 random_{20240601};
    QString target_;
    qsizetype position_ = 0;
};

// Nicks at evenly spread places in the middle of nick order (an eighth of the table away from
// either end), from one pass over the nick index: runs of moves from them never reach an end.
const std::vector<QString>& middleNicks() {
    static std::vector<QString> nicks;
    if (!nicks.empty())
        return nicks;
    sqlite3* db = nullptr;
    sqlite3_open_v2(databasePath(QDir::currentPath()).toUtf8().constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT \"IRC Nick\" FROM contacts ORDER BY \"IRC Nick\" COLLATE NOCASE, "
                       "rowid",
                       -1, &stmt, nullptr);
    constexpr int kPlaces = 64;
    const qint64 first = gSize / 8;
    const qint64 step = std::max<qint64>(1, (gSize - 2 * first) / kPlaces);
    qint64 rank = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW && int(nicks.size()) < kPlaces) {
        if (rank >= first && (rank - first) % step == 0)
            nicks.push_back(
                QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0))));
        ++rank;
    }
    sqlite3_finalize(stmt);
    sqlite3_close_v2(db);
    return nicks;
}

// A run of moves stays this far from the places above: never near an end at either size.
int runLength() {
    return int(std::clamp<qint64>(gSize / 16, 1, 64));
}

void searchFor(const QString& nick) {
    Form1->Edit1->setText(nick); // a change of the box: the program's nick search runs
    QCoreApplication::processEvents();
}

// One click on a button, and the repaint of what it changed.
void click(QPushButton* button) {
    button->click();
    QCoreApplication::processEvents();
}

void switchTab(QWidget* page) {
    Form1->PageControl1->setCurrentWidget(page); // as a click on the tab: its handler runs
    QCoreApplication::processEvents();
}

// ---- Benchmarks ------------------------------------------------------------------------------

// The first start-up of the process: fonts, styles and the table file all met for the first
// time. Leaves the program running; the memory benchmark goes on from here.
void BM_ColdStartUp(benchmark::State& state) {
    if (gStartUps > 0) {
        state.SkipWithError("not the first start-up of this process");
        return;
    }
    const std::size_t boxes = gBoxes->size();
    Samples samples;
    for (auto _ : state) {
        gResidentBeforeFirstStart = residentKiB();
        const Stopwatch watch;
        const bool painted = startProgram();
        samples.add(watch, state);
        gResidentAfterFirstStart = residentKiB();
        if (!painted) {
            state.SkipWithError("the main window was never painted");
            break;
        }
    }
    if (!state.error_occurred() && noBoxShown(state, boxes))
        samples.report(state);
}

// Resident memory after start-up and after two rounds of 10,000 keystroke searches and 10,000
// moves; the second round shows growth once the caches have filled.
void BM_Memory(benchmark::State& state) {
    if (!running()) {
        gResidentBeforeFirstStart = residentKiB();
        if (!startProgram()) {
            state.SkipWithError("the main window was never painted");
            return;
        }
        gResidentAfterFirstStart = residentKiB();
    }
    const std::size_t boxes = gBoxes->size();
    Typist typist;
    const auto round = [&] {
        for (int block = 0; block < 100; ++block) {
            for (int k = 0; k < 100; ++k) {
                typist.typeOne();
                QCoreApplication::processEvents();
            }
            for (int k = 0; k < 50; ++k)
                click(Form1->Button3);
            for (int k = 0; k < 50; ++k)
                click(Form1->Button4);
        }
    };
    double afterFirst = 0;
    double afterSecond = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        round();
        afterFirst = residentKiB();
        round();
        afterSecond = residentKiB();
        state.SetIterationTime(secondsSince(start));
    }
    if (!noBoxShown(state, boxes))
        return;
    const double mib = 1024.0;
    state.counters["rss_before_start_MiB"] = gResidentBeforeFirstStart / mib;
    state.counters["rss_start_MiB"] = gResidentAfterFirstStart / mib;
    state.counters["rss_10k_MiB"] = afterFirst / mib;
    state.counters["rss_20k_MiB"] = afterSecond / mib;
    state.counters["growth_2nd_10k_KiB"] = afterSecond - afterFirst;
}

// Processor time of the idle program over 10 s of its event loop with the real timers (the
// clocks every 250 ms), after the banner has finished; in per cent of one core.
void BM_IdleCpu(benchmark::State& state) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    int ticks = 0;
    const QMetaObject::Connection counting =
        QObject::connect(Form1->Timer1, &QTimer::timeout, [&ticks] { ++ticks; });
    double percent = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);
        const double cpuBefore = processCpuSeconds();
        const auto start = Clock::now();
        loop.exec();
        const double wall = secondsSince(start);
        percent = 100.0 * (processCpuSeconds() - cpuBefore) / wall;
        state.SetIterationTime(wall);
    }
    QObject::disconnect(counting);
    if (!noBoxShown(state, boxes))
        return;
    state.counters["idle_cpu_pct"] = percent;
    state.counters["clock_ticks"] = ticks;
}

// One key in the search box, from the key event to the repaint of everything it changed.
// Keystrokes come in three kinds that do different work: the first letter of a nick (the box
// selected, so a new search that always lands elsewhere), a further letter that moves the
// table to another contact, and a further letter that stays on the contact already shown
// (nothing but the search box changes). In 1,000 contacts two letters mostly find the contact
// and later ones stay; in a million it takes four or five. The mix differs with the size, so
// each kind is reported by itself: like is compared with like.
void BM_Keystroke(benchmark::State& state) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    Typist typist;
    Samples all;
    Samples first;
    Samples moved;
    Samples stayed;
    for (auto _ : state) {
        const qint64 before = Form1->Table1->currentRowId();
        const bool startsNick = typist.startsNick();
        const Stopwatch watch;
        typist.typeOne();
        QCoreApplication::processEvents();
        all.add(watch, state);
        Samples& kind = startsNick                                ? first
                        : Form1->Table1->currentRowId() != before ? moved
                                                                  : stayed;
        kind.addLastOf(all);
    }
    if (!noBoxShown(state, boxes))
        return;
    all.report(state);
    first.report(state, "first_");
    moved.report(state, "moved_");
    stayed.report(state, "stayed_");
    const double keys = double(std::max<std::size_t>(1, all.count()));
    state.counters["moved_pct"] = 100.0 * double(first.count() + moved.count()) / keys;
}

// Next or Previous Record on the View tab in nick order: runs of clicks from spread places in
// the middle of the table (each run begins with an untimed search). With repaint false the
// main window's updates are off: what the program does without Qt's painting.
void moveBenchmark(benchmark::State& state, QPushButton* TForm1::*button, bool repaint) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    const std::vector<QString>& places = middleNicks();
    const int run = runLength();
    Samples samples;
    std::size_t place = 0;
    int left = 0;
    Form1->setUpdatesEnabled(repaint);
    for (auto _ : state) {
        if (left == 0) {
            searchFor(places[place++ % places.size()]);
            left = run;
        }
        const Stopwatch watch;
        click(Form1->*button);
        samples.add(watch, state);
        --left;
    }
    Form1->setUpdatesEnabled(true);
    if (noBoxShown(state, boxes))
        samples.report(state);
}

void BM_NextRecord(benchmark::State& state) {
    moveBenchmark(state, &TForm1::Button3, true);
}

void BM_PreviousRecord(benchmark::State& state) {
    moveBenchmark(state, &TForm1::Button4, true);
}

void BM_NextRecordUnpainted(benchmark::State& state) {
    moveBenchmark(state, &TForm1::Button3, false);
}

// Next Record with the windows drawn in Qt's classic "Windows" style instead of the default
// (Fusion when headless): its sunken bevels are plain lines where Fusion strokes rounded,
// antialiased frames around every box.
void BM_NextRecordWindowsStyle(benchmark::State& state) {
    const QStyle* style = QApplication::style();
    const auto* proxy = qobject_cast<const QProxyStyle*>(style);
    const QString original = proxy ? proxy->baseStyle()->name() : style->name();
    if (!QApplication::setStyle(QStringLiteral("Windows"))) {
        state.SkipWithError("the Windows style is not available");
        return;
    }
    QCoreApplication::processEvents();
    moveBenchmark(state, &TForm1::Button3, true);
    QApplication::setStyle(original);
    palvane::useCachedStyle(); // as the window set had it
    QCoreApplication::processEvents();
}

// Update Entry on the Edit/Add tab after a change of the nick box (a letter added, then taken
// away again): the record is stored with a durable commit and takes its new place.
void BM_UpdateEntry(benchmark::State& state) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    searchFor(middleNicks()[middleNicks().size() / 2]);
    switchTab(Form1->TabSheet2);
    Samples samples;
    bool added = false;
    for (auto _ : state) {
        // The user's edit, untimed: it also enables Update Entry.
        if (added)
            sendKey(Form1->Edit2, Qt::Key_Backspace, QStringLiteral("\b"));
        else
            typeLetter(Form1->Edit2, u'q');
        added = !added;
        QCoreApplication::processEvents();
        const Stopwatch watch;
        click(Form1->Button2);
        samples.add(watch, state);
    }
    switchTab(Form1->TabSheet1);
    if (noBoxShown(state, boxes))
        samples.report(state);
}

// New Entry (a blank record stored at once) and the switch to the View tab, whose handler
// deletes the entry again because nobody filled it in: two durable commits.
void BM_NewEntryAndTabSwitch(benchmark::State& state) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    switchTab(Form1->TabSheet2);
    Samples samples;
    for (auto _ : state) {
        const Stopwatch watch;
        click(Form1->Button1);
        switchTab(Form1->TabSheet1);
        samples.add(watch, state);
        switchTab(Form1->TabSheet2); // back for the next one, untimed
    }
    switchTab(Form1->TabSheet1);
    if (noBoxShown(state, boxes))
        samples.report(state);
}

// One refresh of the six clock labels, as Timer1 runs it four times a second.
void BM_RefreshClocks(benchmark::State& state) {
    if (!ensureRunning(state))
        return;
    const std::size_t boxes = gBoxes->size();
    for (auto _ : state)
        Form1->RefreshClocks();
    noBoxShown(state, boxes);
}

// Start-up after the first: createWindowSet() until the main window has been painted once,
// then the window set is destroyed again (untimed).
void BM_StartUp(benchmark::State& state) {
    stopProgram();
    const std::size_t boxes = gBoxes->size();
    Samples samples;
    for (auto _ : state) {
        const Stopwatch watch;
        const bool painted = startProgram();
        samples.add(watch, state);
        stopProgram();
        if (!painted) {
            state.SkipWithError("the main window was never painted");
            break;
        }
    }
    if (!state.error_occurred() && noBoxShown(state, boxes))
        samples.report(state);
}

// The floor: one prepared indexed LIMIT 1 lookup through the C API on the same file, reading
// the record's columns, with nothing of ours around it. Keys are the search keys a typist
// makes: prefixes of one to six letters of random contacts' nicks. With oneTransaction the
// lookups run inside one read transaction: without the file lock taken and dropped (and the
// check for a journal) around every statement, as a statement on its own does in
// rollback-journal mode.
void rawLookups(benchmark::State& state, bool oneTransaction) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(databasePath(QDir::currentPath()).toUtf8().constData(), &db,
                    SQLITE_OPEN_READONLY, nullptr);
    if (oneTransaction)
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, kFloorQuery, -1, &stmt, nullptr);
    std::mt19937_64 random(20240601);
    std::vector<QByteArray> keys;
    for (int i = 0; i < 4096; ++i) {
        const QString nick = generatedNick(std::int64_t(random() % std::uint64_t(gSize)));
        keys.push_back(nick.left(1 + i % 6).toUtf8());
    }
    std::size_t k = 0;
    for (auto _ : state) {
        const QByteArray& key = keys[k++ & 4095];
        sqlite3_bind_text(stmt, 1, key.constData(), int(key.size()), SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW)
            for (int c = 0; c < 9; ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(stmt, c));
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (oneTransaction)
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close_v2(db);
}

void BM_RawIndexedLookup(benchmark::State& state) {
    rawLookups(state, false);
}

void BM_RawIndexedLookupOneTransaction(benchmark::State& state) {
    rawLookups(state, true);
}

void registerBenchmarks(qint64 size) {
    using benchmark::RegisterBenchmark;
    const auto us = benchmark::kMicrosecond;
    const auto ms = benchmark::kMillisecond;
    // In this order: the start-up and the memory figures come from a process that has done
    // nothing else before.
    RegisterBenchmark("BM_ColdStartUp", BM_ColdStartUp)
        ->Arg(size)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(ms);
    RegisterBenchmark("BM_Memory", BM_Memory)->Arg(size)->Iterations(1)->UseManualTime()->Unit(ms);
    RegisterBenchmark("BM_IdleCpu", BM_IdleCpu)
        ->Arg(size)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(ms);
    RegisterBenchmark("BM_Keystroke", BM_Keystroke)->Arg(size)->UseManualTime()->Unit(us);
    RegisterBenchmark("BM_NextRecord", BM_NextRecord)->Arg(size)->UseManualTime()->Unit(us);
    RegisterBenchmark("BM_PreviousRecord", BM_PreviousRecord)->Arg(size)->UseManualTime()->Unit(us);
    RegisterBenchmark("BM_NextRecordWindowsStyle", BM_NextRecordWindowsStyle)
        ->Arg(size)
        ->UseManualTime()
        ->Unit(us);
    RegisterBenchmark("BM_NextRecordUnpainted", BM_NextRecordUnpainted)
        ->Arg(size)
        ->UseManualTime()
        ->Unit(us);
    RegisterBenchmark("BM_RefreshClocks", BM_RefreshClocks)->Arg(size)->Unit(us);
    // Durable commits: each may wait for the disk, and their medians settle within a hundred.
    RegisterBenchmark("BM_UpdateEntry", BM_UpdateEntry)
        ->Arg(size)
        ->Iterations(100)
        ->UseManualTime()
        ->Unit(us);
    RegisterBenchmark("BM_NewEntryAndTabSwitch", BM_NewEntryAndTabSwitch)
        ->Arg(size)
        ->Iterations(60)
        ->UseManualTime()
        ->Unit(us);
    RegisterBenchmark("BM_StartUp", BM_StartUp)
        ->Arg(size)
        ->Iterations(30)
        ->UseManualTime()
        ->Unit(ms);
    RegisterBenchmark("BM_RawIndexedLookup", BM_RawIndexedLookup)->Arg(size)->Unit(us);
    RegisterBenchmark("BM_RawIndexedLookupOneTransaction", BM_RawIndexedLookupOneTransaction)
        ->Arg(size)
        ->Unit(us);
}

// ---- Entry -----------------------------------------------------------------------------------

// Takes "--name value" or "--name=value" out of the arguments.
std::optional<QString> takeOption(int& argc, char** argv, const char* name) {
    const std::string flag = name;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        std::optional<QString> value;
        int used = 0;
        if (arg == flag && i + 1 < argc) {
            value = QString::fromLocal8Bit(argv[i + 1]);
            used = 2;
        } else if (arg.rfind(flag + "=", 0) == 0) {
            value = QString::fromLocal8Bit(arg.substr(flag.size() + 1).c_str());
            used = 1;
        }
        if (used) {
            for (int j = i; j + used < argc; ++j)
                argv[j] = argv[j + used];
            argc -= used;
            argv[argc] = nullptr;
            return value;
        }
    }
    return std::nullopt;
}

int usage() {
    std::fprintf(stderr, "Usage: bench_app [--size N] [--table DIR] [benchmark flags]\n"
                         "       bench_app --make-table DIR --size N\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<QString> sizeText = takeOption(argc, argv, "--size");
    const std::optional<QString> makeDir = takeOption(argc, argv, "--make-table");
    std::optional<QString> tableDir = takeOption(argc, argv, "--table");
    bool ok = true;
    gSize = sizeText ? sizeText->toLongLong(&ok) : 1000;
    if (!ok || gSize < 16)
        return usage();

    if (makeDir) {
        try {
            makeTable(QDir(*makeDir).absolutePath(), gSize);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_app: cannot make the table: %s\n", e.what());
            return 1;
        }
        return 0;
    }

    QTemporaryDir ownTable;
    if (!tableDir) {
        if (!ownTable.isValid() || !makeTableInChild(ownTable.path(), gSize))
            return 1;
        tableDir = ownTable.path();
    }
    const QString dir = QDir(*tableDir).absolutePath();
    if (!QFileInfo::exists(databasePath(dir))) {
        std::fprintf(stderr, "bench_app: no table %s\n", databasePath(dir).toLocal8Bit().data());
        return 1;
    }
    // The program's working directory and its own configuration directory.
    QDir().mkpath(dir + QStringLiteral("/config"));
    qputenv("XDG_CONFIG_HOME", (dir + QStringLiteral("/config")).toLocal8Bit());
    QDir::setCurrent(dir);

    // Headless: the windows are real but drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    gBoxes = &palvane::message_box_seam::recordAll();
    registerBenchmarks(gSize);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    stopProgram();
    palvane::message_box_seam::uninstall();
    return 0;
}
