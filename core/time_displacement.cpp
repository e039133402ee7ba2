#include "core/time_displacement.h"

#include "core/error.h"

#include <QString>

#include <cmath>

namespace palvane {

namespace {

// The 48-bit real keeps 39 fraction bits behind a hidden leading one.
constexpr int kSignificandBits = 40;
// Its exponent byte runs from 1 to 255 with a bias of 129: 2^-128 up to 2^126 * (2 - 2^-39).
constexpr int kMinExponent = -128;
constexpr int kMaxExponent = 126;

} // namespace

double real48Max() {
    // (2^40 - 1) * 2^87 = 2^126 * (2 - 2^-39), about 1.7e38.
    static const double max =
        std::ldexp(std::ldexp(1.0, kSignificandBits) - 1.0, kMaxExponent + 1 - kSignificandBits);
    return max;
}

double toReal48(double value) {
    if (std::isnan(value))
        throw Error(QStringLiteral("Invalid floating point operation"));
    if (std::isinf(value))
        throw Error(QStringLiteral("Floating point overflow"));
    if (std::fabs(value) < std::ldexp(1.0, kMinExponent))
        return 0.0;
    int exponent = 0;
    const double fraction = std::frexp(value, &exponent); // 0.5 <= |fraction| < 1
    // Round to nearest, ties to even, like the floating-point unit's default mode.
    const double significand = std::nearbyint(std::ldexp(fraction, kSignificandBits));
    const double rounded = std::ldexp(significand, exponent - kSignificandBits);
    if (std::fabs(rounded) > real48Max())
        throw Error(QStringLiteral("Floating point overflow"));
    return rounded;
}

double hoursToDays(int hours) {
    // The product is formed in extended precision, as the factor is held.
    const long double days = static_cast<long double>(hours) * kOneTwentyFourth;
    return toReal48(static_cast<double>(days));
}

} // namespace palvane
