#pragma once
// Sample contacts for the table tool's demo command.

#include "store/schema.h"

#include <QString>

#include <vector>

namespace palvane::tool {

// About a dozen varied IRC contacts: offsets from -11 to +13 hours, multi-line notes, equal
// and similar nicks, and some 64x64 bitmaps drawn into pictureDir (created when missing;
// existing bitmaps there are kept and used). Throws palvane::TableError when a picture cannot
// be written.
std::vector<ContactRow> sampleContacts(const QString& pictureDir);

// Fills row i of a generated table (for benchmarks): spread-out nicks with some duplicates,
// both offset fields consistent.
void generatedContact(qint64 i, ContactRow& row);

} // namespace palvane::tool
