#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class CRssGroup;
class CRssNode;
class CRssReaderDoc;

// Subscriptions in and out as other news readers write and read them: OPML 1.0 or 2.0.
// This is a separate reader and writer: data.opml keeps its own format.

struct OpmlImportResult {
    bool ok = false;     // false: nothing was changed, error says why
    QString error;       // for the person, one line
    int added = 0;       // new channels
    int skipped = 0;     // feeds already subscribed (or listed twice in the file)
    int rejected = 0;    // outlines whose address is not an http, https or feed address
    int groupsAdded = 0; // new groups (a group of the same name is merged into instead)
    QStringList addedFeeds;   // "name TAB url" of each new channel
    QStringList skippedFeeds; // "url TAB reason" of each feed left out
};

// Reads the OPML file and merges its feeds under the group, its nested outlines becoming
// groups. Feeds whose normalised address the document already subscribes to are skipped.
// Files with entity declarations or a DTD are refused whole. Nothing is downloaded and
// nothing is saved: the caller saves the document. Posts TreeChanged once for the group.
OpmlImportResult ImportOpml(const QString& file, CRssGroup& under, CRssReaderDoc& doc);

// The same from bytes already read (for tests and standard input).
OpmlImportResult ImportOpmlBytes(const QByteArray& bytes, CRssGroup& under, CRssReaderDoc& doc);

// A standard OPML 2.0 document of the node: the root group's children, or one group as an
// outline of its own, or a single channel. now: seconds since 1970 UTC for dateCreated.
QByteArray ExportOpmlBytes(CRssNode& groupOrRoot, qint64 now);

// Writes ExportOpmlBytes to file (replacing it atomically). False with the reason in error.
bool ExportOpml(CRssNode& groupOrRoot, const QString& file, QString* error);

// The form of a feed address two subscriptions are compared by: NormalizeFeedUrl, then the
// scheme and host in lower case, no default port, no fragment, "/" for an empty path.
// Empty when the text is not a feed address.
QString FeedUrlKey(const QString& url);
