#pragma once
// The eight fields of a contact record: their names as the table declares them, in field
// position order, and the kind of value each holds.

#include "store/table.h"

#include <array>

namespace palvane {

inline constexpr std::array<const char*, FieldCount> kFieldNames = {
    "IRC Nick", "IRC Name",   "IRC Location", "IRC Email", "IRC Notes", "IRC Time Displacement",
    "IRC Spin", "IRC Picture"};

enum class FieldKind { Text, Real, Integer };

constexpr FieldKind fieldKind(int index) {
    return index == FieldTimeDisplacement ? FieldKind::Real
           : index == FieldSpin           ? FieldKind::Integer
                                          : FieldKind::Text;
}

} // namespace palvane
