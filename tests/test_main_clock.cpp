// The world clock on the main window: the labels follow the offset that the nick search or the
// spin box leaves in TimeDisplacement, at the next refresh (a tick of Timer1) and not before;
// with an empty table they show their start captions until the first tick.

#include "main_window/tform1.h"

#include "core/clock_format.h"
#include "core/time_displacement.h"
#include "main_window/spin_edit.h"
#include "tests/support/main_window_fixture.h"
#include "tests/support/sandbox.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

using namespace palvane;
using palvane::test::contact;
using palvane::test::MainWindowFixture;
using palvane::test::Sandbox;

namespace {

// Fixes "now" for one test function and gives the system clock back at its end.
class FixedClock {
public:
    explicit FixedClock(const QDateTime& now) { set(now); }
    ~FixedClock() { setClockFunction(nullptr); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;
    void set(const QDateTime& now) {
        setClockFunction([now] { return now; });
    }
};

QDateTime at(int year, int month, int day, int hour, int minute) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute));
}

// A 12-hour locale with English names, so that the texts are known whatever the machine's.
void useUsEnglish(TForm1* form) {
    form->Clock.rebuild(QLocale(QLocale::English, QLocale::UnitedStates));
}

QLineEdit* focusSearchBox(TForm1* form) {
    form->activateWindow();
    QApplication::setActiveWindow(form);
    form->Edit1->setFocus();
    return form->Edit1;
}

// The six value labels in one line: local time, local date, their time and date on the View
// tab, their time and date on the Edit/Add tab.
QString labels(const TForm1* form) {
    return QStringList({form->Label1->text(), form->Label16->text(), form->Label2->text(),
                        form->Label13->text(), form->Label6->text(), form->Label17->text()})
        .join(QStringLiteral(" / "));
}

QString labels(const QString& localTime, const QString& localDate, const QString& theirTime,
               const QString& theirDate) {
    return QStringList({localTime, localDate, theirTime, theirDate, theirTime, theirDate})
        .join(QStringLiteral(" / "));
}

const QString kNewYearsEve = QStringLiteral("Thursday, December 31, 2026");
const QString kNewYear = QStringLiteral("Friday, January 1, 2027");

} // namespace

class TestMainClock : public QObject {
    Q_OBJECT

private slots:
    void theirTimeFollowsTheContactFound();
    void startCaptionsUntilTheFirstTick();
    void spinBoxChangeWaitsForTheTick();
};

void TestMainClock::theirTimeFollowsTheContactFound() {
    Sandbox sandbox;
    sandbox.createTable({contact(QStringLiteral("beta"), QStringLiteral("Beta"), -5),
                         contact(QStringLiteral("alpha"), QStringLiteral("Alpha"), 1)});
    FixedClock clock(at(2026, 12, 31, 23, 30));
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    QVERIFY(fixture.boxes().empty());
    useUsEnglish(form);
    form->RefreshClocks();
    QCOMPARE(labels(form), labels(QStringLiteral("11:30:00 PM"), kNewYearsEve,
                                  QStringLiteral("6:30:00 PM"), kNewYearsEve));

    // The search loads the offset but leaves the labels to the next refresh.
    QLineEdit* box = focusSearchBox(form);
    box->selectAll();
    QTest::keyClick(box, 'a');
    QCOMPARE(form->TimeDisplacement(), toReal48(1 / 24.0));
    QCOMPARE(form->Label2->text(), QStringLiteral("6:30:00 PM"));
    form->RefreshClocks();
    QCOMPARE(labels(form), labels(QStringLiteral("11:30:00 PM"), kNewYearsEve,
                                  QStringLiteral("12:30:00 AM"), kNewYear));

    // Timer1's tick brings the next contact's time within a quarter of a second.
    box->selectAll();
    QTest::keyClick(box, 'b');
    QCOMPARE(form->Label13->text(), kNewYear);
    QTRY_COMPARE_WITH_TIMEOUT(form->Label2->text(), QStringLiteral("6:30:00 PM"), 2000);
    QCOMPARE(labels(form), labels(QStringLiteral("11:30:00 PM"), kNewYearsEve,
                                  QStringLiteral("6:30:00 PM"), kNewYearsEve));

    // An hour back from the first of March reaches the leap day.
    box->selectAll();
    QTest::keyClick(box, 'a');
    clock.set(at(2024, 3, 1, 0, 15));
    form->RefreshClocks();
    QCOMPARE(form->Label2->text(), QStringLiteral("1:15:00 AM"));
    box->selectAll();
    QTest::keyClick(box, 'b');
    clock.set(at(2024, 3, 1, 4, 15));
    form->RefreshClocks();
    QCOMPARE(labels(form),
             labels(QStringLiteral("4:15:00 AM"), QStringLiteral("Friday, March 1, 2024"),
                    QStringLiteral("11:15:00 PM"), QStringLiteral("Thursday, February 29, 2024")));
    QVERIFY(fixture.boxes().empty());
}

