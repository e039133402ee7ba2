#include "tools/csv_plan.h"

#include "core/contact_offset.h"
#include "store/field_names.h"
#include "tools/csv_columns.h"
#include "tools/extra_lines.h"
#include "tools/vcard_values.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <optional>

namespace palvane::tool {

namespace {

constexpr int kMinHours = -24;
constexpr int kMaxHours = 24;
constexpr qsizetype kNamedColumns = 8; // in the warning about columns left out

QString quotedList(const QStringList& names) {
    QStringList quoted;
    for (const QString& name : names)
        quoted << QStringLiteral("\"%1\"").arg(name);
    return quoted.join(QStringLiteral(", "));
}

QString fieldList() {
    QStringList names;
    for (const char* name : kFieldNames)
        names << QLatin1String(name);
    return quotedList(names);
}

// A number in the C locale, whatever the user's: Qt's own conversion is several times slower.
template <typename Number> bool parseNumber(const QString& text, Number& value) {
    QByteArray latin = text.toLatin1();
    if (latin.startsWith('+'))
        latin.remove(0, 1);
    const char* end = latin.constData() + latin.size();
    const auto result = std::from_chars(latin.constData(), end, value);
    return result.ec == std::errc() && result.ptr == end && !latin.isEmpty();
}

std::optional<int> readHours(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    int hours = 0;
    if (!parseNumber(text, hours) || hours < kMinHours || hours > kMaxHours)
        throw FormatError(line, QStringLiteral("\"IRC Spin\" must be a whole number of hours "
                                               "from -24 to 24, not '%1'")
                                    .arg(shown(text)));
    return hours;
}

std::optional<double> readDays(const QString& cell, int line) {
    const QString text = cell.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    double days = 0;
    if (!parseNumber(text, days) || !std::isfinite(days) || std::fabs(days) > 1.0)
        throw FormatError(line, QStringLiteral("\"IRC Time Displacement\" must be a number of "
                                               "days from -1 to 1, not '%1'")
                                    .arg(shown(text)));
    return days;
}

// One web mail program puts several values of a kind into one cell: "a ::: b".
QStringList valuesOf(const QString& cell) {
    QStringList values;
    for (const QString& value : cell.split(QStringLiteral(":::"), Qt::SkipEmptyParts))
        if (const QString trimmed = value.trimmed(); !trimmed.isEmpty())
            values << trimmed;
    return values;
}

QString twoDigits(const QString& number) {
    return number.size() == 1 ? QLatin1Char('0') + number : number;
}

} // namespace

CsvPlan::CsvPlan(const QStringList& header, int line) : header_(header) {
    fields_.fill(-1);
    std::vector<ColumnMeaning> meanings;
    meanings.reserve(size_t(header.size()));
    bool birthParts = false;
    for (const QString& name : header) {
        meanings.push_back(columnMeaning(name));
        birthParts = birthParts || meanings.back().role == ColumnRole::BirthYear ||
                     meanings.back().role == ColumnRole::BirthMonth;
    }
    bool anyUsed = false;
    const auto extra = [this](Extra kind, int column, const ColumnMeaning& meaning) {
        extras_.push_back({kind, column, meaning.type, meaning.stem});
    };
    // A column that gives way to another of the same meaning: a nickname still goes to the
    // notes; anything else is left out.
    const auto gaveWay = [&](int column) {
        if (meanings[size_t(column)].role == ColumnRole::Field &&
            meanings[size_t(column)].field == FieldNick)
            extra(Extra::Nickname, column, meanings[size_t(column)]);
        else
            leftOut_.push_back(column);
    };
    const auto take = [&](int& slot, int column) {
        if (slot >= 0)
            gaveWay(column);
        else
            slot = column;
    };
    for (int column = 0; column < header.size(); ++column) {
        const ColumnMeaning& meaning = meanings[size_t(column)];
        anyUsed =
            anyUsed || (meaning.role != ColumnRole::Unknown &&
                        meaning.role != ColumnRole::Unnamed && meaning.role != ColumnRole::TypeOf);
        switch (meaning.role) {
        case ColumnRole::Field: {
            int& slot = fields_[meaning.field];
            if (!meaning.exact) {
                take(slot, column);
                break;
            }
            if (slot >= 0 && meanings[size_t(slot)].exact)
                throw FormatError(line, QStringLiteral("the header row names \"%1\" twice")
                                            .arg(QLatin1String(kFieldNames[meaning.field])));
            if (slot >= 0)
                gaveWay(slot); // the table's own name wins over another's
            slot = column;
            break;
        }
        case ColumnRole::GivenName:
            take(given_, column);
            break;
        case ColumnRole::MiddleName:
            take(middle_, column);
            break;
        case ColumnRole::FamilyName:
            take(family_, column);
            break;
        case ColumnRole::Email:
            emails_.emplace_back(meaning.rank, column);
            extra(Extra::Email, column, meaning);
            break;
        case ColumnRole::AddressPart: {
            auto group = std::find_if(groups_.begin(), groups_.end(), [&](const AddressGroup& g) {
                return g.stem == meaning.stem;
            });
            if (group == groups_.end()) {
                AddressGroup made;
                made.stem = meaning.stem;
                made.rank = meaning.rank;
                made.first = column;
                made.type = meaning.type;
                made.parts.fill(-1);
                groups_.push_back(made);
                group = groups_.end() - 1;
            }
            int& slot = group->parts[size_t(meaning.part)];
            if (slot < 0)
                slot = column;
            else if (meaning.part == AddressPartKind::Street)
                group->moreStreets.push_back(column);
            else
                leftOut_.push_back(column);
            break;
        }
        case ColumnRole::Phone:
            extra(Extra::Phone, column, meaning);
            break;
        case ColumnRole::Company:
            extra(Extra::Company, column, meaning);
            break;
        case ColumnRole::Department:
            extra(Extra::Department, column, meaning);
            break;
        case ColumnRole::JobTitle:
            extra(Extra::JobTitle, column, meaning);
            break;
        case ColumnRole::Birthday:
            // Beside a year and a month column, "Birth Day" is the day of the month.
            if (birthParts)
                take(birthDay_, column);
            else
                extra(Extra::Birthday, column, meaning);
            break;
        case ColumnRole::BirthYear:
            take(birthYear_, column);
            break;
        case ColumnRole::BirthMonth:
            take(birthMonth_, column);
            break;
        case ColumnRole::Anniversary:
            extra(Extra::Anniversary, column, meaning);
            break;
        case ColumnRole::Event:
            extra(Extra::Event, column, meaning);
            break;
        case ColumnRole::Web:
            extra(Extra::Web, column, meaning);
            break;
        case ColumnRole::Im: {
            messaging_.push_back(column);
            ColumnMeaning withService = meaning;
            withService.type = meaning.service;
            extra(Extra::Im, column, withService);
            break;
        }
        case ColumnRole::Categories:
            extra(Extra::Categories, column, meaning);
            break;
        case ColumnRole::TypeOf:
            typeColumns_.emplace_back(meaning.stem, column);
            break;
        case ColumnRole::Unnamed:
            unnamed_.push_back(column);
            break;
        case ColumnRole::Unknown:
            leftOut_.push_back(column);
            break;
        }
    }
    if (!anyUsed)
        throw FormatError(line, QStringLiteral("the header row names no field of the table (the "
                                               "columns are %1, or the names mail programs give "
                                               "them, such as %2)")
                                    .arg(fieldList(), quotedList(wellKnownColumnNames())));
    // A type column that types nothing is left out like any other.
    for (const auto& [stem, column] : typeColumns_) {
        const bool types = std::any_of(extras_.begin(), extras_.end(),
                                       [&](const ExtraColumn& e) { return e.stem == stem; }) ||
                           std::any_of(groups_.begin(), groups_.end(),
                                       [&](const AddressGroup& g) { return g.stem == stem; });
        if (!types)
            leftOut_.push_back(column);
    }
    if (birthYear_ >= 0 || birthMonth_ >= 0 || birthDay_ >= 0)
        extras_.push_back({Extra::BirthParts,
                           std::min({birthYear_ < 0 ? INT_MAX : birthYear_,
                                     birthMonth_ < 0 ? INT_MAX : birthMonth_,
                                     birthDay_ < 0 ? INT_MAX : birthDay_}),
                           {},
                           {}});
    std::stable_sort(groups_.begin(), groups_.end(), [](const auto& a, const auto& b) {
        return a.rank != b.rank ? a.rank < b.rank : a.first < b.first;
    });
    for (int g = 0; g < int(groups_.size()); ++g)
        extras_.push_back({Extra::Address, groups_[size_t(g)].first, {}, {}, g});
    std::stable_sort(extras_.begin(), extras_.end(),
                     [](const auto& a, const auto& b) { return a.column < b.column; });
    std::stable_sort(emails_.begin(), emails_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::sort(leftOut_.begin(), leftOut_.end());
    leftOutHeld_.assign(leftOut_.size(), false);
    unnamedHeld_.assign(unnamed_.size(), false);
}

bool CsvPlan::acceptsWidth(qsizetype cells) const {
    if (cells == header_.size())
        return true;
    if (cells > header_.size())
        return false;
    for (qsizetype column = cells; column < header_.size(); ++column)
        if (std::find(unnamed_.begin(), unnamed_.end(), int(column)) == unnamed_.end())
            return false;
    return true;
}

QString CsvPlan::cell(int column) const {
    return column >= 0 && column < cells_->size() ? (*cells_)[column] : QString();
}

QString CsvPlan::typeOf(const ExtraColumn& extra) const {
    QStringList types{extra.type};
    if (!extra.stem.isEmpty())
        for (const auto& [stem, column] : typeColumns_)
            if (stem == extra.stem)
                types << cell(column);
    return typeText(types);
}

void CsvPlan::fillName(ContactRow& row) const {
    row.name = cell(fields_[FieldName]);
    if (fields_[FieldName] >= 0)
        return;
    QStringList parts;
    for (const int column : {given_, middle_, family_})
        if (const QString part = cell(column).trimmed(); !part.isEmpty())
            parts << part;
    if (!parts.isEmpty())
        row.name = parts.join(QLatin1Char(' '));
}

void CsvPlan::fillEmail(ContactRow& row, int& chosenColumn, int& chosenIndex) const {
    row.email = cell(fields_[FieldEmail]);
    if (fields_[FieldEmail] >= 0)
        return;
    for (const auto& [rank, column] : emails_) {
        const QStringList values = valuesOf(cell(column));
        if (values.isEmpty())
            continue;
        row.email = values.front();
        chosenColumn = column;
        chosenIndex = 0;
        return;
    }
}

int CsvPlan::fillLocation(ContactRow& row) const {
    row.location = cell(fields_[FieldLocation]);
    // An empty column never hides a filled one.
    if (!row.location.trimmed().isEmpty())
        return -1;
    for (int g = 0; g < int(groups_.size()); ++g) {
        const AddressGroup& group = groups_[size_t(g)];
        const QString city = cell(group.parts[size_t(AddressPartKind::City)]).trimmed();
        const QString country = cell(group.parts[size_t(AddressPartKind::Country)]).trimmed();
        if (city.isEmpty() && country.isEmpty())
            continue;
        row.location = placeName(city, country);
        return g;
    }
    return -1;
}

void CsvPlan::fillNickFromMessaging(ContactRow& row, int& nickColumn, int& nickIndex) const {
    if (!row.nick.trimmed().isEmpty())
        return;
    for (const ExtraColumn& extra : extras_) {
        if (extra.kind != Extra::Im)
            continue;
        const bool irc = typeOf(extra).split(QStringLiteral(", ")).contains(QStringLiteral("irc"));
        const QStringList values = valuesOf(cell(extra.column));
        for (int i = 0; i < values.size(); ++i) {
            std::optional<QString> nick = nickFromIrcUri(values[i]);
            if (!nick && irc && !values[i].contains(QLatin1Char(':')))
                nick = values[i];
            if (nick) {
                row.nick = *nick;
                nickColumn = extra.column;
                nickIndex = i;
                return;
            }
        }
    }
}

QString CsvPlan::addressLine(const AddressGroup& group, bool location) const {
    const auto part = [&](AddressPartKind kind) {
        return cell(group.parts[size_t(kind)]).trimmed();
    };
    QStringList streets{part(AddressPartKind::Street)};
    for (const int column : group.moreStreets)
        streets << cell(column).trimmed();
    const QString beyond = joinedParts(
        QStringList{part(AddressPartKind::PoBox), part(AddressPartKind::Extended)} + streets +
        QStringList{part(AddressPartKind::Region), part(AddressPartKind::PostalCode)});
    const QString city = part(AddressPartKind::City);
    const QString country = part(AddressPartKind::Country);
    QStringList types{group.type};
    for (const auto& [stem, column] : typeColumns_)
        if (stem == group.stem)
            types << cell(column);
    if (beyond.isEmpty() && city.isEmpty() && country.isEmpty())
        return extraLine(label::Address, typeText(types), part(AddressPartKind::Formatted));
    // The location already holds a city and country alone.
    if (location && beyond.isEmpty())
        return {};
    return extraLine(
        label::Address, typeText(types),
        joinedParts(QStringList{part(AddressPartKind::PoBox), part(AddressPartKind::Extended)} +
                    streets +
                    QStringList{city, part(AddressPartKind::Region),
                                part(AddressPartKind::PostalCode), country}));
}

QString CsvPlan::birthFromParts() const {
    const QString year = cell(birthYear_).trimmed();
    const QString month = cell(birthMonth_).trimmed();
    const QString day = cell(birthDay_).trimmed();
    if (month.isEmpty() || day.isEmpty())
        return joinedParts({year, month, day});
    return (year.isEmpty() ? QStringLiteral("-") : year) + QLatin1Char('-') + twoDigits(month) +
           QLatin1Char('-') + twoDigits(day);
}

void CsvPlan::addExtra(const ExtraColumn& extra, DecodedContact& contact, int chosenEmailColumn,
                       int chosenEmailIndex, int nickColumn, int nickIndex, int locationGroup,
                       QString& company, QString& phone) const {
    ContactRow& row = contact.row;
    QStringList& lines = contact.extras;
    const auto add = [&lines](const QString& line) {
        if (!line.isEmpty())
            lines << line;
    };
    const QString value = cell(extra.column);
    switch (extra.kind) {
    case Extra::Email: {
        const QStringList values = valuesOf(value);
        for (int i = 0; i < values.size(); ++i)
            if (!(extra.column == chosenEmailColumn && i == chosenEmailIndex) &&
                values[i] != row.email)
                add(extraLine(label::Email, typeOf(extra), values[i]));
        break;
    }
    case Extra::Phone:
        for (const QString& number : valuesOf(value)) {
            if (phone.isEmpty())
                phone = number;
            add(extraLine(label::Phone, typeOf(extra), number));
        }
        break;
    case Extra::Company:
        if (company.isEmpty())
            company = value.trimmed();
        add(extraLine(label::Organisation, {}, value));
        break;
    case Extra::Department:
        add(extraLine(label::Department, {}, value));
        break;
    case Extra::JobTitle:
        add(extraLine(label::Title, {}, value));
        break;
    case Extra::Birthday:
        add(extraLine(label::Birthday, {}, dateText(value)));
        break;
    case Extra::BirthParts:
        add(extraLine(label::Birthday, {}, birthFromParts()));
        break;
    case Extra::Anniversary:
        add(extraLine(label::Anniversary, {}, dateText(value)));
        break;
    case Extra::Event: {
        const QString type = typeOf(extra);
        if (type == QLatin1String("anniversary"))
            add(extraLine(label::Anniversary, {}, dateText(value)));
        else if (type == QLatin1String("birthday"))
            add(extraLine(label::Birthday, {}, dateText(value)));
        else
            add(extraLine(label::Date, type, dateText(value)));
        break;
    }
    case Extra::Web:
        for (const QString& page : valuesOf(value))
            add(extraLine(label::Web, typeOf(extra), page));
        break;
    case Extra::Im: {
        const QStringList values = valuesOf(value);
        for (int i = 0; i < values.size(); ++i) {
            if (extra.column == nickColumn && i == nickIndex)
                continue; // the nick came from here
            const std::optional<QString> nick = nickFromIrcUri(values[i]);
            if (nick && nick->trimmed().compare(row.nick.trimmed(), Qt::CaseInsensitive) == 0)
                continue;
            add(messagingLine({typeOf(extra)}, values[i]));
        }
        break;
    }
    case Extra::Categories: {
        QStringList names;
        for (QString name : valuesOf(value))
            names << (name.startsWith(QLatin1Char('*')) ? name.mid(1).trimmed() : name);
        add(extraLine(label::Categories, {}, joinedParts(names)));
        break;
    }
    case Extra::Nickname:
        if (value.trimmed() != row.nick.trimmed())
            add(extraLine(label::Nickname, {}, value));
        break;
    case Extra::Address:
        add(addressLine(groups_[size_t(extra.group)], extra.group == locationGroup));
        break;
    }
}

void CsvPlan::fillOffsets(ContactRow& row, int line, const WarningSink& warn) const {
    const int daysColumn = fields_[FieldTimeDisplacement];
    const int hoursColumn = fields_[FieldSpin];
    row.spin = 0;
    row.timeDisplacement = 0.0;
    if (daysColumn < 0 && hoursColumn < 0)
        return; // a file without an offset: 0, as New Entry gives
    ContactOffset offset;
    if (hoursColumn >= 0)
        offset.hours = readHours(cell(hoursColumn), line);
    if (daysColumn >= 0)
        offset.days = readDays(cell(daysColumn), line);
    switch (completeOffset(offset)) {
    case OffsetMatch::Disagree:
        throw FormatError(line, describeDisagreement(*offset.days, *offset.hours) +
                                    QStringLiteral("; give one of them, or two that name the "
                                                   "same offset"));
    case OffsetMatch::HoursRounded:
        if (warn)
            warn(QStringLiteral("line %1, %2: an offset of %3 hours is not whole; \"IRC "
                                "Spin\" rounded to %4")
                     .arg(line)
                     .arg(describeContact(row))
                     .arg(*offset.days * 24.0, 0, 'g', 6)
                     .arg(*offset.hours));
        break;
    default:
        break;
    }
    row.spin = offset.hours;
    row.timeDisplacement = offset.days;
}

void CsvPlan::decode(const QStringList& cells, int line, DecodedContact& contact,
                     const WarningSink& warn) {
    cells_ = &cells;
    contact.extras.clear();
    ContactRow& row = contact.row;
    row = ContactRow();
    row.nick = cell(fields_[FieldNick]);
    fillName(row);
    int chosenEmailColumn = -1;
    int chosenEmailIndex = -1;
    fillEmail(row, chosenEmailColumn, chosenEmailIndex);
    const int locationGroup = fillLocation(row);
    row.notes = cell(fields_[FieldNotes]);
    row.picture = cell(fields_[FieldPicture]);
    int nickColumn = -1;
    int nickIndex = -1;
    fillNickFromMessaging(row, nickColumn, nickIndex);
    QString company;
    QString phone;
    for (const ExtraColumn& extra : extras_)
        addExtra(extra, contact, chosenEmailColumn, chosenEmailIndex, nickColumn, nickIndex,
                 locationGroup, company, phone);
    nameFromOtherValues(row, company, phone);
    for (size_t i = 0; i < leftOut_.size(); ++i)
        if (!leftOutHeld_[i] && !cell(leftOut_[i]).trimmed().isEmpty())
            leftOutHeld_[i] = true;
    for (size_t i = 0; i < unnamed_.size(); ++i)
        if (!unnamedHeld_[i] && !cell(unnamed_[i]).trimmed().isEmpty())
            unnamedHeld_[i] = true;
    try {
        fillOffsets(row, line, warn);
    } catch (...) {
        cells_ = nullptr;
        throw;
    }
    cells_ = nullptr;
}

QStringList CsvPlan::leftOutWarnings() const {
    QStringList warnings;
    QStringList names;
    for (size_t i = 0; i < leftOut_.size(); ++i)
        if (leftOutHeld_[i])
            names << QStringLiteral("'%1'").arg(shown(header_[leftOut_[i]].trimmed()));
    if (!names.isEmpty()) {
        const qsizetype more = names.size() - kNamedColumns;
        if (more > 0) {
            names = names.mid(0, kNamedColumns);
            names << QStringLiteral("%1 more").arg(more);
        }
        warnings << QStringLiteral("not imported, as the table has no field for them (or has it "
                                   "from another column): the columns %1")
                        .arg(names.join(QStringLiteral(", ")));
    }
    for (size_t i = 0; i < unnamed_.size(); ++i)
        if (unnamedHeld_[i])
            warnings << QStringLiteral("column %1 has no name in the header row; its values were "
                                       "not imported")
                            .arg(unnamed_[i] + 1);
    return warnings;
}

} // namespace palvane::tool
