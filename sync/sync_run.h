#pragma once
// One synchronisation run: what its two passes share. Only sync/*.cpp include this.

#include "store/contact_stream.h"
#include "sync/sync_engine.h"
#include "sync/sync_state.h"

#include <QHash>
#include <QSet>
#include <QUrl>

#include <optional>

namespace palvane::tool {
class PictureStore;
}

namespace palvane::sync {

// A base value that no real value equals: the field counts as changed on that side.
inline const QString kUnsynced = QStringLiteral("\x01unsynced");

class Run {
public:
    Run(const SyncOptions& options, const SyncSetup& setup);
    SyncReport finish();

    // Server side (server_pass.cpp).
    void takeServerChanges();
    // Local side (local_pass.cpp).
    void sendLocalChanges();

private:
    struct Listing {
        QString token;
        QString ctag;
        bool full = false;
    };
    Listing listChanges();
    bool listBySyncCollection(const QString& token, Listing& listing);
    void listByEtags(Listing& listing);
    void fetchListed();
    void takeRemovals(bool full);
    void mergeBatch(const std::vector<std::pair<QString, QString>>& wanted);
    void mergeDown(const QString& href, const QString& etag, const QByteArray& text);
    void addFromServer(const QString& href, const QString& etag, const QByteArray& text,
                       const CardEditor& card, const ContactRow& decoded);
    void mergeInto(CardState& state, const CardEditor& card, const ContactRow& decoded);
    void serverRemoved(const QString& href);
    std::optional<CardState> pairWithLocal(const QString& href, const CardEditor& card,
                                           const ContactRow& decoded);
    void collectPairing();

    void newLocal(qint64 row, const ContactRow& contact);
    void sendCreate(CardState& state, const ContactRow& contact);
    void localChanged(CardState& state, const ContactRow& contact, int attempt = 0);
    void localDeleted(CardState& state);
    void settleGone(CardState& state, const ContactRow& contact);
    bool sameContact(const CardState& state, const ContactRow& contact) const;
    // Fetches one card and merges it (after a 412), or with asNew takes it as a new contact;
    // false when it is gone.
    bool refetch(const QString& href, bool asNew = false);

    // Runs f in one transaction over the table and the state (rolled back in a dry run).
    // tableToo: f writes contacts, so the table's write lock is taken at once; else only the
    // state is locked and the program goes on storing meanwhile.
    template <typename F> void transaction(F&& f, bool tableToo = true) {
        writer_.begin(tableToo);
        try {
            f();
        } catch (...) {
            writer_.rollback();
            throw;
        }
        if (options_.dryRun)
            writer_.rollback();
        else
            writer_.commit();
    }
    DavAnswer request(const QByteArray& verb, const QString& href, const QByteArray& body,
                      const DavHeaders& headers,
                      const std::function<void(const QByteArray&)>& consume = {});
    QUrl urlOf(const QString& href) const;
    QString keyOf(const QString& href) const;
    // Whether the path is a card of the address book: anything else a server lists is never
    // written or deleted.
    bool isMember(const QString& key) const;
    ContactRow decodeWithPictures(const CardEditor& card, const QString& nick);
    void conflict(const QString& href, const QString& nick, const QString& field,
                  const QString& local, const QString& server);
    void change(const QString& text);
    void progress(const QString& text);

    const SyncOptions& options_;
    SyncSetup setup_;
    DavClient client_;
    ContactWriter writer_;
    SyncState state_;
    SyncReport report_;
    QUrl collection_;
    tool::PictureStore* pictures_ = nullptr;
    std::unique_ptr<tool::PictureStore> pictureStore_;
    QSet<QString> reported_; // conflicts told in this run: href + field
    bool firstSync_ = false;
    QHash<QString, qint64> byNick_; // first sync: unpaired contacts, -1 when ambiguous
    QHash<QString, qint64> byEmail_;
    QSet<qint64> paired_;
};

} // namespace palvane::sync
