// Sending what changed in the table: changed fields into the server's own cards, new contacts
// as new cards, deletions; and the conflicts that only the table's side can settle.

#include "sync/sync_run.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_format.h"

#include <QUuid>

#include <limits>

namespace palvane::sync {

namespace {

bool succeeded(int status) {
    return status >= 200 && status < 300;
}

// The answer's ETag, or a stand-in when the server sends none (it changed the card as it
// stored it): an If-Match with it fails, and the card is fetched again.
QString confirmedEtag(const DavAnswer& answer) {
    return answer.etag.isEmpty() ? QStringLiteral("-") : answer.etag;
}

} // namespace

void Run::sendLocalChanges() {
    progress(QStringLiteral("Looking for changes in the table"));
    qint64 after = 0;
    qint64 looked = 0;
    for (;;) {
        // A short read: the program can store while the cards go up.
        const auto rows = writer_.readAfter(after, options_.batchSize);
        const qint64 upTo = rows.empty() ? std::numeric_limits<qint64>::max() : rows.back().first;
        std::vector<CardState> cards = state_.byRows(after, upTo);
        size_t c = 0;
        for (const auto& [row, contact] : rows) {
            for (; c < cards.size() && *cards[c].row < row; ++c)
                localDeleted(cards[c]);
            if (c < cards.size() && *cards[c].row == row) {
                CardState& state = cards[c++];
                if (!sameContact(state, contact)) {
                    // The rowid of a deleted contact came back for a new one.
                    localDeleted(state);
                    newLocal(row, contact);
                } else if (state.serverGone) {
                    settleGone(state, contact);
                } else if (state.etag.isEmpty()) {
                    sendCreate(state, contact);
                } else if (localValues(contact) != state.localBase) {
                    localChanged(state, contact);
                }
            } else if (!paired_.contains(row)) {
                newLocal(row, contact);
            }
        }
        for (; c < cards.size(); ++c)
            localDeleted(cards[c]);
        looked += qint64(rows.size());
        if (rows.empty())
            break;
        after = upTo;
        progress(QStringLiteral("Looked at %1 contacts of the table").arg(looked));
    }
    // Cards whose contact was deleted, where the server's card changed meanwhile.
    QString afterHref;
    for (;;) {
        std::vector<CardState> cards = state_.unsettled(afterHref, options_.batchSize);
        if (cards.empty())
            break;
        afterHref = cards.back().href;
        for (CardState& state : cards)
            if (!state.row)
                localDeleted(state);
    }
}

bool Run::sameContact(const CardState& state, const ContactRow& contact) const {
    // The table has no key of its own beyond the rowid, which a new contact can take over from
    // a deleted one. A contact that kept none of its nick, name and e-mail address is another.
    const FieldValues now = localValues(contact);
    bool anyKnown = false;
    for (const int f : {Nick, Name, Email}) {
        const QString& base = state.localBase[size_t(f)];
        if (base.isEmpty() || base == kUnsynced)
            continue;
        anyKnown = true;
        if (base.compare(now[size_t(f)], Qt::CaseInsensitive) == 0)
            return true;
    }
    return !anyKnown;
}

void Run::newLocal(qint64 row, const ContactRow& contact) {
    if (options_.dryRun) {
        change(QStringLiteral("new in the table: %1").arg(tool::describeContact(contact)));
        ++report_.sent;
        return;
    }
    const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    CardEditor card = CardEditor::blank(uid);
    for (int f = 0; f < kSyncFieldCount; ++f)
        putField(f, contact, card, options_.localUtcOffsetSeconds, &report_.warnings);
    CardState state;
    state.href = keyOf(collection_.path() + uid + QStringLiteral(".vcf"));
    state.row = row;
    state.uid = uid;
    state.card = card.text();
    state.localBase = localValues(contact);
    state.serverBase =
        serverValues(card, decodeCard(card, options_.localUtcOffsetSeconds, nullptr, nullptr));
    // Recorded before it is sent: a run cut after the upload finds the card again by its
    // href instead of making a second one.
    transaction([&] { state_.save(state); }, false);
    sendCreate(state, contact);
}

void Run::sendCreate(CardState& state, const ContactRow& contact) {
    if (options_.dryRun) {
        change(QStringLiteral("new in the table: %1").arg(tool::describeContact(contact)));
        ++report_.sent;
        return;
    }
    const DavAnswer answer =
        request("PUT", state.href, state.card,
                {{"If-None-Match", "*"}, {"Content-Type", "text/vcard; charset=utf-8"}});
    if (succeeded(answer.status)) {
        state.etag = confirmedEtag(answer);
        transaction([&] { state_.save(state); }, false);
        ++report_.sent;
        change(QStringLiteral("sent: %1").arg(tool::describeContact(contact)));
    } else if (answer.status == 412) {
        refetch(state.href); // an earlier run's upload arrived after all
    } else {
        report_.warnings << QStringLiteral("%1: the server answered %2 to the new card; it is "
                                           "sent again next time")
                                .arg(tool::describeContact(contact))
                                .arg(answer.status);
    }
}

void Run::localChanged(CardState& state, const ContactRow& contact, int attempt) {
    const CardEditor last(state.card);
    const ContactRow decoded = decodeCard(last, options_.localUtcOffsetSeconds, nullptr, nullptr);
    const FieldValues serverNow = serverValues(last, decoded);
    const FieldValues localNow = localValues(contact);
    std::vector<int> send;
    std::vector<int> take;
    for (int f = 0; f < kSyncFieldCount; ++f) {
        if (localNow[f] == state.localBase[f])
            continue;
        if (serverNow[f] == state.serverBase[f] || options_.prefer == Prefer::Local) {
            send.push_back(f);
        } else if (f != Picture && sameValue(f, contact, decoded)) {
            state.localBase[f] = localNow[f];
            state.serverBase[f] = serverNow[f];
        } else if (options_.prefer == Prefer::Server) {
            take.push_back(f);
        } else {
            conflict(state.href, contact.nick, fieldName(f), localNow[f],
                     f == Picture ? QStringLiteral("a picture in the card")
                                  : localValues(decoded)[f]);
        }
    }
    if (!take.empty()) {
        transaction([&] {
            ContactRow merged;
            if (!writer_.read(*state.row, merged))
                return;
            ContactRow withPicture = decoded;
            for (const int f : take)
                if (f == Picture)
                    withPicture = decodeWithPictures(last, contact.nick);
            for (const int f : take)
                takeField(f, withPicture, merged);
            writer_.update(*state.row, merged);
            writer_.read(*state.row, merged);
            const FieldValues stored = localValues(merged);
            for (const int f : take) {
                state.localBase[f] = stored[f];
                state.serverBase[f] = serverNow[f];
            }
            state_.save(state);
        });
        ++report_.received;
        change(QStringLiteral("settled for the server: %1").arg(tool::describeContact(contact)));
    }
    if (send.empty()) {
        if (!options_.dryRun && take.empty())
            transaction([&] { state_.save(state); }, false);
        return;
    }
    CardEditor card = last;
    for (const int f : send) {
        putField(f, contact, card, options_.localUtcOffsetSeconds, &report_.warnings);
        // FN stands in for a missing name with the nick.
        if (f == Nick && contact.name.isEmpty())
            putField(Name, contact, card, options_.localUtcOffsetSeconds, nullptr);
    }
    if (options_.dryRun) {
        ++report_.sent;
        change(QStringLiteral("changed in the table: %1").arg(tool::describeContact(contact)));
        return;
    }
    if (options_.beforeUpload)
        options_.beforeUpload(state.href);
    const QByteArray text = card.text();
    const DavAnswer answer =
        request("PUT", state.href, text,
                {{"If-Match", state.etag.toUtf8()}, {"Content-Type", "text/vcard; charset=utf-8"}});
    if (succeeded(answer.status)) {
        const FieldValues sent =
            serverValues(card, decodeCard(card, options_.localUtcOffsetSeconds, nullptr, nullptr));
        for (const int f : send) {
            state.localBase[f] = localNow[f];
            state.serverBase[f] = sent[f];
        }
        state.etag = confirmedEtag(answer);
        state.card = text;
        transaction([&] { state_.save(state); }, false);
        ++report_.sent;
        change(QStringLiteral("sent: %1").arg(tool::describeContact(contact)));
        return;
    }
    if (answer.status == 412 && attempt < 3) {
        // Changed meanwhile: merge the server's new card, then send what is still ours.
        if (!refetch(state.href))
            return;
        std::optional<CardState> fresh = state_.byHref(state.href);
        ContactRow now;
        if (fresh && fresh->row && writer_.read(*fresh->row, now) &&
            localValues(now) != fresh->localBase)
            localChanged(*fresh, now, attempt + 1);
        return;
    }
    if (answer.status == 404) {
        state.serverGone = true;
        transaction([&] { state_.save(state); }, false);
        settleGone(state, contact);
        return;
    }
    report_.warnings << QStringLiteral("%1: the server answered %2 to the changed card; it is "
                                       "sent again next time")
                            .arg(tool::describeContact(contact))
                            .arg(answer.status);
}

void Run::settleGone(CardState& state, const ContactRow& contact) {
    if (options_.prefer == Prefer::Neither) {
        conflict(state.href, contact.nick, QStringLiteral("contact"),
                 QStringLiteral("changed in the table"), QStringLiteral("deleted on the server"));
        return;
    }
    if (options_.dryRun) {
        change(QStringLiteral("settled: %1").arg(tool::describeContact(contact)));
        return;
    }
    if (options_.prefer == Prefer::Server) {
        transaction([&] {
            writer_.remove(*state.row);
            state_.remove(state.href);
        });
        ++report_.received;
        change(QStringLiteral("deleted on the server: %1").arg(tool::describeContact(contact)));
        return;
    }
    // The table's contact goes up again, with what the server's last card held besides.
    CardEditor card(state.card);
    for (int f = 0; f < kSyncFieldCount; ++f)
        putField(f, contact, card, options_.localUtcOffsetSeconds, &report_.warnings);
    state.card = card.text();
    state.etag.clear();
    state.serverGone = false;
    state.localBase = localValues(contact);
    state.serverBase =
        serverValues(card, decodeCard(card, options_.localUtcOffsetSeconds, nullptr, nullptr));
    transaction([&] { state_.save(state); }, false);
    sendCreate(state, contact);
}

void Run::localDeleted(CardState& state) {
    const QString nick = state.localBase[Nick];
    if (state.serverGone) {
        if (!options_.dryRun)
            transaction([&] { state_.remove(state.href); }, false);
        return;
    }
    if (options_.dryRun) {
        ++report_.sent;
        change(QStringLiteral("deleted in the table: contact '%1'").arg(tool::shown(nick)));
        return;
    }
    DavHeaders headers;
    // A card never confirmed has no ETag to match: it was ours alone.
    if (!state.etag.isEmpty() && options_.prefer != Prefer::Local)
        headers.append({"If-Match", state.etag.toUtf8()});
    const DavAnswer answer = request("DELETE", state.href, {}, headers);
    if (succeeded(answer.status) || answer.status == 404 || answer.status == 410) {
        transaction([&] { state_.remove(state.href); }, false);
        ++report_.sent;
        change(QStringLiteral("deleted on the server: contact '%1'").arg(tool::shown(nick)));
        return;
    }
    if (answer.status != 412) {
        report_.warnings << QStringLiteral("contact '%1': the server answered %2 to its "
                                           "deletion; it is tried again next time")
                                .arg(tool::shown(nick))
                                .arg(answer.status);
        return;
    }
    if (options_.prefer == Prefer::Server) {
        // The server's changed card comes back as a new contact.
        refetch(state.href, true);
        return;
    }
    conflict(state.href, nick, QStringLiteral("contact"), QStringLiteral("deleted in the table"),
             QStringLiteral("changed on the server"));
    // The rowid may be taken by a new contact: the card waits without one.
    state.row.reset();
    transaction([&] { state_.save(state); }, false);
}

} // namespace palvane::sync
