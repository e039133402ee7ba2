// The typewriter animator: the step table for both users, the banner's timeline and cap, the
// surprise window's phrase cycle, and the surprise window's life cycle (state kept between
// showings, first tick 50 ms after opening).

#include "side_windows/tf_surprise.h"
#include "side_windows/typewriter.h"

#include "tests/support/sandbox.h"
#include "widgets/panel.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <vector>

using namespace palvane;

namespace {

struct Tick {
    QString caption;
    int interval;
    bool stop;
};

// Runs the banner until it asks for its timer to stop (or a safety limit).
std::vector<Tick> runBanner(const QString& text) {
    TypewriterState state = TypewriterState::bannerStart();
    std::vector<Tick> ticks;
    for (int i = 0; i < 10000; ++i) {
        const TypewriterStep step = bannerStep(state, text);
        ticks.push_back({step.caption, step.nextInterval, step.stopTimer});
        if (step.stopTimer)
            break;
    }
    return ticks;
}

// Checks one round over a text of n letters starting at ticks[from]: n typed letters, the
// hold, n erased letters. Returns the index of the tick after the round.
bool checkRound(const std::vector<Tick>& ticks, std::size_t from, const QString& shown,
                std::size_t& next) {
    const auto n = std::size_t(shown.size());
    if (ticks.size() < from + 2 * n + 1)
        return false;
    for (std::size_t k = 1; k <= n; ++k) {
        const Tick& t = ticks[from + k - 1];
        if (t.caption != shown.left(qsizetype(k)) || t.interval != kTypingInterval || t.stop)
            return false;
    }
    const Tick& hold = ticks[from + n];
    if (hold.caption != shown || hold.interval != kHoldInterval || hold.stop)
        return false;
    for (std::size_t k = 1; k <= n; ++k) {
        const Tick& t = ticks[from + n + k];
        if (t.caption != shown.left(qsizetype(n - k)) || t.interval != kErasingInterval || t.stop)
            return false;
    }
    next = from + 2 * n + 1;
    return true;
}

} // namespace

class TestTypewriter : public QObject {
    Q_OBJECT

private slots:
    void creditAndPhraseTexts();
    void bannerTimeline();
    void bannerCapAndShortTexts();
    void surpriseCycle();
    void surpriseWindowLayout();
    void surpriseWindowOpenAndClose();
    void surpriseWindowResumes();
    void surpriseWindowModalRun();
};

void TestTypewriter::creditAndPhraseTexts() {
    test::Sandbox sandbox;
    const QString credit = creditText();
    QCOMPARE(credit.size(), 63);
    QVERIFY(credit.contains(QStringLiteral("Palvane 32")));
    for (QChar c : credit)
        QVERIFY2(c.unicode() >= 0x20 && c.unicode() < 0x7f, "credit text must be printable ASCII");
    QCOMPARE(credit, credit.trimmed());

    const QStringList& table = phrases();
    QCOMPARE(table.size(), kPhraseCount);
    QCOMPARE(table[0], credit);
    const int letters[] = {52, 87, 44, 35, 76, 4, 53, 34, 51, 51, 49, 56, 51, 36, 91, 74, 34, 48};
    for (int i = 2; i <= kPhraseCount; ++i)
        QVERIFY2(table[i - 1].size() == letters[i - 2], qPrintable(QString::number(i)));
    // The texts keep their spelling exactly as written.
    QVERIFY(table[5].contains(QStringLiteral("To meow effectivly, one")));
    QCOMPARE(table[6], QStringLiteral("opps"));
    QVERIFY(table[16].endsWith(QStringLiteral("hunted by the leathel cat")));
    QCOMPARE(table[18], QStringLiteral("A chicken doesn't say much when it't decapitated"));
    QCOMPARE(table[15], QStringLiteral("School of Meow, rule 9: Cats eat living creatures smaller "
                                       "than themselves. Watch your mouse"));
    for (const QString& phrase : table) {
        QVERIFY(!phrase.contains(QLatin1Char('\n')));
        QVERIFY(phrase.size() <= 255); // the letter count is one byte
    }
}

void TestTypewriter::bannerTimeline() {
    test::Sandbox sandbox;
    const QString credit = creditText();
    const std::vector<Tick> ticks = runBanner(credit);
    // 63 typed, the hold, 63 erased, and one more tick that finds the panel empty and stops.
    QCOMPARE(ticks.size(), std::size_t(128));
    std::size_t next = 0;
    QVERIFY(checkRound(ticks, 0, credit, next));
    QCOMPARE(next, std::size_t(127));
    QCOMPARE(ticks[62].caption, credit); // the last letter is typed by tick 63
    QCOMPARE(ticks[63].interval, kHoldInterval);
    const Tick& last = ticks.back();
    QVERIFY(last.stop);
    QCOMPARE(last.caption, QString());
    QCOMPARE(last.interval, kErasingInterval); // left as it was

    // The state after the end: typing mode, nothing shown.
    TypewriterState state = TypewriterState::bannerStart();
    for (std::size_t i = 0; i < ticks.size(); ++i)
        bannerStep(state, credit);
    QCOMPARE(int(state.mode), 1);
    QCOMPARE(int(state.letterCount), 0);

    // When the timer stops, counted from the showing: the last letter at 63 x 50, the hold
    // 50 later, the first letter erased 2000 after that, the other 62 at 5 apart, the stop 5
    // after the panel is empty.
    int elapsed = kTypingInterval; // the first tick comes one interval after the start
    for (std::size_t i = 0; i + 1 < ticks.size(); ++i)
        elapsed += ticks[i].interval;
    QCOMPARE(elapsed, 63 * 50 + 50 + 2000 + 62 * 5 + 5);
}

