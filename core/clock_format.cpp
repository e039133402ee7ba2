#include "core/clock_format.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <cstdint>
#include <utility>

namespace palvane {

namespace {

constexpr std::int64_t kMsPerDay = 86'400'000;
constexpr std::int64_t kMsPerHour = 3'600'000;
constexpr std::int64_t kMsPerMinute = 60'000;

// Day 0 of the count is 30 December 1899.
qint64 epochJulianDay() {
    static const qint64 jd = QDate(1899, 12, 30).toJulianDay();
    return jd;
}

// The counts the formatters show: 1 January 0001 up to the end of 31 December 9999.
std::int64_t firstShownMs() {
    static const std::int64_t ms = (QDate(1, 1, 1).toJulianDay() - epochJulianDay()) * kMsPerDay;
    return ms;
}
std::int64_t endShownMs() {
    static const std::int64_t ms =
        (QDate(10000, 1, 1).toJulianDay() - epochJulianDay()) * kMsPerDay;
    return ms;
}

// Rounds a count of days to whole milliseconds first, so that a whole-hour offset added to a
// time never shows one second less; false when the count has no date to show.
bool toMilliseconds(double days, std::int64_t& ms) {
    // Well beyond year 9999 either way, and small enough for llround not to overflow.
    if (!std::isfinite(days) || std::fabs(days) > 1.0e7)
        return false;
    ms = std::llround(days * static_cast<double>(kMsPerDay));
    return ms >= firstShownMs() && ms < endShownMs();
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0)))
        --q;
    return q;
}

const QStringList& englishDayNames() {
    static const QStringList names{QStringLiteral("Sunday"),   QStringLiteral("Monday"),
                                   QStringLiteral("Tuesday"),  QStringLiteral("Wednesday"),
                                   QStringLiteral("Thursday"), QStringLiteral("Friday"),
                                   QStringLiteral("Saturday")};
    return names;
}

const QStringList& englishMonthNames() {
    static const QStringList names{
        QStringLiteral("January"), QStringLiteral("February"), QStringLiteral("March"),
        QStringLiteral("April"),   QStringLiteral("May"),      QStringLiteral("June"),
        QStringLiteral("July"),    QStringLiteral("August"),   QStringLiteral("September"),
        QStringLiteral("October"), QStringLiteral("November"), QStringLiteral("December")};
    return names;
}

QStringList withEnglishFallback(const QStringList& names, const QStringList& english) {
    QStringList result = english;
    for (qsizetype i = 0; i < result.size() && i < names.size(); ++i) {
        if (!names.at(i).isEmpty())
            result[i] = names.at(i);
    }
    return result;
}

ClockFunction& clockFunction() {
    static ClockFunction clock;
    return clock;
}

struct TimePattern {
    bool twelveHour = false;
    bool padHour = false;
    QChar separator = QLatin1Char(':');
};

// Reads what the time format needs from a Qt time pattern: whether it has an AM/PM field,
// whether the hour field is two letters wide, and the character that follows the hour field.
// Quoted literal text ('h' in "HH 'h' mm") is skipped.
TimePattern readPattern(const QString& pattern) {
    TimePattern result;
    bool quoted = false;
    bool hourSeen = false;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted)
            continue;
        if (c == QLatin1Char('a') || c == QLatin1Char('A'))
            result.twelveHour = true;
        if (!hourSeen && (c == QLatin1Char('h') || c == QLatin1Char('H'))) {
            hourSeen = true;
            qsizetype end = i;
            while (end < pattern.size() && pattern.at(end) == c)
                ++end;
            result.padHour = end - i >= 2;
            if (end < pattern.size()) {
                const QChar next = pattern.at(end);
                if (next != QLatin1Char('\'') && !next.isLetter() && !next.isSpace())
                    result.separator = next;
            }
            i = end - 1;
        }
    }
    return result;
}

QString twoDigits(std::int64_t n) {
    return QStringLiteral("%1").arg(static_cast<qlonglong>(n), 2, 10, QLatin1Char('0'));
}

} // namespace

void setClockFunction(ClockFunction clock) {
    clockFunction() = std::move(clock);
}

QDateTime currentLocalDateTime() {
    if (const ClockFunction& clock = clockFunction())
        return clock();
    return QDateTime::currentDateTime();
}

