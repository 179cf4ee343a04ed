#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

class CHttpSession;

// A feed that a web page points to with <link rel="alternate">.
struct DiscoveredFeed
{
    QString url;   // absolute
    QString type;  // the link's MIME type
    QString title; // the link's title, possibly empty
};

// What an address given for a new channel leads to.
struct FeedDiscovery
{
    bool ok = false;
    // The address itself is a feed: feeds holds just it.
    bool isFeed = false;
    // The feeds to offer, the first one the default choice.
    std::vector<DiscoveredFeed> feeds;
    QString error; // when not ok: why, in words for the person
};

// The RSS, Atom and JSON feeds an HTML page links to as alternates, in page order, each
// once, relative addresses resolved against the page's <base> or its own address.
std::vector<DiscoveredFeed> FindFeedLinks(const QByteArray& html, const QString& pageUrl);

// Fetches url: a feed is taken as it is; an HTML page offers the feeds it links to; a
// page without any is a failure that says so.
FeedDiscovery DiscoverFeeds(const CHttpSession& session, const QString& url);
