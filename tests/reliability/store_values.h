#pragma once
// The values the reliability helpers store and the tests expect: every store is numbered, and
// its number alone gives all eight fields, so a test can tell from the file which store a
// record holds and whether any field of it is from another store (half written).

#include "store/table.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace palvane::reliability {

struct StoreValues {
    QString nick;
    QString name;
    QString location;
    QString email;
    QString notes;
    double timeDisplacement = 0.0;
    int spin = 0;
    QString picture;

    bool operator==(const StoreValues&) const = default;
};

// Store number seq of the writer called owner. The notes run from empty to several pages, so
// that a store spans many pages of the file and a crash can land in the middle of it.
inline StoreValues valuesFor(const QString& owner, std::int64_t seq) {
    StoreValues v;
    const QString tag = QStringLiteral("%1-%2").arg(owner).arg(seq);
    v.nick = owner + QStringLiteral("-nick-") + QString::number(seq % 97);
    v.name = QStringLiteral("Name ") + tag;
    v.location = QStringLiteral("Location \u00e9\u00e8 ") + tag;
    v.email = tag + QStringLiteral("@example.org");
    const int notesLength = int((seq * 7919) % 12000);
    QString notes;
    notes.reserve(notesLength);
    while (notes.size() < notesLength)
        notes += tag + QLatin1Char(' ');
    v.notes = notes.left(notesLength);
    v.spin = int(seq % 49) - 24;
    v.timeDisplacement = v.spin / 24.0;
    v.picture = QStringLiteral("/pictures/") + tag + QStringLiteral(".bmp");
    return v;
}

// Store number seq of the full-disk run: six thousand characters of notes each.
inline StoreValues fillValues(std::int64_t seq) {
    StoreValues v = valuesFor(QStringLiteral("full"), seq);
    v.notes = QString(6000, QLatin1Char(char('a' + seq % 26)));
    return v;
}

// What New Entry stores: every text blank, offset and hours 0.
inline StoreValues newEntryValues() {
    return StoreValues{};
}

// Update Entry's writes into the current record, in the order the main window makes them.
inline void writeFields(Table& table, const StoreValues& v) {
    table.edit();
    table.fieldByName(QStringLiteral("IRC Nick")).setAsString(v.nick);
    table.fieldByName(QStringLiteral("IRC Name")).setAsString(v.name);
    table.fieldByName(QStringLiteral("IRC Location")).setAsString(v.location);
    table.fieldByName(QStringLiteral("IRC Notes")).setAsString(v.notes);
    table.fieldByName(QStringLiteral("IRC Time Displacement")).setAsFloat(v.timeDisplacement);
    table.fieldByName(QStringLiteral("IRC Email")).setAsString(v.email);
    table.fieldByName(QStringLiteral("IRC Spin")).setAsInteger(v.spin);
    table.fieldByName(QStringLiteral("IRC Picture")).setAsString(v.picture);
}

// New Entry's insertion: a blank record with offset and hours 0.
inline InsertValues newEntryInsert() {
    InsertValues values{};
    values[FieldTimeDisplacement] = 0;
    values[FieldSpin] = 0;
    return values;
}

} // namespace palvane::reliability
