// Finding contacts again after their rowids changed. The table has no key of its own beyond
// the rowid, and a VACUUM (the sqlite3 shell, a maintenance script) renumbers the rows of such
// a table. Left alone, every card whose rowid now holds another contact would be deleted on
// the server (with all the table cannot hold) and its contact sent up as a new card; worse,
// the server's changes would be merged into whichever contact took the rowid.
//
// So before either pass, the cards whose rowid no longer holds their contact are taken off it
// and paired again with the contacts no card holds: first a contact with exactly the values as
// last synced (certain: it only moved), then the contact still at the card's own rowid when it
// is recognisably the same one (an ordinary edit), then by the values as last synced: nick,
// e-mail, name, as a first sync pairs, and only a contact that is the one of its kind. A card
// that finds none is a contact deleted in the table; a contact that no card finds is new.

#include "sync/sync_run.h"
#include "tools/contacts_format.h"

#include <QHashFunctions>

#include <algorithm>
#include <array>
#include <functional>

namespace palvane::sync {

namespace {

enum Key { Whole, NickKey, EmailKey, NameKey, kKeyCount };

quint64 hashOf(const QString& text) {
    return quint64(qHash(text, size_t(0x5ca1ab1e)));
}

// The text a key compares, empty when the value says nothing (blank, or never agreed on).
QString keyText(Key key, const FieldValues& values) {
    switch (key) {
    case Whole: {
        QString whole;
        for (const QString& value : values)
            whole += value + QChar(0x1f);
        return whole;
    }
    case NickKey:
        return values[Nick] == kUnsynced ? QString() : values[Nick].toCaseFolded();
    case EmailKey:
        return values[Email] == kUnsynced ? QString() : values[Email].trimmed().toCaseFolded();
    case NameKey:
        return values[Name] == kUnsynced ? QString() : values[Name].trimmed().toCaseFolded();
    default:
        return {};
    }
}

// The contacts no card holds, as 64-bit digests of their keys: about 70 bytes a contact,
// whatever their texts. A digest only finds; the contact is read again to confirm.
class UnpairedIndex {
public:
    void add(qint64 row, const FieldValues& values) {
        const auto index = quint32(rows_.size());
        rows_.push_back(row);
        claimed_.push_back(false);
        for (int k = 0; k < kKeyCount; ++k)
            if (const QString text = keyText(Key(k), values); !text.isEmpty())
                keys_[size_t(k)].emplace_back(hashOf(text), index);
    }

    void finish() {
        // Stable: equal keys stay in rowid order, so identical contacts keep their order.
        for (auto& keys : keys_)
            std::stable_sort(keys.begin(), keys.end(),
                             [](const auto& a, const auto& b) { return a.first < b.first; });
    }

    bool empty() const { return rows_.empty(); }

    // The unclaimed contacts with that key, in rowid order.
    std::vector<qint64> unclaimed(Key key, const QString& text) const {
        std::vector<qint64> found;
        if (text.isEmpty())
            return found;
        const auto& keys = keys_[size_t(key)];
        const quint64 hash = hashOf(text);
        auto it = std::lower_bound(keys.begin(), keys.end(), hash,
                                   [](const auto& entry, quint64 h) { return entry.first < h; });
        for (; it != keys.end() && it->first == hash; ++it)
            if (!claimed_[it->second])
                found.push_back(rows_[it->second]);
        return found;
    }

    bool isUnclaimed(qint64 row) const {
        const auto it = std::lower_bound(rows_.begin(), rows_.end(), row);
        return it != rows_.end() && *it == row && !claimed_[size_t(it - rows_.begin())];
    }

    void claim(qint64 row) {
        const auto it = std::lower_bound(rows_.begin(), rows_.end(), row);
        if (it != rows_.end() && *it == row)
            claimed_[size_t(it - rows_.begin())] = true;
    }

private:
    std::vector<qint64> rows_; // in rowid order
    std::vector<bool> claimed_;
    std::array<std::vector<std::pair<quint64, quint32>>, kKeyCount> keys_;
};

} // namespace

void Run::repairPairing() {
    if (firstSync_ || !state_.anyDisplaced())
        return;
    progress(QStringLiteral("Looking for contacts whose row numbers changed"));
    // One transaction, so that the table stays as it was read. It is kept in a dry run too:
    // it changes only this file's record of which contact is which, and what the dry run
    // lists depends on it.
    writer_.begin(false);
    try {
        UnpairedIndex unpaired;
        for (qint64 after = 0;;) {
            const std::vector<qint64> rows = state_.unpairedRows(after, options_.batchSize);
            if (rows.empty())
                break;
            for (const qint64 row : rows)
                if (ContactRow contact; writer_.read(row, contact))
                    unpaired.add(row, localValues(contact));
            after = rows.back();
        }
        unpaired.finish();
        state_.detachDisplaced();

        using Detached = SyncState::Detached;
        const auto attach = [&](const Detached& card, qint64 row, const char* how) {
            if (state_.rowTaken(row))
                return false; // held by a card that stayed: never taken from it
            state_.setRow(card.href, row);
            unpaired.claim(row);
            if (row != card.oldRow) {
                ++report_.refound;
                if (how)
                    report_.paired
                        << QStringLiteral("%1 by %2, its row number having changed")
                               .arg(tool::describeContact(contactAt(row)), QLatin1String(how));
            }
            return true;
        };
        const auto forEachDetached = [&](const std::function<void(const Detached&)>& f) {
            for (qint64 after = 0;;) {
                const std::vector<Detached> cards = state_.detached(after, options_.batchSize);
                if (cards.empty())
                    return;
                after = cards.back().oldRow;
                for (const Detached& card : cards)
                    f(card);
            }
        };

        // Contacts that only moved: their values are exactly those last synced.
        forEachDetached([&](const Detached& card) {
            std::vector<qint64> rows = unpaired.unclaimed(Whole, keyText(Whole, card.localBase));
            if (const auto own = std::find(rows.begin(), rows.end(), card.oldRow);
                own != rows.end())
                std::rotate(rows.begin(), own, own + 1);
            for (const qint64 row : rows)
                if (localValues(contactAt(row)) == card.localBase && attach(card, row, nullptr))
                    return;
        });
        // Contacts edited since: still at their own rowid, else found by a value as last synced.
        forEachDetached([&](const Detached& card) {
            if (unpaired.isUnclaimed(card.oldRow) &&
                sameContact(card.localBase, contactAt(card.oldRow)) &&
                attach(card, card.oldRow, nullptr))
                return;
            for (const auto& [key, how] :
                 {std::pair{NickKey, "nick"}, std::pair{EmailKey, "e-mail"},
                  std::pair{NameKey, "name"}}) {
                const QString text = keyText(key, card.localBase);
                const std::vector<qint64> rows = unpaired.unclaimed(key, text);
                // Only the one of its kind: with more, the next value may tell.
                if (rows.size() == 1 &&
                    keyText(key, localValues(contactAt(rows.front()))) == text &&
                    attach(card, rows.front(), how))
                    return;
            }
        });
        // What found no contact stays without a rowid: deleted in the table.
        state_.endDetaching();
        writer_.commit();
    } catch (...) {
        writer_.rollback();
        throw;
    }
}

ContactRow Run::contactAt(qint64 row) {
    ContactRow contact;
    writer_.read(row, contact);
    return contact;
}

} // namespace palvane::sync
