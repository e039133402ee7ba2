#pragma once
// Edits one vCard property by property: every property that is not changed keeps its bytes,
// folding, parameters and place, so that what the table has no field for (telephone numbers,
// the organisation, further addresses...) goes back to the server exactly as it came.

#include "tools/vcard_scanner.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace palvane::sync {

class CardEditor {
public:
    // Throws SyncError when the text is not one vCard (BEGIN:VCARD ... END:VCARD).
    explicit CardEditor(const QByteArray& card);
    // A new card of version 3.0 with this UID and nothing else.
    static CardEditor blank(const QString& uid);

    QByteArray text() const;
    int version() const { return version_; }

    // Index of the preferred property of that name (PREF=1 or TYPE=pref first, else the first
    // one); -1 when there is none. Names are upper case, without a group.
    int preferred(const char* name) const;
    // The property's value, unfolded, escapes and encodings still in; empty for -1.
    QByteArray value(int index) const;
    const tool::VCardProperty& property(int index) const { return lines_[size_t(index)].parsed; }
    int count() const { return int(lines_.size()); }

    // Replaces the value (already escaped as vCard text), keeping the group and the
    // parameters but an ENCODING or CHARSET (the new value is plain UTF-8). With params given,
    // they replace the old ones.
    void setValue(int index, const QByteArray& value);
    void setValue(int index, const QByteArray& params, const QByteArray& value);
    void remove(int index);
    // Adds NAME[;params]:value before END:VCARD; the index of the new property.
    int append(const QByteArray& name, const QByteArray& params, const QByteArray& value);

    // A copy holding, of the properties of that name, only the preferred one.
    QByteArray withOnlyPreferred(const char* name) const;

private:
    struct Line {
        QByteArray raw;   // the physical lines, with their line breaks, as they came
        QByteArray group; // "item1." or empty
        tool::VCardProperty parsed;
    };
    CardEditor() = default;
    static Line parse(const QByteArray& raw);
    void rebuild(Line& line, const QByteArray& params, const QByteArray& value);

    std::vector<Line> lines_; // BEGIN to END, both included
    int version_ = 30;
};

// A text value with \\ \, \; escaped and line breaks as \n.
QByteArray escapeText(const QString& text);

} // namespace palvane::sync
