#pragma once
// The nicks of a table for completing them in an IRC client.

#include <QString>

#include <functional>

namespace palvane::tool {

// Calls each with every nick of the table in nick order, once for nicks that differ only in
// case (the first of them); nicks that cannot be IRC nicks (blank, or holding a space or a
// control character) are left out. Opens the table read-only; throws TableError.
void listNicks(const QString& tablePath, const std::function<void(const QString&)>& each);

} // namespace palvane::tool