void TestTypewriter::bannerCapAndShortTexts() {
    test::Sandbox sandbox;
    // A text longer than 76 letters: only its first 76 are typed, held and erased.
    QString longText;
    for (int i = 0; i < 12; ++i)
        longText += QStringLiteral("meow-%1 ").arg(i);
    QVERIFY(longText.size() > 76);
    std::vector<Tick> ticks = runBanner(longText);
    QCOMPARE(ticks.size(), std::size_t(2 * 76 + 2));
    std::size_t next = 0;
    QVERIFY(checkRound(ticks, 0, longText.left(76), next));
    QVERIFY(ticks.back().stop);
    int widest = 0;
    for (const Tick& t : ticks)
        widest = std::max(widest, int(t.caption.size()));
    QCOMPARE(widest, 76);

    // Exactly 76 letters are shown whole.
    const QString exact = longText.left(76);
    ticks = runBanner(exact);
    QCOMPARE(ticks[75].caption, exact);
    QCOMPARE(ticks[76].interval, kHoldInterval);

    // An empty text holds an empty panel, then stops.
    ticks = runBanner(QString());
    QCOMPARE(ticks.size(), std::size_t(2));
    QCOMPARE(ticks[0].interval, kHoldInterval);
    QVERIFY(!ticks[0].stop);
    QVERIFY(ticks[1].stop);
    QCOMPARE(ticks[1].caption, QString());
}

void TestTypewriter::surpriseCycle() {
    test::Sandbox sandbox;
    const QStringList& table = phrases();
    TypewriterState state = TypewriterState::surpriseStart();
    QCOMPARE(int(state.phraseIndex), 1);

    // Two full passes over the table: every phrase typed whole (no cap), held, erased, then
    // the 500 ms pause with an empty panel, after which the next phrase begins.
    for (int pass = 0; pass < 2; ++pass) {
        for (int index = 1; index <= kPhraseCount; ++index) {
            QCOMPARE(int(state.phraseIndex), index);
            const QString& phrase = table[index - 1];
            std::vector<Tick> ticks;
            for (qsizetype i = 0; i < 2 * phrase.size() + 2; ++i) {
                const TypewriterStep step = surpriseStep(state);
                QVERIFY(!step.stopTimer);
                ticks.push_back({step.caption, step.nextInterval, step.stopTimer});
            }
            std::size_t next = 0;
            QVERIFY2(checkRound(ticks, 0, phrase, next), qPrintable(QString::number(index)));
            const Tick& pause = ticks[next];
            QCOMPARE(pause.interval, kPauseInterval);
            QCOMPARE(pause.caption, QString());
            QCOMPARE(int(state.phraseIndex), index < kPhraseCount ? index + 1 : 1);
            QCOMPARE(int(state.mode), 1);
            QCOMPARE(int(state.letterCount), 0);
        }
    }
    // After phrase 19 the credit text comes round again.
    const TypewriterStep first = surpriseStep(state);
    QCOMPARE(first.caption, creditText().left(1));
    QCOMPARE(first.nextInterval, kTypingInterval);

    // A state pointing outside the table starts over at the first phrase.
    for (std::uint8_t bad : {std::uint8_t(0), std::uint8_t(20), std::uint8_t(255)}) {
        TypewriterState odd;
        odd.phraseIndex = bad;
        QCOMPARE(surpriseStep(odd).caption, creditText().left(1));
        QCOMPARE(int(odd.phraseIndex), 1);
    }
}

void TestTypewriter::surpriseWindowLayout() {
    test::Sandbox sandbox;
    Tf_surprise window;
    QCOMPARE(window.objectName(), QStringLiteral("f_surprise"));
    QCOMPARE(window.windowTitle(), QStringLiteral("*meow*"));
    QCOMPARE(window.font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(window.font().pixelSize(), 11);
    auto* panel = window.findChild<Panel*>(QStringLiteral("Panel1"));
    QVERIFY(panel);
    QCOMPARE(panel, window.Panel1);
    QCOMPARE(panel->caption(), QString());
    QCOMPARE(panel->outerBevel(), Panel::Bevel::Raised);
    auto* timer = window.findChild<QTimer*>(QStringLiteral("Timer1"));
    QVERIFY(timer);
    QVERIFY(!timer->isActive());
    QVERIFY(!timer->isSingleShot());

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(565, 40));
    QCOMPARE(panel->geometry(), window.rect());
    // Sizeable: the panel follows the window's size.
    QVERIFY(window.minimumSize() != window.maximumSize());
    window.resize(700, 90);
    QTRY_COMPARE(panel->geometry(), window.rect());
    window.close();
}

