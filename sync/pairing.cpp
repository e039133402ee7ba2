// The first sync of a table and an address book that both hold contacts: a card meets the
// contact with its UID (known from an earlier set-up), else its nick (case ignored), else its
// e-mail address; only a contact that is the one of its kind is paired.

#include "sync/sync_run.h"
#include "tools/contacts_format.h"

namespace palvane::sync {

namespace {

void remember(QHash<QString, qint64>& index, const QString& key, qint64 row) {
    if (key.isEmpty())
        return;
    const auto found = index.constFind(key);
    index.insert(key, found == index.constEnd() ? row : -1); // -1: more than one
}

bool sharesAName(const ContactRow& contact, const ContactRow& card) {
    bool anyOnCard = false;
    for (const auto& [mine, theirs] :
         {std::pair{&contact.nick, &card.nick}, std::pair{&contact.email, &card.email},
          std::pair{&contact.name, &card.name}}) {
        if (theirs->trimmed().isEmpty())
            continue;
        anyOnCard = true;
        if (mine->trimmed().compare(theirs->trimmed(), Qt::CaseInsensitive) == 0)
            return true;
    }
    return !anyOnCard;
}

} // namespace

void Run::collectPairing() {
    qint64 after = 0;
    for (;;) {
        const auto rows = writer_.readAfter(after, 1000);
        if (rows.empty())
            return;
        for (const auto& [row, contact] : rows) {
            remember(byNick_, contact.nick.toCaseFolded(), row);
            remember(byEmail_, contact.email.trimmed().toCaseFolded(), row);
        }
        after = rows.back().first;
    }
}

std::optional<CardState> Run::pairWithLocal(const QString& href, const CardEditor& card,
                                            const ContactRow& decoded) {
    if (byNick_.isEmpty() && byEmail_.isEmpty())
        return std::nullopt;
    const QString uid = cardUid(card);
    std::optional<qint64> row;
    QString how;
    if (const std::optional<qint64> hinted = uid.isEmpty() ? std::nullopt : state_.rowOfUid(uid);
        hinted && !paired_.contains(*hinted)) {
        // The hint names a rowid, which a dump and restore may have given to another contact
        // since: it holds only while the contact there still shares a nick, e-mail or name
        // with the card.
        ContactRow hintedContact;
        if (writer_.read(*hinted, hintedContact) && sharesAName(hintedContact, decoded)) {
            row = hinted;
            how = QStringLiteral("UID");
        }
    }
    const auto lookUp = [&](const QHash<QString, qint64>& index, const QString& key,
                            const QString& name) {
        const qint64 found = key.isEmpty() ? -1 : index.value(key, -1);
        if (!row && found >= 0 && !paired_.contains(found)) {
            row = found;
            how = name;
        }
    };
    lookUp(byNick_, decoded.nick.toCaseFolded(), QStringLiteral("nick"));
    lookUp(byEmail_, decoded.email.trimmed().toCaseFolded(), QStringLiteral("e-mail"));
    ContactRow local;
    if (!row || !writer_.read(*row, local) || state_.byRow(*row))
        return std::nullopt;
    paired_.insert(*row);

    // No common past: equal values agree, a value on one side only goes to the other, and
    // different values are conflicts (but two pictures, which cannot be compared, stay).
    CardState state;
    state.href = href;
    state.row = row;
    state.uid = uid;
    state.card = card.text();
    const FieldValues mine = localValues(local);
    const FieldValues theirs = localValues(decoded);
    const FieldValues server = serverValues(card, decoded);
    for (int f = 0; f < kSyncFieldCount; ++f) {
        const bool equal =
            mine[f] == theirs[f] || (f == Picture && !mine[f].isEmpty() && !server[f].isEmpty());
        state.localBase[f] = equal || mine[f].isEmpty() ? mine[f] : kUnsynced;
        state.serverBase[f] = equal || theirs[f].isEmpty() ? server[f] : kUnsynced;
    }
    report_.paired << QStringLiteral("%1 by %2").arg(tool::describeContact(local), how);
    return state;
}

} // namespace palvane::sync