double dateTimeToDays(const QDateTime& local) {
    if (!local.isValid())
        return std::nan("");
    const qint64 day = local.date().toJulianDay() - epochJulianDay();
    return static_cast<double>(day) + static_cast<double>(local.time().msecsSinceStartOfDay()) /
                                          static_cast<double>(kMsPerDay);
}

QDateTime daysToDateTime(double days) {
    std::int64_t ms = 0;
    if (!toMilliseconds(days, ms))
        return {};
    const std::int64_t day = floorDiv(ms, kMsPerDay);
    const auto msOfDay = static_cast<int>(ms - day * kMsPerDay);
    return QDateTime(QDate::fromJulianDay(epochJulianDay() + day),
                     QTime::fromMSecsSinceStartOfDay(msOfDay), Qt::UTC);
}

double nowInDays() {
    return dateTimeToDays(currentLocalDateTime());
}

ClockFormatter::ClockFormatter() {
    rebuild(QLocale::system());
}

void ClockFormatter::rebuild(const QLocale& locale) {
    QStringList days;
    // Qt counts Monday as 1 and Sunday as 7; the names are kept Sunday first.
    days << locale.dayName(7, QLocale::LongFormat);
    for (int d = 1; d <= 6; ++d)
        days << locale.dayName(d, QLocale::LongFormat);
    QStringList months;
    for (int m = 1; m <= 12; ++m)
        months << locale.monthName(m, QLocale::LongFormat);
    setNames(days, months);
    rebuildTimeFormat(locale);
}

void ClockFormatter::rebuildTimeFormat(const QLocale& locale) {
    const TimePattern pattern = readPattern(locale.timeFormat(QLocale::LongFormat));
    twelveHour_ = pattern.twelveHour;
    padHour_ = pattern.padHour;
    separator_ = pattern.separator;
    am_ = locale.amText();
    pm_ = locale.pmText();
    if (am_.isEmpty())
        am_ = QStringLiteral("am");
    if (pm_.isEmpty())
        pm_ = QStringLiteral("pm");
    timeFormat_ = (padHour_ ? QStringLiteral("hh") : QStringLiteral("h")) +
                  QStringLiteral(":mm:ss") + (twelveHour_ ? QStringLiteral(" AMPM") : QString());
}

void ClockFormatter::setNames(const QStringList& dayNames, const QStringList& monthNames) {
    dayNames_ = withEnglishFallback(dayNames, englishDayNames());
    monthNames_ = withEnglishFallback(monthNames, englishMonthNames());
}

QString ClockFormatter::formatTime(double days) const {
    std::int64_t ms = 0;
    if (!toMilliseconds(days, ms))
        return {};
    const std::int64_t msOfDay = ms - floorDiv(ms, kMsPerDay) * kMsPerDay;
    const std::int64_t hour = msOfDay / kMsPerHour;
    const std::int64_t minute = msOfDay % kMsPerHour / kMsPerMinute;
    const std::int64_t second = msOfDay % kMsPerMinute / 1000; // whole seconds only

    std::int64_t shownHour = hour;
    if (twelveHour_) {
        // The 12-hour clock counts 12, 1, 2, ..., 11.
        shownHour = hour % 12;
        if (shownHour == 0)
            shownHour = 12;
    }
    QString text = padHour_ ? twoDigits(shownHour) : QString::number(shownHour);
    text += separator_;
    text += twoDigits(minute);
    text += separator_;
    text += twoDigits(second);
    if (twelveHour_) {
        text += QLatin1Char(' ');
        text += hour < 12 ? am_ : pm_;
    }
    return text;
}

QString ClockFormatter::formatDate(double days) const {
    std::int64_t ms = 0;
    if (!toMilliseconds(days, ms))
        return {};
    const QDate date = QDate::fromJulianDay(epochJulianDay() + floorDiv(ms, kMsPerDay));
    // dayOfWeek() is 1 for Monday to 7 for Sunday; the names are Sunday first.
    const QString& dayName = dayNames_.at(date.dayOfWeek() % 7);
    const QString& monthName = monthNames_.at(date.month() - 1);
    return QStringLiteral("%1, %2 %3, %4")
        .arg(dayName, monthName, QString::number(date.day()),
             QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')));
}

} // namespace palvane
