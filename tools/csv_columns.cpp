#include "tools/csv_columns.h"

#include "store/field_names.h"

#include <QHash>
#include <QRegularExpression>

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

// The words of the header that tell a kind ("home" of "Home Phone 2"): those that name the
// kind of value itself (skip) and numbers go.
QString typeFromName(const QString& header, const QStringList& skip) {
    QStringList words;
    for (const QString& word : header.toLower().split(
             QRegularExpression(QStringLiteral("[^\\w']+")), Qt::SkipEmptyParts)) {
        bool number = false;
        word.toInt(&number);
        if (!number && !skip.contains(word) && !words.contains(word))
            words << word;
    }
    return words.join(QLatin1Char(' '));
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

// "email", "emailaddress", "email2address", "primaryemail", "workemail", ... but not
// "emailtype", "email1label" or "emaildisplayname".
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

// The address groups: "home" of "Home Street", "address1" of "Address 1 - City"; the rank
// orders them when the location is taken from one (home, work, other, then by number).
bool addressGroup(const QString& group, int& rank, QString& type) {
    static const QHash<QString, std::pair<int, const char*>> groups = {
        {QString(), {0, ""}},
        {QStringLiteral("home"), {0, "home"}},
        {QStringLiteral("personal"), {0, "home"}},
        {QStringLiteral("business"), {1, "work"}},
        {QStringLiteral("work"), {1, "work"}},
        {QStringLiteral("company"), {1, "work"}},
        {QStringLiteral("other"), {2, "other"}}};
    if (const auto it = groups.find(group); it != groups.end()) {
        rank = it->first;
        type = QLatin1String(it->second);
        return true;
    }
    static const QRegularExpression numbered(QStringLiteral("^(?:address)?(\\d+)$"));
    const QRegularExpressionMatch m = numbered.match(group);
    if (!m.hasMatch())
        return false;
    rank = m.captured(1).toInt() - 1;
    type.clear();
    return true;
}

// "city", "homecity", "address1city", "businessstreet2", "homezipcode", "homeaddress" (the
// street, as one mail program names it), "homecountryregion", ...
bool isAddressPart(const QString& k, ColumnMeaning& meaning) {
    static const std::pair<const char*, AddressPartKind> parts[] = {
        {"countryregion", AddressPartKind::Country},
        {"country", AddressPartKind::Country},
        {"city", AddressPartKind::City},
        {"locality", AddressPartKind::City},
        {"postalcode", AddressPartKind::PostalCode},
        {"zipcode", AddressPartKind::PostalCode},
        {"postcode", AddressPartKind::PostalCode},
        {"zip", AddressPartKind::PostalCode},
        {"state", AddressPartKind::Region},
        {"region", AddressPartKind::Region},
        {"province", AddressPartKind::Region},
        {"pobox", AddressPartKind::PoBox},
        {"extendedaddress", AddressPartKind::Extended},
        {"formatted", AddressPartKind::Formatted},
        {"street", AddressPartKind::Street},
        {"address", AddressPartKind::Street},
    };
    static const QRegularExpression numberedLine(QStringLiteral("^(.*?)(\\d?)$"));
    // A trailing digit numbers the lines of a street ("Home Street 2").
    const QRegularExpressionMatch line = numberedLine.match(k);
    for (const auto& [name, kind] : parts) {
        const QString word = QLatin1String(name);
        QString group;
        if (k.endsWith(word))
            group = k.chopped(word.size());
        else if (kind == AddressPartKind::Street && line.captured(1).endsWith(word) &&
                 !line.captured(2).isEmpty())
            group = line.captured(1).chopped(word.size());
        else
            continue;
        if (group.endsWith(QLatin1String("address")) && kind != AddressPartKind::Extended)
            group.chop(7);
        // "Address" alone is a whole address; with a group it is that group's street.
        if (!addressGroup(group, meaning.rank, meaning.type))
            return false;
        meaning.role = ColumnRole::AddressPart;
        meaning.part = kind;
        meaning.stem = group.isEmpty() ? QStringLiteral("address") : group;
        return true;
    }
    return false;
}

// "Phone 1 - Value", "E-mail 2 - Type", "Address 1 - City", "Organization 1 - Title", ...
bool isNumberedColumn(const QString& header, const QString& k, ColumnMeaning& meaning) {
    static const QRegularExpression numbered(
        QStringLiteral("^(phone|email|im|website|address|event|organization)(\\d+)(.*)$"));
    const QRegularExpressionMatch m = numbered.match(k);
    if (!m.hasMatch())
        return false;
    const QString kind = m.captured(1);
    const QString rest = m.captured(3);
    meaning.stem = kind + m.captured(2);
    meaning.rank = m.captured(2).toInt();
    if (rest == QLatin1String("type") || rest == QLatin1String("label") ||
        rest == QLatin1String("service")) {
        meaning.role = ColumnRole::TypeOf;
        return true;
    }
    if (kind == QLatin1String("address")) {
        if (!isAddressPart(rest, meaning) || rest.isEmpty())
            return false;
        meaning.stem = kind + m.captured(2);
        meaning.rank = m.captured(2).toInt() - 1;
        meaning.type.clear();
        return true;
    }
    if (kind == QLatin1String("organization")) {
        static const QHash<QString, ColumnRole> roles = {
            {QStringLiteral("name"), ColumnRole::Company},
            {QStringLiteral("title"), ColumnRole::JobTitle},
            {QStringLiteral("department"), ColumnRole::Department}};
        meaning.role = roles.value(rest, ColumnRole::Unknown);
        return meaning.role != ColumnRole::Unknown;
    }
    if (rest != QLatin1String("value") && !(kind == QLatin1String("email") && rest.isEmpty()))
        return false;
    static const QHash<QString, ColumnRole> roles = {{QStringLiteral("phone"), ColumnRole::Phone},
                                                     {QStringLiteral("email"), ColumnRole::Email},
                                                     {QStringLiteral("im"), ColumnRole::Im},
                                                     {QStringLiteral("website"), ColumnRole::Web},
                                                     {QStringLiteral("event"), ColumnRole::Event}};
    meaning.role = roles.value(kind);
    Q_UNUSED(header);
    return true;
}

const QHash<QString, ColumnMeaning>& plainNames() {
    static const QHash<QString, ColumnMeaning> names = [] {
        QHash<QString, ColumnMeaning> n;
        const auto add = [&n](std::initializer_list<const char*> keys, ColumnRole role,
                              int field = -1) {
            for (const char* k : keys) {
                ColumnMeaning meaning;
                meaning.role = role;
                meaning.field = field;
                n.insert(QLatin1String(k), meaning);
            }
        };
        add({"nickname", "nick", "ircnickname"}, ColumnRole::Field, FieldNick);
        add({"name", "displayname", "fullname", "formattedname"}, ColumnRole::Field, FieldName);
        add({"location"}, ColumnRole::Field, FieldLocation);
        add({"notes", "note", "comments"}, ColumnRole::Field, FieldNotes);
        add({"firstname", "givenname"}, ColumnRole::GivenName);
        add({"middlename", "additionalname"}, ColumnRole::MiddleName);
        add({"lastname", "familyname", "surname"}, ColumnRole::FamilyName);
        add({"company", "companyname", "organization", "organisation", "organizationname"},
            ColumnRole::Company);
        add({"department", "dept"}, ColumnRole::Department);
        add({"jobtitle", "worktitle"}, ColumnRole::JobTitle);
        add({"birthday", "birthdate", "dateofbirth"}, ColumnRole::Birthday);
        add({"birthyear"}, ColumnRole::BirthYear);
        add({"birthmonth"}, ColumnRole::BirthMonth);
        add({"anniversary", "weddinganniversary"}, ColumnRole::Anniversary);
        add({"categories", "category", "groupmembership", "groups"}, ColumnRole::Categories);
        return n;
    }();
    return names;
}

// Messaging columns named after their network, and the network's name in the notes.
const QHash<QString, QString>& messagingColumns() {
    static const QHash<QString, QString> services = {
        {QStringLiteral("imaddress"), QString()},
        {QStringLiteral("screenname"), QString()},
        {QStringLiteral("instantmessenger"), QString()},
        {QStringLiteral("jabber"), QStringLiteral("xmpp")},
        {QStringLiteral("jabberid"), QStringLiteral("xmpp")},
        {QStringLiteral("xmpp"), QStringLiteral("xmpp")},
        {QStringLiteral("googletalk"), QStringLiteral("xmpp")},
        {QStringLiteral("aim"), QStringLiteral("aim")},
        {QStringLiteral("aimscreenname"), QStringLiteral("aim")},
        {QStringLiteral("icq"), QStringLiteral("icq")},
        {QStringLiteral("icqnumber"), QStringLiteral("icq")},
        {QStringLiteral("msn"), QStringLiteral("msn")},
        {QStringLiteral("msnim"), QStringLiteral("msn")},
        {QStringLiteral("yahoo"), QStringLiteral("yahoo")},
        {QStringLiteral("yahooid"), QStringLiteral("yahoo")},
        {QStringLiteral("yahooscreenname"), QStringLiteral("yahoo")},
        {QStringLiteral("skype"), QStringLiteral("skype")},
        {QStringLiteral("skypeid"), QStringLiteral("skype")},
        {QStringLiteral("skypename"), QStringLiteral("skype")},
        {QStringLiteral("gadugadu"), QStringLiteral("gadugadu")},
        {QStringLiteral("qq"), QStringLiteral("qq")},
        {QStringLiteral("irc"), QStringLiteral("irc")}};
    return services;
}

} // namespace