void TestTypewriter::surpriseWindowOpenAndClose() {
    test::Sandbox sandbox;
    Tf_surprise window;
    window.show();
    QVERIFY(window.Timer1->isActive());
    QCOMPARE(window.Timer1->interval(), kTypingInterval);
    QVERIFY(window.Timer1->remainingTime() <= kTypingInterval);
    // Until the first tick the panel keeps what it showed: empty at the first opening.
    QCOMPARE(window.Panel1->caption(), QString());
    // The real timer types the credit text first.
    QTRY_VERIFY_WITH_TIMEOUT(window.Panel1->caption().size() >= 3, 5000);
    QVERIFY(creditText().startsWith(window.Panel1->caption()));

    window.close(); // the close box
    QVERIFY(window.isHidden());
    QVERIFY(!window.Timer1->isActive());
    QCOMPARE(window.result(), mrCancel);
    // Nothing moves while the window is closed.
    const QString shown = window.Panel1->caption();
    const int letters = window.animationState().letterCount;
    QTest::qWait(200);
    QCOMPARE(window.Panel1->caption(), shown);
    QCOMPARE(int(window.animationState().letterCount), letters);
}

void TestTypewriter::surpriseWindowResumes() {
    test::Sandbox sandbox;
    Tf_surprise window;
    auto reopen = [&window] {
        window.close();
        QVERIFY(!window.Timer1->isActive());
        window.show();
        QVERIFY(window.Timer1->isActive());
        QCOMPARE(window.Timer1->interval(), kTypingInterval);
        QVERIFY(window.Timer1->remainingTime() <= kTypingInterval);
    };
    window.show();
    window.Timer1->stop(); // the ticks are driven by hand from here on
    const QString credit = creditText();

    // Closing in the middle of typing: the same phrase goes on from the same letter.
    for (int i = 0; i < 10; ++i)
        window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), credit.left(10));
    reopen();
    window.Timer1->stop();
    QCOMPARE(window.Panel1->caption(), credit.left(10));
    window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), credit.left(11));

    // Closing during the hold: the rest of the hold is dropped; the next tick erases.
    while (window.Timer1->interval() != kHoldInterval)
        window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), credit);
    reopen(); // the 2000 ms interval is replaced by 50 ms, restarting the timer
    window.Timer1->stop();
    window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), credit.left(62));
    QCOMPARE(window.Timer1->interval(), kErasingInterval);

    // Closing during the pause: the next phrase begins at once.
    while (window.Timer1->interval() != kPauseInterval)
        window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), QString());
    QCOMPARE(int(window.animationState().phraseIndex), 2);
    reopen();
    window.Timer1->stop();
    window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), phrases()[1].left(1));

    // Long phrases are typed in full in this window; 19 is followed by 1.
    auto runToPhrase = [&window](int index) {
        while (window.animationState().phraseIndex != index)
            window.Timer1Timer();
    };
    for (int index : {3, 16}) {
        runToPhrase(index);
        while (window.Timer1->interval() != kHoldInterval)
            window.Timer1Timer();
        QCOMPARE(window.Panel1->caption(), phrases()[index - 1]);
    }
    runToPhrase(19);
    runToPhrase(1);
    window.Timer1Timer();
    QCOMPARE(window.Panel1->caption(), credit.left(1));
    window.close();
}

void TestTypewriter::surpriseWindowModalRun() {
    test::Sandbox sandbox;
    Tf_surprise window;
    bool activeWhileOpen = false;
    int intervalWhileOpen = 0;
    QString typed;
    test::onNextModal([&](QWidget* modal) {
        activeWhileOpen = modal == &window && window.Timer1->isActive();
        intervalWhileOpen = window.Timer1->interval();
        (void)QTest::qWaitFor([&] { return window.Panel1->caption().size() >= 2; }, 5000);
        typed = window.Panel1->caption();
        modal->close();
    });
    QCOMPARE(window.ShowModal(), mrCancel);
    QVERIFY(activeWhileOpen);
    QCOMPARE(intervalWhileOpen, kTypingInterval);
    QVERIFY(typed.size() >= 2);
    QVERIFY(creditText().startsWith(typed));
    QVERIFY(!window.Timer1->isActive());
    QVERIFY(window.isHidden());

    // The second showing opens where the first one was left, not re-centred.
    window.move(window.pos() + QPoint(13, 17));
    const QPoint left = window.pos();
    test::onNextModal([&](QWidget* modal) { modal->close(); });
    window.ShowModal();
    QCOMPARE(window.pos(), left);
}

QTEST_MAIN(TestTypewriter)
#include "test_typewriter.moc"