void TestMainClock::startCaptionsUntilTheFirstTick() {
    FixedClock clock(at(2026, 12, 31, 23, 30));
    {
        // With contacts, start-up refreshes the clocks itself.
        Sandbox sandbox;
        sandbox.createTable({contact(QStringLiteral("alpha"), QStringLiteral("Alpha"), 1)});
        MainWindowFixture fixture(false);
        TForm1* form = fixture.form();
        QVERIFY(form->Label1->text() != QStringLiteral("Local_Time_Caption"));
        QVERIFY(form->Label13->text() != QStringLiteral("Their_Date_Caption"));
        QVERIFY(form->Label17->text() != QStringLiteral("Their_Date_Caption"));
    }

    Sandbox sandbox;
    sandbox.createTable({});
    MainWindowFixture fixture(false);
    TForm1* form = fixture.form();
    QCOMPARE(fixture.boxes().size(), std::size_t(1));
    QCOMPARE(labels(form), QStringLiteral("Local_Time_Caption / Local_Date_Caption / "
                                          "Their_Time_Caption / Their_Date_Caption / "
                                          "Their_Time_Caption / Their_Date_Caption"));
    QVERIFY(form->Timer1->isActive());
    QCOMPARE(form->Timer1->interval(), 250);

    // The first tick writes all six; with no contact their time is the local time.
    useUsEnglish(form);
    QTRY_COMPARE_WITH_TIMEOUT(form->Label1->text(), QStringLiteral("11:30:00 PM"), 2000);
    QCOMPARE(labels(form), labels(QStringLiteral("11:30:00 PM"), kNewYearsEve,
                                  QStringLiteral("11:30:00 PM"), kNewYearsEve));
}

void TestMainClock::spinBoxChangeWaitsForTheTick() {
    Sandbox sandbox;
    sandbox.createTable({contact(QStringLiteral("beta"), QStringLiteral("Beta"), -5)});
    FixedClock clock(at(2026, 12, 31, 23, 30));
    MainWindowFixture fixture;
    TForm1* form = fixture.form();
    useUsEnglish(form);
    form->RefreshClocks();
    QCOMPARE(form->Label2->text(), QStringLiteral("6:30:00 PM"));

    // The change sets the offset at once; the labels keep theirs until the next tick.
    form->SpinEdit1->setValue(2);
    QCOMPARE(form->TimeDisplacement(), hoursToDays(2));
    QCOMPARE(form->Label2->text(), QStringLiteral("6:30:00 PM"));
    QCOMPARE(form->Label6->text(), QStringLiteral("6:30:00 PM"));
    QTRY_COMPARE_WITH_TIMEOUT(form->Label2->text(), QStringLiteral("1:30:00 AM"), 2000);
    QCOMPARE(labels(form), labels(QStringLiteral("11:30:00 PM"), kNewYearsEve,
                                  QStringLiteral("1:30:00 AM"), kNewYear));

    // A whole day either way: the local time, tomorrow's or yesterday's date.
    form->SpinEdit1->setValue(24);
    QCOMPARE(form->TimeDisplacement(), 1.0);
    QTRY_COMPARE_WITH_TIMEOUT(form->Label2->text(), QStringLiteral("11:30:00 PM"), 2000);
    QCOMPARE(form->Label13->text(), kNewYear);
    form->SpinEdit1->setValue(-24);
    QCOMPARE(form->TimeDisplacement(), -1.0);
    QTRY_COMPARE_WITH_TIMEOUT(form->Label13->text(), QStringLiteral("Wednesday, December 30, 2026"),
                              2000);
    QCOMPARE(labels(form),
             labels(QStringLiteral("11:30:00 PM"), kNewYearsEve, QStringLiteral("11:30:00 PM"),
                    QStringLiteral("Wednesday, December 30, 2026")));
}

QTEST_MAIN(TestMainClock)
#include "test_main_clock.moc"
