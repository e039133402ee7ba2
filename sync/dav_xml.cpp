#include "sync/dav_xml.h"

#include <QXmlStreamWriter>

namespace palvane::sync {

namespace {

const QString kDav = QStringLiteral("DAV:");
const QString kCardDav = QStringLiteral("urn:ietf:params:xml:ns:carddav");
const QString kCalendarServer = QStringLiteral("http://calendarserver.org/ns/");

QString keyOf(const QXmlStreamReader& xml) {
    const QStringView ns = xml.namespaceUri();
    const QString prefix = ns == kDav              ? QStringLiteral("D:")
                           : ns == kCardDav        ? QStringLiteral("C:")
                           : ns == kCalendarServer ? QStringLiteral("CS:")
                                                   : QStringLiteral("?:");
    return prefix + xml.name().toString();
}

void startDocument(QXmlStreamWriter& xml, const QString& root) {
    xml.writeStartDocument();
    xml.writeNamespace(kDav, QStringLiteral("D"));
    xml.writeNamespace(kCardDav, QStringLiteral("C"));
    xml.writeNamespace(kCalendarServer, QStringLiteral("CS"));
    xml.writeStartElement(kDav, root);
}

} // namespace

int statusOfLine(const QString& line) {
    const QStringList parts = line.simplified().split(QLatin1Char(' '));
    return parts.size() >= 2 ? parts[1].toInt() : 0;
}

MultistatusReader::MultistatusReader(std::function<void(const DavEntry&)> onEntry)
    : onEntry_(std::move(onEntry)) {
    xml_.setNamespaceProcessing(true);
}

void MultistatusReader::add(const QByteArray& bytes) {
    xml_.addData(bytes);
    read();
}

bool MultistatusReader::finish(QString* problem) {
    read();
    if (xml_.hasError() && xml_.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
        *problem = xml_.errorString();
        return false;
    }
    if (!sawMultistatus_ || !path_.empty()) {
        *problem = QStringLiteral("the answer is not a whole WebDAV multistatus");
        return false;
    }
    return true;
}

void MultistatusReader::read() {
    while (!xml_.atEnd()) {
        const QXmlStreamReader::TokenType token = xml_.readNext();
        if (token == QXmlStreamReader::Invalid)
            return; // more to come, or an error that finish() reports
        if (token == QXmlStreamReader::StartElement)
            startElement();
        else if (token == QXmlStreamReader::EndElement)
            endElement();
        else if (token == QXmlStreamReader::Characters)
            text_ += xml_.text();
    }
}

void MultistatusReader::startElement() {
    const QString key = keyOf(xml_);
    if (path_.empty() && key == QLatin1String("D:multistatus"))
        sawMultistatus_ = true;
    if (key == QLatin1String("D:response"))
        entry_ = DavEntry();
    else if (key == QLatin1String("D:propstat")) {
        props_ = DavEntry();
        propstatStatus_ = 0;
    }
    // Inside resourcetype the names of the children are what counts.
    if (path_.size() >= 1 && path_.back() == QLatin1String("D:resourcetype")) {
        props_.collection |= key == QLatin1String("D:collection");
        props_.addressBook |= key == QLatin1String("C:addressbook");
        props_.principal |= key == QLatin1String("D:principal");
    }
    if (key == QLatin1String("C:sync-collection") || key == QLatin1String("D:sync-collection"))
        for (const QString& open : path_)
            if (open == QLatin1String("D:supported-report-set"))
                props_.syncCollectionSupported = true;
    path_.push_back(key);
    text_.clear();
}

void MultistatusReader::endElement() {
    const QString key = path_.back();
    path_.pop_back();
    const QString parent = path_.empty() ? QString() : path_.back();
    if (key == QLatin1String("D:href")) {
        if (parent == QLatin1String("D:response"))
            entry_.href = text_.trimmed();
        else if (parent == QLatin1String("D:current-user-principal"))
            props_.principalHrefs << text_.trimmed();
        else if (parent == QLatin1String("C:addressbook-home-set"))
            props_.homeHrefs << text_.trimmed();
    } else if (key == QLatin1String("D:status")) {
        if (parent == QLatin1String("D:propstat"))
            propstatStatus_ = statusOfLine(text_);
        else if (parent == QLatin1String("D:response"))
            entry_.status = statusOfLine(text_);
    } else if (key == QLatin1String("D:getetag")) {
        props_.etag = text_.trimmed();
    } else if (key == QLatin1String("C:address-data")) {
        props_.card = text_;
    } else if (key == QLatin1String("CS:getctag")) {
        props_.ctag = text_.trimmed();
    } else if (key == QLatin1String("D:sync-token")) {
        if (parent == QLatin1String("D:multistatus"))
            syncToken_ = text_.trimmed();
        else
            props_.syncToken = text_.trimmed();
    } else if (key == QLatin1String("D:displayname")) {
        props_.displayName = text_.trimmed();
    } else if (key == QLatin1String("D:propstat")) {
        if (propstatStatus_ >= 200 && propstatStatus_ < 300) {
            DavEntry& e = entry_;
            const DavEntry& p = props_;
            if (!p.etag.isEmpty())
                e.etag = p.etag;
            if (!p.card.isEmpty())
                e.card = p.card;
            if (!p.ctag.isEmpty())
                e.ctag = p.ctag;
            if (!p.syncToken.isEmpty())
                e.syncToken = p.syncToken;
            if (!p.displayName.isEmpty())
                e.displayName = p.displayName;
            e.collection |= p.collection;
            e.addressBook |= p.addressBook;
            e.principal |= p.principal;
            e.syncCollectionSupported |= p.syncCollectionSupported;
            e.principalHrefs << p.principalHrefs;
            e.homeHrefs << p.homeHrefs;
        }
        props_ = DavEntry();
    } else if (key == QLatin1String("D:response")) {
        if (onEntry_)
            onEntry_(entry_);
        entry_ = DavEntry();
    }
    text_.clear();
}

QByteArray propfindBody(const QStringList& davProps, const QStringList& cardProps,
                        const QStringList& serverProps) {
    QByteArray body;
    QXmlStreamWriter xml(&body);
    startDocument(xml, QStringLiteral("propfind"));
    xml.writeStartElement(kDav, QStringLiteral("prop"));
    for (const QString& name : davProps)
        xml.writeEmptyElement(kDav, name);
    for (const QString& name : cardProps)
        xml.writeEmptyElement(kCardDav, name);
    for (const QString& name : serverProps)
        xml.writeEmptyElement(kCalendarServer, name);
    xml.writeEndDocument();
    return body;
}

QByteArray syncCollectionBody(const QString& token) {
    QByteArray body;
    QXmlStreamWriter xml(&body);
    startDocument(xml, QStringLiteral("sync-collection"));
    xml.writeTextElement(kDav, QStringLiteral("sync-token"), token);
    xml.writeTextElement(kDav, QStringLiteral("sync-level"), QStringLiteral("1"));
    xml.writeStartElement(kDav, QStringLiteral("prop"));
    xml.writeEmptyElement(kDav, QStringLiteral("getetag"));
    xml.writeEndDocument();
    return body;
}

QByteArray multigetBody(const QStringList& hrefs) {
    QByteArray body;
    QXmlStreamWriter xml(&body);
    xml.writeStartDocument();
    xml.writeNamespace(kDav, QStringLiteral("D"));
    xml.writeNamespace(kCardDav, QStringLiteral("C"));
    xml.writeStartElement(kCardDav, QStringLiteral("addressbook-multiget"));
    xml.writeStartElement(kDav, QStringLiteral("prop"));
    xml.writeEmptyElement(kDav, QStringLiteral("getetag"));
    xml.writeEmptyElement(kCardDav, QStringLiteral("address-data"));
    xml.writeEndElement();
    for (const QString& href : hrefs)
        xml.writeTextElement(kDav, QStringLiteral("href"), href);
    xml.writeEndDocument();
    return body;
}

} // namespace palvane::sync
