#pragma once
// Time and date texts of the world clock. Times are a count of days on the local wall clock
// (the integer part counts days from 30 December 1899, the fraction is the time of day), so a
// displacement in days moves time and date together across midnight, month and year ends.
// Counts whose date falls outside the years 1 to 9999 (or that are not finite) have no text:
// both formatters give an empty string for them.

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <functional>

namespace palvane {

// The one clock the program reads "now" from; tests replace it to fix the time.
using ClockFunction = std::function<QDateTime()>;
void setClockFunction(ClockFunction clock); // nullptr restores the system clock
QDateTime currentLocalDateTime();

// Local wall-clock date-time <-> days, to the millisecond. The wall-clock fields (date() and
// time()) are used as they are, whatever zone the value is in: no daylight-saving shift.
double dateTimeToDays(const QDateTime& local);
// Rounded to the millisecond. The result carries the wall-clock fields in Qt::UTC, so that no
// local-time rule moves them; invalid for counts outside the years 1 to 9999.
QDateTime daysToDateTime(double days);

// "Now" as days, read anew on every call.
double nowInDays();

class ClockFormatter {
public:
    ClockFormatter(); // built from QLocale::system()
    // Builds the time format and the day and month names from a locale: the hour code ("h",
    // or "hh" when the locale pads the hour), the locale's separator, ":mm:ss", and " AMPM"
    // for a 12-hour locale (designators "am"/"pm" when the locale supplies none). Names the
    // locale lacks are the English ones.
    void rebuild(const QLocale& locale);
    // Only the time format, for a change of the system's settings: the names stay those read
    // at start-up.
    void rebuildTimeFormat(const QLocale& locale);
    // Day names Sunday first, month names January first; an empty or missing name is the
    // English one.
    void setNames(const QStringList& dayNames, const QStringList& monthNames);

    // The time of day of a count of days, in the time format ("9:05:07 PM", "21:05:07").
    QString formatTime(double days) const;
    // The date in "dddd, mmmm d, yyyy" ("Thursday, December 31, 2026").
    QString formatDate(double days) const;

    // The format as a pattern, e.g. "h:mm:ss AMPM"; its ":" stands for timeSeparator().
    QString timeFormat() const { return timeFormat_; }
    QChar timeSeparator() const { return separator_; }
    QString amDesignator() const { return am_; }
    QString pmDesignator() const { return pm_; }

private:
    QString timeFormat_;
    QChar separator_ = QLatin1Char(':');
    bool twelveHour_ = false;
    bool padHour_ = false;
    QString am_;
    QString pm_;
    QStringList dayNames_;   // Sunday first
    QStringList monthNames_; // January first
};

} // namespace palvane
