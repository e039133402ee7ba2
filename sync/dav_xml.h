#pragma once
// The WebDAV and CardDAV XML this client speaks: the request bodies it sends, and a reader of
// multistatus answers that takes them in pieces as they arrive and hands out one response at a
// time, so that a listing of any size passes through the memory of one response.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QXmlStreamReader>

#include <functional>
#include <vector>

namespace palvane::sync {

// What one <response> of a multistatus says about one resource. Properties count only from a
// propstat whose status is 2xx.
struct DavEntry {
    QString href;   // as the server wrote it
    int status = 0; // of the response itself (sync-collection: 404 for a removed member)
    QString etag;   // getetag, quotes kept
    QString card;   // address-data
    QString ctag;   // the collection's change tag (getctag)
    QString syncToken;
    QString displayName;
    bool collection = false;
    bool addressBook = false;
    bool principal = false;
    QStringList principalHrefs;           // current-user-principal
    QStringList homeHrefs;                // addressbook-home-set
    bool syncCollectionSupported = false; // supported-report-set names sync-collection
};

class MultistatusReader {
public:
    explicit MultistatusReader(std::function<void(const DavEntry&)> onEntry);

    // Takes the next piece of the answer; entries complete in it are handed out at once.
    void add(const QByteArray& bytes);
    // After the last piece: false with a reason when the answer was not a whole multistatus.
    bool finish(QString* problem);
    // The sync-token the multistatus carries at its top level (sync-collection).
    QString syncToken() const { return syncToken_; }

private:
    void read();
    void startElement();
    void endElement();

    std::function<void(const DavEntry&)> onEntry_;
    QXmlStreamReader xml_;
    std::vector<QString> path_; // local names of the open elements, "D:" or "C:" prefixed
    DavEntry entry_;
    DavEntry props_; // the properties of the propstat being read
    QString text_;
    int propstatStatus_ = 0;
    QString syncToken_;
    bool sawMultistatus_ = false;
};

// "HTTP/1.1 404 Not Found" -> 404; 0 when unreadable.
int statusOfLine(const QString& line);

// Request bodies.
QByteArray propfindBody(const QStringList& davProps, const QStringList& cardProps,
                        const QStringList& serverProps = {});
QByteArray syncCollectionBody(const QString& token);
QByteArray multigetBody(const QStringList& hrefs);

} // namespace palvane::sync
