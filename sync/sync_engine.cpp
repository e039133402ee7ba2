#include "sync/sync_engine.h"

#include "sync/sync_run.h"
#include "tools/contact_pictures.h"
#include "tools/contacts_format.h"

#include <QFileInfo>

namespace palvane::sync {

namespace {

DavClient::Settings clientSettings(const SyncOptions& options, const SyncSetup& setup) {
    DavClient::Settings settings;
    settings.user = setup.user;
    settings.password = options.password;
    settings.caFile = options.caFile.isEmpty() ? setup.caFile : options.caFile;
    settings.idleTimeoutMs = options.idleTimeoutMs;
    return settings;
}

} // namespace

QString stateFileOf(const QString& tablePath) {
    return tablePath + QStringLiteral(".sync");
}

Run::Run(const SyncOptions& options, const SyncSetup& setup)
    : options_(options), setup_(setup), client_(clientSettings(options, setup)),
      writer_(options.tablePath, stateFileOf(options.tablePath), QLatin1String(kStateSchema)),
      state_(writer_.connection()), collection_(setup.url) {
    if (!collection_.path().endsWith(QLatin1Char('/')))
        collection_.setPath(collection_.path() + QLatin1Char('/'));
    pictureStore_ = std::make_unique<tool::PictureStore>(tool::picturesBeside(options.tablePath));
    pictures_ = pictureStore_.get();
    firstSync_ = !state_.anyCard();
    if (firstSync_)
        collectPairing();
}

SyncReport Run::finish() {
    report_.requests = client_.requests();
    return std::move(report_);
}

DavAnswer Run::request(const QByteArray& verb, const QString& href, const QByteArray& body,
                       const DavHeaders& headers,
                       const std::function<void(const QByteArray&)>& consume) {
    return client_.send(verb, urlOf(href), body, headers, consume);
}

QUrl Run::urlOf(const QString& href) const {
    QUrl url = collection_;
    url.setPath(href, QUrl::DecodedMode);
    return url;
}

QString Run::keyOf(const QString& href) const {
    // Servers may spell one path in several encodings, or as a whole URL.
    return collection_.resolved(QUrl(href, QUrl::TolerantMode)).path(QUrl::FullyDecoded);
}

bool Run::isMember(const QString& key) const {
    const QString book = keyOf(collection_.path());
    return key.size() > book.size() && key.startsWith(book) &&
           !key.mid(book.size()).contains(QLatin1Char('/'));
}

bool Run::refetch(const QString& href, bool asNew) {
    const DavAnswer answer = request("GET", href, {}, {});
    if (answer.status == 404 || answer.status == 410) {
        transaction([&] { serverRemoved(href); });
        return false;
    }
    if (answer.status < 200 || answer.status >= 300)
        throw SyncError(SyncError::Kind::Server,
                        QStringLiteral("the server answered %1 when asked for %2")
                            .arg(answer.status)
                            .arg(href));
    const QString etag = answer.etag.isEmpty() ? QStringLiteral("-") : answer.etag;
    transaction([&] {
        if (asNew)
            state_.remove(href);
        mergeDown(href, etag, answer.body);
    });
    if (!options_.dryRun)
        pictures_->keep();
    return true;
}

void Run::conflict(const QString& href, const QString& nick, const QString& field,
                   const QString& local, const QString& server) {
    if (reported_.contains(href + QLatin1Char('\n') + field))
        return;
    reported_.insert(href + QLatin1Char('\n') + field);
    report_.conflicts.push_back({nick, field, local, server});
}

void Run::change(const QString& text) {
    // A dry run lists every change; a real run only counts them (a first sync may bring
    // thousands).
    if (options_.dryRun)
        report_.changes << text;
}

void Run::progress(const QString& text) {
    if (options_.progress)
        options_.progress(text);
}

std::optional<SyncSetup> readSetup(const QString& tablePath) {
    if (!QFileInfo::exists(stateFileOf(tablePath)))
        return std::nullopt;
    ContactWriter writer(tablePath, stateFileOf(tablePath), QLatin1String(kStateSchema));
    const SyncState state(writer.connection());
    SyncSetup setup;
    setup.url = state.setting("url");
    setup.user = state.setting("user");
    setup.caFile = state.setting("ca_file");
    if (setup.url.isEmpty())
        return std::nullopt;
    return setup;
}

SyncSetup requireSetup(const QString& tablePath) {
    std::optional<SyncSetup> setup = readSetup(tablePath);
    if (!setup)
        throw SyncError(SyncError::Kind::Setup,
                        QStringLiteral("%1 is not set up for syncing; run palvane-table sync "
                                       "--setup URL --user NAME first")
                            .arg(tablePath));
    return std::move(*setup);
}

SyncReport synchronise(const SyncOptions& options) {
    Run run(options, requireSetup(options.tablePath));
    run.repairPairing();
    run.takeServerChanges();
    run.sendLocalChanges();
    run.settleOwnUploads();
    return run.finish();
}

} // namespace palvane::sync