ColumnMeaning columnMeaning(const QString& header) {
    ColumnMeaning meaning;
    const QString trimmed = header.trimmed();
    if (trimmed.isEmpty()) {
        meaning.role = ColumnRole::Unnamed;
        return meaning;
    }
    for (int i = 0; i < FieldCount; ++i)
        if (trimmed.compare(QLatin1String(kFieldNames[i]), Qt::CaseInsensitive) == 0) {
            meaning.role = ColumnRole::Field;
            meaning.field = i;
            meaning.exact = true;
            return meaning;
        }
    const QString k = key(trimmed);
    if (const auto it = plainNames().find(k); it != plainNames().end())
        return *it;
    if (isNumberedColumn(trimmed, k, meaning))
        return meaning;
    if (isEmailColumn(k, meaning.rank)) {
        meaning.role = ColumnRole::Email;
        meaning.type =
            typeFromName(trimmed, {QStringLiteral("e"), QStringLiteral("mail"),
                                   QStringLiteral("email"), QStringLiteral("address"),
                                   QStringLiteral("primary"), QStringLiteral("secondary")});
        return meaning;
    }
    static const QRegularExpression phone(QStringLiteral(
        "^[a-z']*(phone|fax|pager|mobile|telephone|cellular|telex|callback|isdn)(number)?\\d*$"));
    if (phone.match(k).hasMatch()) {
        meaning.role = ColumnRole::Phone;
        meaning.type = typeFromName(trimmed, {QStringLiteral("phone"), QStringLiteral("number"),
                                              QStringLiteral("telephone"), QStringLiteral("tel")});
        return meaning;
    }
    if (const auto it = messagingColumns().find(k.chopped(k.endsWith(QLatin1Char('2')) ? 1 : 0));
        it != messagingColumns().end()) {
        meaning.role = ColumnRole::Im;
        meaning.service = *it;
        return meaning;
    }
    static const QRegularExpression web(
        QStringLiteral("^[a-z]*(webpage|website|homepage|url|webaddress)\\d*$|^web$"));
    if (web.match(k).hasMatch()) {
        meaning.role = ColumnRole::Web;
        meaning.type = typeFromName(trimmed, {QStringLiteral("web"), QStringLiteral("page"),
                                              QStringLiteral("site"), QStringLiteral("website"),
                                              QStringLiteral("homepage"), QStringLiteral("url"),
                                              QStringLiteral("address")});
        return meaning;
    }
    if (isAddressPart(k, meaning))
        return meaning;
    meaning.role = ColumnRole::Unknown;
    return meaning;
}

QStringList wellKnownColumnNames() {
    return {QStringLiteral("Nickname"),         QStringLiteral("Name"),
            QStringLiteral("Display Name"),     QStringLiteral("First Name"),
            QStringLiteral("Last Name"),        QStringLiteral("E-mail Address"),
            QStringLiteral("E-mail 1 - Value"), QStringLiteral("Location"),
            QStringLiteral("Home City"),        QStringLiteral("Home Country"),
            QStringLiteral("Home Street"),      QStringLiteral("Business Phone"),
            QStringLiteral("Phone 1 - Value"),  QStringLiteral("Company"),
            QStringLiteral("Job Title"),        QStringLiteral("Birthday"),
            QStringLiteral("Web Page"),         QStringLiteral("IM Address"),
            QStringLiteral("Categories"),       QStringLiteral("Notes")};
}

} // namespace palvane::tool
