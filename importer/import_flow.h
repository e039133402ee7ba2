#pragma once
// Contacts in from the desktop, one file after another: the files to import (chosen in a file
// dialog when none is given), a confirmation naming the file and the table, then the import's
// window with its progress and result.

#include "tools/default_table.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace palvane::importer {

// Imports files (paths or file: URLs) into the table of location, asking first for each; the
// user's own table is created when the first import is confirmed. Returns 0 when every import
// the user confirmed succeeded (or none was confirmed), 1 when one did not.
int importFiles(const QStringList& files, const tool::TableLocation& location);

// The files the user chooses to import; empty when they cancel.
QStringList chooseFiles();

// The confirmation's text for importing file into table.
QString confirmationText(const QString& file, const QString& table, bool tableIsNew);

// Test seam: the next chooseFiles() answers with these files without a window.
namespace chooser_seam {
void setNextAnswer(const QStringList& files);
void clear();
} // namespace chooser_seam

} // namespace palvane::importer
