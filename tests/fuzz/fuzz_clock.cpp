// Fuzzes the world clock with any offset a table file can hold: the 48-bit real rounding of
// the offset and the time and date texts of "now" plus that offset, in the locale the rest of
// the input names. Properties: NaN and infinities fail with the right message, finite values
// round within range or fail with the overflow message, and a text is either empty (no date to
// show) or well formed, never garbage. Not part of the CMake build: scripts/fuzz runs it.
// Input: 8 bytes of a double (the offset), 8 bytes of a double (the time of day, as days),
// then a locale name.

#include "core/clock_format.h"
#include "core/time_displacement.h"
#include "core/error.h"

#include <QLocale>
#include <QRegularExpression>
#include <QString>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

double readDouble(const std::uint8_t*& data, std::size_t& size) {
    double value = 0.0;
    const std::size_t n = size < sizeof value ? size : sizeof value;
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

// Texts of one formatter for one count of days: both empty or both well formed.
void checkTexts(const palvane::ClockFormatter& clock, double days) {
    const QString time = clock.formatTime(days);
    const QString date = clock.formatDate(days);
    check(time.isEmpty() == date.isEmpty());
    if (time.isEmpty()) {
        // Only counts outside the years 1 to 9999 have no text.
        check(!std::isfinite(days) || days < -693593.0 + 1e-6 || days >= 2958466.0 - 1e-6);
        return;
    }
    check(std::isfinite(days));
    const QString sep = QRegularExpression::escape(QString(clock.timeSeparator()));
    static const QRegularExpression noControl(QStringLiteral("[\\x00-\\x1f]"));
    check(!time.contains(noControl) && !date.contains(noControl));
    const QRegularExpression timeShape(QStringLiteral("^\\d{1,2}%1[0-5]\\d%1[0-5]\\d").arg(sep));
    check(timeShape.match(time).hasMatch());
    static const QRegularExpression yearEnd(QStringLiteral(", \\d{4}$"));
    check(yearEnd.match(date).hasMatch());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const double offset = readDouble(data, size);
    const double now = readDouble(data, size);
    const QString localeName =
        QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).left(32);

    double days = 0.0;
    try {
        days = palvane::toReal48(offset);
        check(std::isfinite(offset));
        check(std::fabs(days) <= palvane::real48Max());
        // Rounding keeps the value within its last place (or flushes tiny values to 0).
        check(days == 0.0 ? std::fabs(offset) < 1e-38
                          : std::fabs(days - offset) <= std::fabs(offset) * 1e-11);
    } catch (const palvane::Error& e) {
        if (std::isnan(offset))
            check(e.message() == QLatin1String("Invalid floating point operation"));
        else
            check(e.message() == QLatin1String("Floating point overflow"));
        check(std::isnan(offset) || std::fabs(offset) >= palvane::real48Max() * (1.0 - 1e-11));
    }

    palvane::ClockFormatter clock;
    clock.rebuild(QLocale(localeName));
    checkTexts(clock, now);
    checkTexts(clock, days);
    checkTexts(clock, now + days);
    (void)palvane::daysToDateTime(now + days);
    return 0;
}
