#pragma once
// A contact's offset from the user's local time is kept twice: "IRC Spin" in whole hours (what
// the Edit/Add tab's spin box edits) and "IRC Time Displacement" in days (what the clock adds
// after a search). Whatever fills them from outside the windows (an import, the table tool's
// commands) gives one and derives the other, so that browsing and searching never show two
// different times for one contact; tables where the two differ are found by the same rule.
// Days from hours are always hoursToDays (time_displacement.h): the very value the spin box
// gives, to the last bit.

#include <QString>

#include <optional>

namespace palvane {

// The two may differ by this much and still name one offset (36 seconds): a day offset
// written with four decimals, or rounded to the precision the program keeps, still agrees.
inline constexpr double kOffsetToleranceHours = 0.01;

// Whether the day offset is the hour offset (a blank one reads as 0, as the windows read it).
bool offsetsAgree(double days, int hours);

// The offset as given, either part possibly blank (not given).
struct ContactOffset {
    std::optional<double> days;
    std::optional<int> hours;
};

enum class OffsetMatch {
    Blank,        // neither given: both stay blank
    Agree,        // both given, naming one offset: kept as given
    DaysDerived,  // only hours given: days = hoursToDays(hours)
    HoursDerived, // only days given, a whole number of hours: hours from them
    HoursRounded, // only days given, not whole hours: hours rounded, halves away from zero
    Disagree,     // both given, naming different offsets: nothing changed
};

// Fills in the part that is not given from the other. The days must be finite and the hours
// they make must fit an int (callers check their ranges first).
OffsetMatch completeOffset(ContactOffset& offset);

// "\"IRC Time Displacement\" is 0.25 days (6 hours) but \"IRC Spin\" is 5 hours", for the
// message that refuses or reports a pair that disagrees.
QString describeDisagreement(double days, int hours);

} // namespace palvane
