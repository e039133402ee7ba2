#include "tools/csv_columns.h"

#include "store/field_names.h"

#include <QHash>

namespace palvane::tool {

namespace {

// Letters and digits only, lower case; "e-mail" spelt "email".
QString key(const QString& header) {
    QString lower = header.toLower();
    lower.replace(QLatin1String("e-mail"), QLatin1String("email"));
    QString out;
    for (const QChar c : lower)
        if (c.isLetterOrNumber())
            out += c;
    return out;
}

bool startsWithAny(const QString& text, std::initializer_list<const char*> prefixes) {
    for (const char* prefix : prefixes)
        if (text.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

bool endsWithAny(const QString& text, std::initializer_list<const char*> suffixes) {
    for (const char* suffix : suffixes)
        if (text.endsWith(QLatin1String(suffix)))
            return true;
    return false;
}

// "email", "emailaddress", "email2address", "email1value", "primaryemail", "workemail", ...
// but not "emailtype", "email1label" or "emaildisplayname".
bool isEmailColumn(const QString& k, int& rank) {
    if (!k.contains(QLatin1String("email")) ||
        endsWithAny(k, {"type", "label", "name", "sensitivity", "kind"}))
        return false;
    rank = 1;
    if (k.startsWith(QLatin1String("primary"))) {
        rank = 0;
    } else if (startsWithAny(k, {"secondary", "work", "business"})) {
        rank = 2;
    } else if (startsWithAny(k, {"other", "alternate", "additional"})) {
        rank = 3;
    }
    for (const QChar c : k)
        if (c.isDigit()) {
            rank = c.digitValue();
            break;
        }
    return true;
}

// "city", "homecity", "address1city", "businesscity", "country", "homecountryregion", ...
bool isAddressPart(const QString& k, ColumnRole& role, int& rank) {
    QString group;
    if (k.endsWith(QLatin1String("city"))) {
        role = ColumnRole::City;
        group = k.chopped(4);
    } else if (k.endsWith(QLatin1String("locality"))) {
        role = ColumnRole::City;
        group = k.chopped(8);
    } else if (k.endsWith(QLatin1String("countryregion"))) {
        role = ColumnRole::Country;
        group = k.chopped(13);
    } else if (k.endsWith(QLatin1String("country"))) {
        role = ColumnRole::Country;
        group = k.chopped(7);
    } else {
        return false;
    }
    if (group.endsWith(QLatin1String("address")))
        group.chop(7);
    static const QHash<QString, int> groups = {{QString(), 0},
                                               {QStringLiteral("home"), 0},
                                               {QStringLiteral("personal"), 0},
                                               {QStringLiteral("address1"), 0},
                                               {QStringLiteral("1"), 0},
                                               {QStringLiteral("business"), 1},
                                               {QStringLiteral("work"), 1},
                                               {QStringLiteral("company"), 1},
                                               {QStringLiteral("address2"), 1},
                                               {QStringLiteral("2"), 1},
                                               {QStringLiteral("other"), 2},
                                               {QStringLiteral("address3"), 2},
                                               {QStringLiteral("3"), 2}};
    const auto it = groups.find(group);
    if (it == groups.end())
        return false;
    rank = *it;
    return true;
}

} // namespace

ColumnMeaning columnMeaning(const QString& header) {
    ColumnMeaning meaning;
    const QString trimmed = header.trimmed();
    for (int i = 0; i < FieldCount; ++i)
        if (trimmed.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0) {
            meaning.role = ColumnRole::Field;
            meaning.field = i;
            meaning.exact = true;
            return meaning;
        }
    static const QHash<QString, ColumnMeaning> names = {
        {QStringLiteral("nickname"), {ColumnRole::Field, FieldNick, false, 0}},
        {QStringLiteral("nick"), {ColumnRole::Field, FieldNick, false, 0}},
        {QStringLiteral("ircnickname"), {ColumnRole::Field, FieldNick, false, 0}},
        {QStringLiteral("name"), {ColumnRole::Field, FieldName, false, 0}},
        {QStringLiteral("displayname"), {ColumnRole::Field, FieldName, false, 0}},
        {QStringLiteral("fullname"), {ColumnRole::Field, FieldName, false, 0}},
        {QStringLiteral("formattedname"), {ColumnRole::Field, FieldName, false, 0}},
        {QStringLiteral("location"), {ColumnRole::Field, FieldLocation, false, 0}},
        {QStringLiteral("notes"), {ColumnRole::Field, FieldNotes, false, 0}},
        {QStringLiteral("note"), {ColumnRole::Field, FieldNotes, false, 0}},
        {QStringLiteral("comments"), {ColumnRole::Field, FieldNotes, false, 0}},
        {QStringLiteral("firstname"), {ColumnRole::GivenName, -1, false, 0}},
        {QStringLiteral("givenname"), {ColumnRole::GivenName, -1, false, 0}},
        {QStringLiteral("middlename"), {ColumnRole::MiddleName, -1, false, 0}},
        {QStringLiteral("additionalname"), {ColumnRole::MiddleName, -1, false, 0}},
        {QStringLiteral("lastname"), {ColumnRole::FamilyName, -1, false, 0}},
        {QStringLiteral("familyname"), {ColumnRole::FamilyName, -1, false, 0}},
        {QStringLiteral("surname"), {ColumnRole::FamilyName, -1, false, 0}},
    };
    const QString k = key(trimmed);
    if (const auto it = names.find(k); it != names.end())
        return *it;
    if (isEmailColumn(k, meaning.rank)) {
        meaning.role = ColumnRole::Email;
        return meaning;
    }
    if (isAddressPart(k, meaning.role, meaning.rank))
        return meaning;
    meaning.role = ColumnRole::Unknown;
    return meaning;
}

} // namespace palvane::tool
