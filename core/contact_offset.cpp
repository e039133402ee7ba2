#include "core/contact_offset.h"

#include "core/time_displacement.h"

#include <cmath>

namespace palvane {

bool offsetsAgree(double days, int hours) {
    return std::fabs(days * 24.0 - hours) <= kOffsetToleranceHours;
}

OffsetMatch completeOffset(ContactOffset& offset) {
    if (offset.days && offset.hours)
        return offsetsAgree(*offset.days, *offset.hours) ? OffsetMatch::Agree
                                                         : OffsetMatch::Disagree;
    if (offset.hours) {
        offset.days = hoursToDays(*offset.hours);
        return OffsetMatch::DaysDerived;
    }
    if (!offset.days)
        return OffsetMatch::Blank;
    const double hours = *offset.days * 24.0;
    offset.hours = static_cast<int>(std::round(hours));
    return std::fabs(hours - *offset.hours) <= kOffsetToleranceHours ? OffsetMatch::HoursDerived
                                                                     : OffsetMatch::HoursRounded;
}

QString describeDisagreement(double days, int hours) {
    return QStringLiteral("\"IRC Time Displacement\" is %1 days (%2 hours) but \"IRC Spin\" is %3 "
                          "hours")
        .arg(days, 0, 'g', 10)
        .arg(days * 24.0, 0, 'g', 6)
        .arg(hours);
}

} // namespace palvane
