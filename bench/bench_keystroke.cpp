// What one keystroke in the View tab's search box costs, end to end: the key event through the
// key filter into the box, the nick search, the write-back and selection, the message pump, the
// offset and the picture rule (contacts without pictures), and the data-bound boxes following
// the table. Measured on tables of 1,000 and 1,000,000 contacts; it should stay under 1 ms and
// barely depend on the table's size.

#include "app/window_set.h"
#include "bench/bench_support.h"
#include "main_window/tform1.h"
#include "store/schema.h"
#include "widgets/message_box.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace {

using palvane::bench::generatedNick;

// A table of so many contacts in a working directory of its own (with its own configuration
// directory). Tables are made once per size: a million contacts take seconds to write.
class TableDir {
public:
    explicit TableDir(std::int64_t contacts) {
        QDir(dir_.path()).mkpath(QStringLiteral("config"));
        const QString db = dir_.path() + QStringLiteral("/data/palvane.db");
        palvane::createContactTable(db);
        palvane::insertContacts(db, contacts, [](qint64 i, palvane::ContactRow& row) {
            row.nick = generatedNick(i);
            row.name = QStringLiteral("Contact %1").arg(i);
            row.spin = int(i % 49) - 24;
            row.timeDisplacement = *row.spin / 24.0;
        });
    }
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// The program's window set running on one of the tables, as the program starts it.
class Session {
public:
    explicit Session(const TableDir& table) {
        oldCwd_ = QDir::currentPath();
        qputenv("XDG_CONFIG_HOME", (table.path() + QStringLiteral("/config")).toLocal8Bit());
        QDir::setCurrent(table.path());
        boxes_ = &palvane::message_box_seam::recordAll();
        palvane::createWindowSet();
        Form1->show();
        QApplication::processEvents();
    }
    ~Session() {
        palvane::destroyWindowSet();
        palvane::message_box_seam::uninstall();
        QDir::setCurrent(oldCwd_);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Message boxes shown since the window set started (none is expected).
    std::size_t boxesShown() const { return boxes_->size(); }

private:
    QString oldCwd_;
    const std::vector<palvane::ShownBox>* boxes_ = nullptr;
};

std::map<std::int64_t, std::unique_ptr<TableDir>>& tables() {
    static std::map<std::int64_t, std::unique_ptr<TableDir>> t;
    return t;
}

std::unique_ptr<Session>& session() {
    static std::unique_ptr<Session> s;
    return s;
}

// Starts the window set on the table of this size; only one window set exists at a time.
Session& openSession(std::int64_t contacts) {
    static std::int64_t running = -1;
    if (running != contacts || !session()) {
        auto& table = tables()[contacts];
        if (!table)
            table = std::make_unique<TableDir>(contacts);
        session().reset();
        session() = std::make_unique<Session>(*table);
        running = contacts;
    }
    return *session();
}

void typeLetter(QLineEdit* box, char letter) {
    const auto key = Qt::Key(Qt::Key_A + (letter - 'a'));
    const QString text(QChar::fromLatin1(letter));
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
}

bool reportFailures(benchmark::State& state, const Session& session) {
    if (session.boxesShown() != 0) {
        state.SkipWithError("a message box was shown");
        return false;
    }
    return true;
}

// The box's whole text selected, then a letter: each keystroke is a fresh one-letter search
// that lands somewhere else in the table.
void BM_KeystrokeNewSearch(benchmark::State& state) {
    const Session& running = openSession(state.range(0));
    QLineEdit* box = Form1->Edit1;
    Form1->SearchSuppressed = false;
    int i = 0;
    for (auto _ : state) {
        box->selectAll();
        typeLetter(box, char('a' + (i * 7) % 26));
        ++i;
    }
    benchmark::DoNotOptimize(box->text());
    if (reportFailures(state, running))
        state.SetLabel(box->text().toStdString());
}

// Typing a nick letter by letter: each letter replaces the completed tail and narrows the
// search; after six letters the box is selected and a new nick begins.
void BM_KeystrokeNarrowing(benchmark::State& state) {
    const Session& running = openSession(state.range(0));
    QLineEdit* box = Form1->Edit1;
    Form1->SearchSuppressed = false;
    std::int64_t n = 0;
    QString target;
    int position = 0;
    for (auto _ : state) {
        if (position >= target.size() || position == 6) {
            target = generatedNick(n++ * 7919 % state.range(0));
            position = 0;
            box->selectAll();
        }
        typeLetter(box, char(target.at(position++).unicode()));
    }
    benchmark::DoNotOptimize(box->text());
    if (reportFailures(state, running))
        state.SetLabel(box->text().toStdString());
}

BENCHMARK(BM_KeystrokeNewSearch)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_KeystrokeNarrowing)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // Headless: the windows are real but drawn off screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    session().reset();
    tables().clear();
    return 0;
}
