#pragma once
// What the benchmark programs share: the nicks of their generated tables, the floor query and
// the median of a run's times.

#include <QChar>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace palvane::bench {

// Nicks of 3 to 10 lower-case letters from a fixed generator: every run, and every benchmark
// program, sees the same spread of nicks.
inline QString generatedNick(std::int64_t i) {
    std::uint64_t x = std::uint64_t(i) * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 29;
    const int length = 3 + int(x % 8);
    QString nick;
    for (int k = 0; k < length; ++k) {
        x = x * 6364136223846793005ull + 1442695040888963407ull;
        nick += QChar(u'a' + char16_t((x >> 33) % 26));
    }
    return nick;
}

// The floor: one raw nearest-nick lookup on the nick index, all eight fields, as the window
// would read them, with nothing of ours around it.
inline constexpr const char* kFloorQuery =
    "SELECT rowid, \"IRC Nick\", \"IRC Name\", \"IRC Location\", \"IRC Email\", "
    "\"IRC Notes\", \"IRC Time Displacement\", \"IRC Spin\", \"IRC Picture\" "
    "FROM contacts WHERE \"IRC Nick\" >= ?1 COLLATE NOCASE "
    "ORDER BY \"IRC Nick\" COLLATE NOCASE, rowid LIMIT 1";

// The median of the values; NaN when there are none.
inline double median(std::vector<double> values) {
    if (values.empty())
        return NAN;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

} // namespace palvane::bench
