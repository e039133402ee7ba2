// The world clock's texts and the 48-bit real that holds the contact's offset.

#include "core/clock_format.h"
#include "core/time_displacement.h"
#include "tests/support/sandbox.h"
#include "widgets/error_report.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRandomGenerator>
#include <QTest>
#include <QTime>

#include <cmath>
#include <limits>
#include <time.h>

using namespace palvane;

namespace {

QDateTime local(int y, int mo, int d, int h, int mi, int s = 0, int ms = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

// The formatter under a fixed "now" plus an offset in hours, as the clock panel computes it.
struct Shown {
    QString time;
    QString date;
};
Shown their(const ClockFormatter& f, const QDateTime& now, int hours) {
    setClockFunction([now] { return now; });
    const double days = nowInDays() + hoursToDays(hours);
    setClockFunction(nullptr);
    return {f.formatTime(days), f.formatDate(days)};
}

ClockFormatter formatterFor(const char* name) {
    ClockFormatter f;
    f.rebuild(QLocale(QString::fromLatin1(name)));
    return f;
}

QString errorOf(double value) {
    try {
        toReal48(value);
    } catch (const Error& e) {
        return e.message();
    }
    return {};
}

} // namespace

class TestClockFormat : public QObject {
    Q_OBJECT

private slots:
    void clockIsInjectable();
    void daysCountTheWallClock();
    void twelveHourEnglish();
    void twentyFourHourLocales();
    void separatorsAndDesignatorsFromTheLocale();
    void namesTheLocaleLacksAreEnglish();
    void offsetsCrossMonthYearAndLeapDays();
    void wholeHourOffsetsKeepMinutesAndSeconds();
    void roundsToTheMillisecondBeforeShowing();
    void datesOutsideTheCalendarShowNothing();
    void real48Rounding();
    void real48RangeAndFailures();
    void hoursToDaysUsesTheExtendedFactor();
};

void TestClockFormat::clockIsInjectable() {
    test::Sandbox sandbox;
    const QDateTime fixed = local(2026, 12, 31, 23, 30);
    setClockFunction([fixed] { return fixed; });
    QCOMPARE(currentLocalDateTime(), fixed);
    const double expected = double(QDate(2026, 12, 31).toJulianDay() - 2415019) + 23.5 / 24.0;
    QCOMPARE(nowInDays(), expected);

    setClockFunction(nullptr);
    const QDateTime system = currentLocalDateTime();
    QVERIFY(system.isValid());
    QVERIFY(system != fixed);
    QVERIFY(std::fabs(system.secsTo(QDateTime::currentDateTime())) < 60);
}

void TestClockFormat::daysCountTheWallClock() {
    test::Sandbox sandbox;
    QCOMPARE(dateTimeToDays(local(1899, 12, 30, 0, 0)), 0.0);
    QCOMPARE(dateTimeToDays(local(1899, 12, 31, 6, 0)), 1.25);
    QCOMPARE(dateTimeToDays(local(1899, 12, 29, 18, 0)), -0.25);
    QCOMPARE(dateTimeToDays(local(2000, 1, 1, 12, 0)), 36526.5);
    QVERIFY(std::isnan(dateTimeToDays(QDateTime())));

    // The wall-clock fields count, whatever the zone: in Berlin the clocks go from 2:00 to
    // 3:00 on 29 March 2026, yet 1:30 plus one hour is 2:30 on their wall clock.
    const QByteArray oldTz = qgetenv("TZ");
    const bool hadTz = qEnvironmentVariableIsSet("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    const ClockFormatter f = formatterFor("de_DE");
    const Shown spring = their(f, local(2026, 3, 29, 1, 30), 1);
    QCOMPARE(spring.time, QStringLiteral("02:30:00"));
    QCOMPARE(spring.date, QStringLiteral("Sonntag, März 29, 2026"));
    const QDateTime utc(QDate(2026, 3, 29), QTime(1, 30), Qt::UTC);
    QCOMPARE(dateTimeToDays(utc), dateTimeToDays(local(2026, 3, 29, 1, 30)));
    if (hadTz)
        qputenv("TZ", oldTz);
    else
        qunsetenv("TZ");
    tzset();

    // Round trip to the millisecond over many dates and times.
    QRandomGenerator random(20261231);
    for (int i = 0; i < 2000; ++i) {
        const QDate date = QDate(1, 1, 1).addDays(random.bounded(3652059));
        const QTime time = QTime::fromMSecsSinceStartOfDay(random.bounded(86400000));
        const QDateTime back = daysToDateTime(dateTimeToDays(QDateTime(date, time, Qt::UTC)));
        QCOMPARE(back.date(), date);
        QCOMPARE(back.time(), time);
    }
    QVERIFY(!daysToDateTime(std::nan("")).isValid());
    QVERIFY(!daysToDateTime(1.0e30).isValid());
}

void TestClockFormat::twelveHourEnglish() {
    test::Sandbox sandbox;
    const ClockFormatter us = formatterFor("en_US");
    QCOMPARE(us.timeFormat(), QStringLiteral("h:mm:ss AMPM"));
    QCOMPARE(us.timeSeparator(), QLatin1Char(':'));

    const QDateTime newYearsEve = local(2026, 12, 31, 23, 30);
    const Shown localNow = their(us, newYearsEve, 0);
    QCOMPARE(localNow.time, QStringLiteral("11:30:00 PM"));
    QCOMPARE(localNow.date, QStringLiteral("Thursday, December 31, 2026"));
    const Shown plusOne = their(us, newYearsEve, 1);
    QCOMPARE(plusOne.time, QStringLiteral("12:30:00 AM"));
    QCOMPARE(plusOne.date, QStringLiteral("Friday, January 1, 2027"));

    // The hour counts 12, 1, ..., 11 in each half of the day.
    QCOMPARE(their(us, local(2026, 6, 1, 21, 5, 7), 0).time, QStringLiteral("9:05:07 PM"));
    QCOMPARE(their(us, local(2026, 6, 1, 0, 0), 0).time, QStringLiteral("12:00:00 AM"));
    QCOMPARE(their(us, local(2026, 6, 1, 12, 0), 0).time, QStringLiteral("12:00:00 PM"));
    QCOMPARE(their(us, local(2026, 6, 1, 11, 59, 59, 999), 0).time, QStringLiteral("11:59:59 AM"));
    QCOMPARE(their(us, local(2026, 6, 1, 13, 0, 1), 0).time, QStringLiteral("1:00:01 PM"));
    QCOMPARE(their(us, local(2026, 6, 1, 9, 5, 7), 0).time, QStringLiteral("9:05:07 AM"));
}

void TestClockFormat::twentyFourHourLocales() {
    test::Sandbox sandbox;
    const QDateTime newYearsEve = local(2026, 12, 31, 23, 30);

    // Spanish asks for no leading zero on a 24-hour clock.
    const ClockFormatter es = formatterFor("es_ES");
    QCOMPARE(es.timeFormat(), QStringLiteral("h:mm:ss"));
    QCOMPARE(their(es, newYearsEve, 1).time, QStringLiteral("0:30:00"));
    QCOMPARE(their(es, newYearsEve, 1).date, QStringLiteral("viernes, enero 1, 2027"));
    QCOMPARE(their(es, local(2026, 6, 1, 21, 5, 7), 0).time, QStringLiteral("21:05:07"));
    QCOMPARE(their(es, local(2026, 6, 1, 9, 5, 7), 0).time, QStringLiteral("9:05:07"));

    // German, British English, French and the C locale pad the hour.
    const ClockFormatter de = formatterFor("de_DE");
    QCOMPARE(de.timeFormat(), QStringLiteral("hh:mm:ss"));
    QCOMPARE(their(de, newYearsEve, 0).date, QStringLiteral("Donnerstag, Dezember 31, 2026"));
    QCOMPARE(their(de, newYearsEve, 1).date, QStringLiteral("Freitag, Januar 1, 2027"));
    QCOMPARE(their(de, newYearsEve, 1).time, QStringLiteral("00:30:00"));
    QCOMPARE(their(de, local(2026, 6, 1, 21, 5, 7), 0).time, QStringLiteral("21:05:07"));

    const ClockFormatter gb = formatterFor("en_GB");
    QCOMPARE(their(gb, newYearsEve, 1).time, QStringLiteral("00:30:00"));
    QCOMPARE(their(gb, newYearsEve, 1).date, QStringLiteral("Friday, January 1, 2027"));

    const ClockFormatter fr = formatterFor("fr_FR");
    QCOMPARE(their(fr, newYearsEve, 0).date, QStringLiteral("jeudi, décembre 31, 2026"));
    QCOMPARE(their(fr, local(2026, 2, 1, 8, 0), 0).time, QStringLiteral("08:00:00"));
    QCOMPARE(their(fr, local(2026, 2, 1, 8, 0), 0).date,
             QStringLiteral("dimanche, février 1, 2026"));

    ClockFormatter c;
    c.rebuild(QLocale::c());
    QCOMPARE(c.timeFormat(), QStringLiteral("hh:mm:ss"));
    QCOMPARE(their(c, local(2026, 6, 1, 7, 5, 7), 0).time, QStringLiteral("07:05:07"));
    QCOMPARE(their(c, newYearsEve, 0).date, QStringLiteral("Thursday, December 31, 2026"));

    // Only the time format follows a change of settings; the names stay those read first.
    ClockFormatter mixed = formatterFor("de_DE");
    mixed.rebuildTimeFormat(QLocale(QStringLiteral("en_US")));
    QCOMPARE(their(mixed, local(2026, 6, 1, 21, 5, 7), 0).time, QStringLiteral("9:05:07 PM"));
    QCOMPARE(their(mixed, newYearsEve, 0).date, QStringLiteral("Donnerstag, Dezember 31, 2026"));
}

void TestClockFormat::separatorsAndDesignatorsFromTheLocale() {
    test::Sandbox sandbox;
    const QDateTime evening = local(2026, 6, 1, 21, 5, 7);

    // Finnish separates with a full stop and leaves the hour unpadded.
    const ClockFormatter fi = formatterFor("fi_FI");
    QCOMPARE(fi.timeSeparator(), QLatin1Char('.'));
    QCOMPARE(their(fi, evening, 0).time, QStringLiteral("21.05.07"));
    QCOMPARE(their(fi, local(2026, 6, 1, 6, 5, 7), 0).time, QStringLiteral("6.05.07"));

    // Canadian English has its own designators.
    const ClockFormatter ca = formatterFor("en_CA");
    QCOMPARE(their(ca, evening, 0).time, QStringLiteral("9:05:07 p.m."));
    QCOMPARE(their(ca, local(2026, 6, 1, 0, 5, 7), 0).time, QStringLiteral("12:05:07 a.m."));

    // The designator goes after the seconds even where the locale puts it first; words in
    // place of separators ("h" quoted, Korean hour signs) leave the usual ":".
    const ClockFormatter ko = formatterFor("ko_KR");
    QCOMPARE(ko.timeFormat(), QStringLiteral("h:mm:ss AMPM"));
    QCOMPARE(their(ko, evening, 0).time, QString(QStringLiteral("9:05:07 ") + ko.pmDesignator()));
    const ClockFormatter frCa = formatterFor("fr_CA");
    QCOMPARE(frCa.timeSeparator(), QLatin1Char(':'));
    QCOMPARE(their(frCa, evening, 0).time, QStringLiteral("21:05:07"));

    // The designators come from the locale, never empty.
    QVERIFY(!formatterFor("en_US").amDesignator().isEmpty());
    QCOMPARE(formatterFor("en_US").amDesignator(), QStringLiteral("AM"));
    QCOMPARE(formatterFor("en_US").pmDesignator(), QStringLiteral("PM"));

    // The system locale builds the default formatter.
    ClockFormatter fromSystem;
    ClockFormatter expected;
    expected.rebuild(QLocale::system());
    QCOMPARE(fromSystem.timeFormat(), expected.timeFormat());
    QCOMPARE(fromSystem.formatDate(46387.0), expected.formatDate(46387.0));
}

void TestClockFormat::namesTheLocaleLacksAreEnglish() {
    test::Sandbox sandbox;
    ClockFormatter f = formatterFor("en_US");
    // A locale without names, one with only some, and one with too few.
    f.setNames({}, {});
    QCOMPARE(f.formatDate(46387.0), QStringLiteral("Thursday, December 31, 2026"));
    QStringList days(7);
    days[4] = QStringLiteral("Jeudi");
    QStringList months{QStringLiteral("Janvier")};
    f.setNames(days, months);
    QCOMPARE(f.formatDate(46387.0), QStringLiteral("Jeudi, December 31, 2026"));
    QCOMPARE(f.formatDate(46388.0), QStringLiteral("Friday, Janvier 1, 2027"));
}

void TestClockFormat::offsetsCrossMonthYearAndLeapDays() {
    test::Sandbox sandbox;
    const ClockFormatter us = formatterFor("en_US");
    const ClockFormatter de = formatterFor("de_DE");

    const QDateTime march2026 = local(2026, 3, 1, 0, 15);
    QCOMPARE(their(us, march2026, 0).date, QStringLiteral("Sunday, March 1, 2026"));
    QCOMPARE(their(us, march2026, -1).date, QStringLiteral("Saturday, February 28, 2026"));
    QCOMPARE(their(de, march2026, -1).time, QStringLiteral("23:15:00"));
    QCOMPARE(their(us, march2026, -1).time, QStringLiteral("11:15:00 PM"));
    QCOMPARE(their(us, local(2024, 3, 1, 0, 15), -1).date,
             QStringLiteral("Thursday, February 29, 2024"));
    QCOMPARE(their(us, local(2000, 3, 1, 0, 15), -1).date,
             QStringLiteral("Tuesday, February 29, 2000"));
    QCOMPARE(their(us, local(2100, 3, 1, 0, 15), -1).date,
             QStringLiteral("Sunday, February 28, 2100"));
    QCOMPARE(their(us, local(2027, 1, 1, 0, 0), -1).date,
             QStringLiteral("Thursday, December 31, 2026"));

    // A whole day either way: the same time, the next or the previous date.
    const QDateTime noonish = local(2026, 12, 31, 13, 14, 15);
    QCOMPARE(their(de, noonish, 24).time, QStringLiteral("13:14:15"));
    QCOMPARE(their(de, noonish, 24).date, QStringLiteral("Freitag, Januar 1, 2027"));
    QCOMPARE(their(de, noonish, -24).time, QStringLiteral("13:14:15"));
    QCOMPARE(their(de, noonish, -24).date, QStringLiteral("Mittwoch, Dezember 30, 2026"));
    const QDateTime midnight = local(2024, 2, 29, 0, 0);
    QCOMPARE(their(us, midnight, 24).date, QStringLiteral("Friday, March 1, 2024"));
    QCOMPARE(their(us, midnight, 24).time, QStringLiteral("12:00:00 AM"));
    QCOMPARE(their(us, midnight, -24).date, QStringLiteral("Wednesday, February 28, 2024"));

    // Before the day count's origin the date is the day the moment falls in.
    QCOMPARE(us.formatDate(-1.25), QStringLiteral("Thursday, December 28, 1899"));
    QCOMPARE(us.formatTime(-1.25), QStringLiteral("6:00:00 PM"));
    QCOMPARE(us.formatDate(-0.5), QStringLiteral("Friday, December 29, 1899"));
    QCOMPARE(us.formatTime(-0.5), QStringLiteral("12:00:00 PM"));
}

void TestClockFormat::wholeHourOffsetsKeepMinutesAndSeconds() {
    test::Sandbox sandbox;
    const ClockFormatter de = formatterFor("de_DE");
    QRandomGenerator random(424242);
    for (int i = 0; i < 10000; ++i) {
        const QDate date = QDate(1900, 1, 2).addDays(random.bounded(36500 * 2));
        const QTime time = QTime::fromMSecsSinceStartOfDay(random.bounded(86400000));
        const int hours = random.bounded(-24, 25);
        const QDateTime now(date, time);
        const Shown shown = their(de, now, hours);
        // Their wall clock is the local one moved by whole hours, to the millisecond.
        const QDateTime expected = QDateTime(date, time, Qt::UTC).addSecs(hours * 3600);
        const QString expectedTime = expected.time().toString(QStringLiteral("HH:mm:ss"));
        if (shown.time != expectedTime || shown.date != de.formatDate(dateTimeToDays(expected)))
            QFAIL(qPrintable(QStringLiteral("%1 %2 h: %3 %4, expected %5")
                                 .arg(now.toString(Qt::ISODateWithMs))
                                 .arg(hours)
                                 .arg(shown.date, shown.time, expectedTime)));
    }
}

void TestClockFormat::roundsToTheMillisecondBeforeShowing() {
    test::Sandbox sandbox;
    const ClockFormatter de = formatterFor("de_DE");
    const double halfPastNoon = 0.5 + 0.5 / 24.0;
    QCOMPARE(de.formatTime(std::nextafter(halfPastNoon, 0.0)), QStringLiteral("12:30:00"));
    QCOMPARE(de.formatTime(halfPastNoon - 0.0004 / 86400.0), QStringLiteral("12:30:00"));
    // A whole millisecond short stays short: seconds are cut, not rounded.
    QCOMPARE(de.formatTime(halfPastNoon - 0.001 / 86400.0), QStringLiteral("12:29:59"));
    QCOMPARE(de.formatTime(1.0 - 0.0004 / 86400.0), QStringLiteral("00:00:00"));
    QCOMPARE(de.formatDate(46387.0 - 0.0004 / 86400.0),
             QStringLiteral("Donnerstag, Dezember 31, 2026"));
    QCOMPARE(de.formatDate(46387.0 - 0.001 / 86400.0),
             QStringLiteral("Mittwoch, Dezember 30, 2026"));
}

void TestClockFormat::datesOutsideTheCalendarShowNothing() {
    test::Sandbox sandbox;
    const ClockFormatter us = formatterFor("en_US");
    const double firstDay = double(QDate(1, 1, 1).toJulianDay() - 2415019);
    const double afterLastDay = double(QDate(10000, 1, 1).toJulianDay() - 2415019);
    QCOMPARE(us.formatDate(firstDay), QStringLiteral("Monday, January 1, 0001"));
    QCOMPARE(us.formatTime(firstDay), QStringLiteral("12:00:00 AM"));
    QCOMPARE(us.formatDate(double(QDate(999, 7, 4).toJulianDay() - 2415019)),
             QStringLiteral("Thursday, July 4, 0999"));
    const double lastMs = afterLastDay - 0.001 / 86400.0;
    QCOMPARE(us.formatDate(lastMs), QStringLiteral("Friday, December 31, 9999"));
    QCOMPARE(us.formatTime(lastMs), QStringLiteral("11:59:59 PM"));

    for (const double days :
         {firstDay - 0.001 / 86400.0, afterLastDay, 1.0e7, -1.0e7, 1.7e38, -1.7e38,
          std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
        QCOMPARE(us.formatDate(days), QString());
        QCOMPARE(us.formatTime(days), QString());
    }
}

void TestClockFormat::real48Rounding() {
    test::Sandbox sandbox;
    for (const double exact : {0.0, 1.0, -1.0, 0.5, 0.25, 1.0 + std::ldexp(1.0, -39),
                               -(1.0 + std::ldexp(1.0, -39)), 1234567.0, 1.0e12})
        QCOMPARE(toReal48(exact), exact);
    // 40 significant bits, ties to even.
    QCOMPARE(toReal48(1.0 + std::ldexp(1.0, -40)), 1.0);
    QCOMPARE(toReal48(1.0 + 3 * std::ldexp(1.0, -41)), 1.0 + std::ldexp(1.0, -39));
    QCOMPARE(toReal48(1.0 + 3 * std::ldexp(1.0, -40)), 1.0 + std::ldexp(1.0, -38));
    QCOMPARE(toReal48(-(1.0 + 3 * std::ldexp(1.0, -41))), -(1.0 + std::ldexp(1.0, -39)));
    QCOMPARE(toReal48(std::nextafter(2.0, 0.0)), 2.0);

    const double tenth = toReal48(0.1);
    QVERIFY(tenth != 0.1);
    QVERIFY(std::fabs(tenth - 0.1) <= std::ldexp(1.0, -44));
    const double scaled = std::ldexp(tenth, 43);
    QCOMPARE(scaled, std::floor(scaled));
    QCOMPARE(toReal48(tenth), tenth);

    // Below the smallest magnitude the value becomes zero.
    const double smallest = std::ldexp(1.0, -128);
    QCOMPARE(toReal48(smallest), smallest);
    QCOMPARE(toReal48(-smallest), -smallest);
    const double nearSmallest = toReal48(3.0e-39);
    QVERIFY(std::fabs(nearSmallest - 3.0e-39) <= std::ldexp(1.0, -168));
    QCOMPARE(std::ldexp(nearSmallest, 167), std::floor(std::ldexp(nearSmallest, 167)));
    QCOMPARE(toReal48(std::nextafter(smallest, 0.0)), 0.0);
    QCOMPARE(toReal48(-std::ldexp(1.0, -129)), 0.0);
    QCOMPARE(toReal48(1.0e-39), 0.0);
    QCOMPARE(toReal48(std::numeric_limits<double>::denorm_min()), 0.0);
}

void TestClockFormat::real48RangeAndFailures() {
    test::Sandbox sandbox;
    const double max = real48Max();
    QCOMPARE(max, std::ldexp(1.0, 127) - std::ldexp(1.0, 87));
    QVERIFY(max > 1.70141e38 && max < 1.70142e38);
    QCOMPARE(toReal48(max), max);
    QCOMPARE(toReal48(-max), -max);
    QCOMPARE(toReal48(max + std::ldexp(1.0, 85)), max);
    QVERIFY(toReal48(1.7e38) > 0);

    const QString overflow = QStringLiteral("Floating point overflow");
    QCOMPARE(errorOf(max + std::ldexp(1.0, 86)), overflow); // rounds up past the range
    QCOMPARE(errorOf(1.71e38), overflow);
    QCOMPARE(errorOf(-1.71e38), overflow);
    QCOMPARE(errorOf(1.0e300), overflow);
    QCOMPARE(errorOf(std::numeric_limits<double>::infinity()), overflow);
    QCOMPARE(errorOf(-std::numeric_limits<double>::infinity()), overflow);
    QCOMPARE(errorOf(std::numeric_limits<double>::quiet_NaN()),
             QStringLiteral("Invalid floating point operation"));
    QCOMPARE(errorOf(1.0), QString());
}

void TestClockFormat::hoursToDaysUsesTheExtendedFactor() {
    test::Sandbox sandbox;
    QCOMPARE(hoursToDays(24), 1.0);
    QCOMPARE(hoursToDays(-24), -1.0);
    QCOMPARE(hoursToDays(12), 0.5);
    QCOMPARE(hoursToDays(-6), -0.25);
    QCOMPARE(hoursToDays(0), 0.0);
    for (int h = -24; h <= 24; ++h) {
        const double days = hoursToDays(h);
        QCOMPARE(toReal48(days), days); // held at 48-bit precision
        QVERIFY(std::fabs(days - h / 24.0) <= std::ldexp(std::fabs(h / 24.0), -39));
    }
    QVERIFY(std::fabs(hoursToDays(-5) + 0.2083333333) < 1e-10);
    // Values typed beyond the range while the box has the focus convert as well.
    QCOMPARE(hoursToDays(30), 1.25);
    QCOMPARE(hoursToDays(-48), -2.0);
}

QTEST_MAIN(TestClockFormat)
#include "test_clock_format.moc"
