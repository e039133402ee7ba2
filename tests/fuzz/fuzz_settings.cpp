// Fuzzes the settings-file reader, writer and number conversion; not part of the CMake build.
//   clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fPIC -I. -o fuzz_settings \
//     tests/fuzz/fuzz_settings.cpp core/ini_format.cpp $(pkg-config --cflags --libs Qt6Core)
//   ./fuzz_settings -max_len=4096 -max_total_time=300   (both from the repository root)

#include "core/ini_format.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

QByteArray trimmedValue(const QByteArray& value) {
    qsizetype begin = 0;
    qsizetype end = value.size();
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
    };
    while (begin < end && blank(value[begin]))
        ++begin;
    while (end > begin && blank(value[end - 1]))
        --end;
    // A value in matching quotes reads without them.
    if (end - begin >= 2 && (value[begin] == '"' || value[begin] == '\'') &&
        value[end - 1] == value[begin]) {
        ++begin;
        --end;
    }
    return value.mid(begin, end - begin).left(1023);
}

// Writing then reading gives the value back, writing it again changes nothing, and the other
// key of the section reads as before.
void roundTrip(const QByteArray& content, const QByteArray& section, const QByteArray& key,
               const QByteArray& value) {
    QByteArray written;
    try {
        written = palvane::ini::writeValue(content, section, key, value);
    } catch (const std::invalid_argument&) {
        return; // names that cannot stand in a file are refused, not written
    }
    check(palvane::ini::readValue(written, section, key) == trimmedValue(value));
    check(palvane::ini::writeValue(written, section, key, value) == written);
    const QByteArray other = key.compare("Top", Qt::CaseInsensitive) == 0 ? "Left" : "Top";
    check(palvane::ini::readValue(written, section, other) ==
          palvane::ini::readValue(content, section, other));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));

    if (const auto number = palvane::ini::convertInteger(input))
        check(palvane::ini::convertInteger(QByteArray::number(*number)) == number);

    if (const auto value = palvane::ini::readValue(input, "Window", "Left"))
        check(value->size() <= 1023);

    // The first line of the input is a value (and a key name) to write into the rest.
    const qsizetype newline = input.indexOf('\n');
    const QByteArray value = newline < 0 ? QByteArray("226") : input.left(newline);
    const QByteArray content = newline < 0 ? input : input.mid(newline + 1);
    roundTrip(content, "Window", "Left", value.left(64).replace('\r', ' '));
    roundTrip(content, "Window", "Top", "-167");
    roundTrip(content, "Window", value.left(16).replace('\r', ' '), "1");
    return 0;
}
