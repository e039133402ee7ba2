// Taking in what changed on the server: listing, fetching in batches, merging into the table.

#include "sync/dav_xml.h"
#include "sync/sync_run.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_format.h"

namespace palvane::sync {

namespace {

bool tokenRefused(const DavAnswer& answer) {
    // RFC 6578: a token the server no longer knows is refused with valid-sync-token.
    return (answer.status == 403 || answer.status == 409 || answer.status == 412) &&
           answer.body.contains("valid-sync-token");
}

} // namespace

void Run::takeServerChanges() {
    const Listing listing = listChanges();
    fetchListed();
    takeRemovals(listing.full);
    if (!options_.dryRun) {
        transaction(
            [&] {
                state_.setSetting("token", listing.token);
                state_.setSetting("ctag", listing.ctag);
            },
            false);
    }
}

Run::Listing Run::listChanges() {
    Listing listing;
    const QString token = state_.setting("token");
    transaction([&] { state_.clearListing(); }, false);
    progress(QStringLiteral("Asking the server what changed"));
    if (state_.setting("no_sync_collection").isEmpty()) {
        if (listBySyncCollection(token, listing))
            return listing;
        if (!token.isEmpty() && listBySyncCollection(QString(), listing))
            return listing;
        // Only a server without the report comes here; the answer is kept for later runs.
        if (!options_.dryRun)
            transaction([&] { state_.setSetting("no_sync_collection", QStringLiteral("1")); },
                        false);
    }
    listByEtags(listing);
    return listing;
}

bool Run::listBySyncCollection(const QString& token, Listing& listing) {
    listing.full = token.isEmpty();
    // The listing goes into the state as it arrives: memory stays that of one entry. Only the
    // state is locked while the server answers.
    writer_.begin(false);
    MultistatusReader reader([&](const DavEntry& entry) {
        const QString href = keyOf(entry.href);
        if (!isMember(href))
            return;
        state_.addListed({href, entry.etag, entry.status == 404});
        if (listing.full)
            state_.markListed(href);
    });
    DavAnswer answer;
    try {
        answer = request("REPORT", collection_.path(), syncCollectionBody(token), {{"Depth", "1"}},
                         [&](const QByteArray& piece) { reader.add(piece); });
    } catch (...) {
        writer_.rollback();
        throw;
    }
    if (answer.status != 207) {
        writer_.rollback();
        if (tokenRefused(answer) && !token.isEmpty())
            return false;
        if (answer.status >= 500 && answer.status != 501)
            throw SyncError(SyncError::Kind::Server,
                            QStringLiteral("the server answered %1 to the listing of %2")
                                .arg(answer.status)
                                .arg(shownUrl(collection_)));
        return false;
    }
    QString problem;
    if (!reader.finish(&problem)) {
        writer_.rollback();
        throw SyncError(SyncError::Kind::Server,
                        QStringLiteral("the server's listing cannot be read: %1").arg(problem));
    }
    writer_.commit(); // only the listing: the state's cards are unchanged
    listing.token = reader.syncToken();
    return true;
}

void Run::listByEtags(Listing& listing) {
    listing.full = true;
    DavAnswer answer;
    QString ctag;
    MultistatusReader top([&](const DavEntry& entry) { ctag = entry.ctag; });
    answer = request("PROPFIND", collection_.path(), propfindBody({}, {}, {"getctag"}),
                     {{"Depth", "0"}}, [&](const QByteArray& piece) { top.add(piece); });
    QString problem;
    if (answer.status == 207 && top.finish(&problem) && !ctag.isEmpty() &&
        ctag == state_.setting("ctag")) {
        listing.ctag = ctag;
        listing.full = false; // nothing changed: nothing is listed, nothing removed
        return;
    }
    writer_.begin(false);
    MultistatusReader reader([&](const DavEntry& entry) {
        const QString href = keyOf(entry.href);
        if (!isMember(href) || entry.collection)
            return;
        state_.addListed({href, entry.etag, false});
        state_.markListed(href);
    });
    try {
        answer = request("PROPFIND", collection_.path(), propfindBody({"getetag"}, {}),
                         {{"Depth", "1"}}, [&](const QByteArray& piece) { reader.add(piece); });
        if (answer.status != 207 || !reader.finish(&problem))
            throw SyncError(SyncError::Kind::Server,
                            QStringLiteral("the server answered %1 to the listing of %2 %3")
                                .arg(answer.status)
                                .arg(shownUrl(collection_), problem));
    } catch (...) {
        writer_.rollback();
        throw;
    }
    writer_.commit();
    listing.ctag = ctag;
}

void Run::fetchListed() {
    QString after;
    qint64 seen = 0;
    for (;;) {
        const std::vector<Listed> batch = state_.nextListed(after, options_.batchSize);
        if (batch.empty())
            return;
        after = batch.back().href;
        std::vector<std::pair<QString, QString>> wanted;
        for (const Listed& listed : batch) {
            if (listed.gone) {
                transaction([&] { serverRemoved(listed.href); });
                continue;
            }
            const std::optional<CardState> known = state_.byHref(listed.href);
            if (!known || known->etag != listed.etag)
                wanted.emplace_back(listed.href, listed.etag);
        }
        seen += qint64(batch.size());
        if (!wanted.empty())
            mergeBatch(wanted);
        progress(QStringLiteral("Received %1 changes from the server").arg(seen));
    }
}

void Run::mergeBatch(const std::vector<std::pair<QString, QString>>& wanted) {
    QStringList hrefs;
    for (const auto& [href, etag] : wanted)
        hrefs << urlOf(href).path(QUrl::FullyEncoded);
    struct Fetched {
        QString href;
        QString etag;
        QByteArray card;
    };
    std::vector<Fetched> cards;
    MultistatusReader reader([&](const DavEntry& entry) {
        if (entry.status == 0 || entry.status == 200)
            if (!entry.card.isEmpty() && isMember(keyOf(entry.href)))
                cards.push_back({keyOf(entry.href), entry.etag, entry.card.toUtf8()});
    });
    const DavAnswer answer =
        request("REPORT", collection_.path(), multigetBody(hrefs), {{"Depth", "1"}},
                [&](const QByteArray& piece) { reader.add(piece); });
    QString problem;
    if (answer.status != 207 || !reader.finish(&problem))
        throw SyncError(SyncError::Kind::Server,
                        QStringLiteral("the server answered %1 when asked for %2 cards %3")
                            .arg(answer.status)
                            .arg(hrefs.size())
                            .arg(problem));
    QSet<QString> arrived;
    transaction([&] {
        for (const Fetched& fetched : cards) {
            arrived.insert(fetched.href);
            mergeDown(fetched.href, fetched.etag, fetched.card);
        }
        // A card listed but not sent was removed in between.
        for (const auto& [href, etag] : wanted)
            if (!arrived.contains(href))
                serverRemoved(href);
    });
    if (!options_.dryRun)
        pictures_->keep();
}

void Run::takeRemovals(bool full) {
    if (!full)
        return;
    QString after;
    for (;;) {
        const std::vector<QString> gone = state_.unlisted(after, options_.batchSize);
        if (gone.empty())
            return;
        after = gone.back();
        transaction([&] {
            for (const QString& href : gone)
                serverRemoved(href);
        });
    }
}

void Run::mergeDown(const QString& href, const QString& etag, const QByteArray& text) {
    std::optional<CardEditor> card;
    ContactRow decoded;
    try {
        card.emplace(text);
        decoded = decodeCard(*card, options_.localUtcOffsetSeconds, nullptr, nullptr);
    } catch (const SyncError& error) {
        report_.warnings << QStringLiteral("%1: %2; left as it is").arg(href, error.message());
        return;
    }
    std::optional<CardState> state = state_.byHref(href);
    if (!state && firstSync_)
        state = pairWithLocal(href, *card, decoded);
    if (!state) {
        addFromServer(href, etag, text, *card, decoded);
        return;
    }
    // A contact deleted in the table keeps its card's old ETag, so that its deletion on the
    // server meets this change as a conflict instead of removing it.
    ContactRow local;
    if (!state->row || !writer_.read(*state->row, local))
        return;
    mergeInto(*state, *card, decoded);
    state->etag = etag;
    state->card = text;
    state_.save(*state);
}

void Run::addFromServer(const QString& href, const QString& etag, const QByteArray& text,
                        const CardEditor& card, const ContactRow& decoded) {
    ContactRow row = decodeWithPictures(card, decoded.nick);
    CardState state;
    state.href = href;
    state.etag = etag;
    state.uid = cardUid(card);
    state.card = text;
    state.serverBase = serverValues(card, decoded);
    state.row = writer_.insert(row);
    writer_.read(*state.row, row);
    state.localBase = localValues(row);
    state_.save(state);
    ++report_.received;
    change(QStringLiteral("new from the server: %1").arg(tool::describeContact(row)));
}

void Run::mergeInto(CardState& state, const CardEditor& card, const ContactRow& decoded) {
    ContactRow local;
    writer_.read(*state.row, local);
    const FieldValues serverNow = serverValues(card, decoded);
    const FieldValues localNow = localValues(local);
    ContactRow merged = local;
    std::optional<ContactRow> withPicture;
    std::array<bool, kSyncFieldCount> taken{};
    bool fromServer = false;
    bool fromTable = false;
    for (int f = 0; f < kSyncFieldCount; ++f) {
        const bool serverChanged = serverNow[f] != state.serverBase[f];
        const bool localChanged = localNow[f] != state.localBase[f];
        fromTable |= localChanged;
        if (!serverChanged)
            continue;
        const bool same = f != Picture && sameValue(f, local, decoded);
        if (localChanged && same) {
            state.localBase[f] = localNow[f];
            state.serverBase[f] = serverNow[f];
            continue;
        }
        if (localChanged && options_.prefer != Prefer::Server) {
            if (options_.prefer == Prefer::Local)
                state.serverBase[f] = serverNow[f]; // the table's value goes up later
            else
                conflict(state.href, local.nick, fieldName(f), localNow[f],
                         f == Picture ? QStringLiteral("a picture in the card")
                                      : localValues(decoded)[f]);
            continue;
        }
        if (f == Picture) {
            if (!withPicture)
                withPicture = decodeWithPictures(card, local.nick);
            takeField(f, *withPicture, merged);
        } else {
            takeField(f, decoded, merged);
        }
        state.serverBase[f] = serverNow[f];
        taken[size_t(f)] = true;
        fromServer = true;
    }
    if (fromServer) {
        writer_.update(*state.row, merged);
        writer_.read(*state.row, merged);
        // The table may have cut a text: its own value is the one synced.
        const FieldValues stored = localValues(merged);
        for (int f = 0; f < kSyncFieldCount; ++f)
            if (taken[size_t(f)])
                state.localBase[f] = stored[f];
        ++report_.received;
        if (fromTable)
            ++report_.merged;
        change(QStringLiteral("changed on the server: %1").arg(tool::describeContact(merged)));
    }
}

void Run::serverRemoved(const QString& href) {
    std::optional<CardState> state = state_.byHref(href);
    if (!state)
        return;
    ContactRow local;
    if (!state->row || !writer_.read(*state->row, local)) {
        state_.remove(href);
        return;
    }
    if (localValues(local) == state->localBase || options_.prefer == Prefer::Server) {
        writer_.remove(*state->row);
        state_.remove(href);
        ++report_.received;
        change(QStringLiteral("deleted on the server: %1").arg(tool::describeContact(local)));
        return;
    }
    // Changed in the table: the local pass settles it or reports it.
    state->serverGone = true;
    state_.save(*state);
}

ContactRow Run::decodeWithPictures(const CardEditor& card, const QString& nick) {
    QStringList warnings;
    ContactRow row = decodeCard(card, options_.localUtcOffsetSeconds, pictures_, &warnings);
    for (const QString& warning : warnings)
        report_.warnings << QStringLiteral("%1: %2").arg(nick, warning);
    return row;
}

} // namespace palvane::sync
