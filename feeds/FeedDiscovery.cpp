#include "FeedDiscovery.h"

#include "FeedFetcher.h"
#include "FeedParser.h"
#include "JsonFeed.h"
#include "XmlHelpers.h"

#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <libxml/HTMLparser.h>

using namespace Qt::Literals::StringLiterals;

namespace {

bool IsFeedType(const QString& type)
{
    static const QString kTypes[] = {u"application/rss+xml"_s, u"application/atom+xml"_s,
                                     u"application/rdf+xml"_s, u"application/feed+json"_s,
                                     u"application/json"_s};
    const QString bare = type.section(u';', 0, 0).trimmed().toLower();
    return std::find(std::begin(kTypes), std::end(kTypes), bare) != std::end(kTypes);
}

bool HasAlternateRel(const QString& rel)
{
    const QStringList tokens =
        rel.toLower().split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
    return tokens.contains(u"alternate"_s);
}

bool IsNamed(const xmlNode* node, const char* name)
{
    return XmlNodeWalk::IsElement(node) &&
           NodeName(node).compare(QLatin1StringView(name), Qt::CaseInsensitive) == 0;
}

} // namespace

std::vector<DiscoveredFeed> FindFeedLinks(const QByteArray& html, const QString& pageUrl)
{
    std::vector<DiscoveredFeed> feeds;
    if (html.isEmpty() || html.size() > kMaxXmlDocumentBytes)
        return feeds;
    InitXmlLibrary();
    const QByteArray base = pageUrl.toUtf8();
    XmlDocPtr doc(htmlReadMemory(html.constData(), int(html.size()), base.constData(), nullptr,
                                 HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                     HTML_PARSE_NOWARNING | HTML_PARSE_NOBLANKS));
    if (!doc)
        return feeds;
    QUrl baseUrl(pageUrl);
    bool baseSeen = false;
    VisitDescendants(reinterpret_cast<const xmlNode*>(doc.get()), [&](const xmlNode* node) {
        if (!baseSeen && IsNamed(node, "base")) {
            bool present = false;
            const QString href = Attribute(node, "href", &present).trimmed();
            if (present && !href.isEmpty()) {
                baseUrl = baseUrl.resolved(QUrl(href));
                baseSeen = true;
            }
        } else if (IsNamed(node, "link") && HasAlternateRel(Attribute(node, "rel"))) {
            const QString type = Attribute(node, "type").trimmed();
            const QString href = Attribute(node, "href").trimmed();
            if (IsFeedType(type) && !href.isEmpty()) {
                const QUrl url = baseUrl.resolved(QUrl(href));
                const QString scheme = url.scheme().toLower();
                const QString text = url.toString(QUrl::FullyEncoded);
                const bool known =
                    std::any_of(feeds.begin(), feeds.end(),
                                [&](const DiscoveredFeed& f) { return f.url == text; });
                if (url.isValid() && (scheme == u"http"_s || scheme == u"https"_s) && !known)
                    feeds.push_back({text, type, Attribute(node, "title").trimmed()});
            }
        }
        return false;
    });
    return feeds;
}

FeedDiscovery DiscoverFeeds(const CHttpSession& session, const QString& url)
{
    FeedDiscovery discovery;
    const FetchResult fetched = FetchUrl(session, url);
    if (!fetched.ok) {
        discovery.error = u"Cannot load '%1': %2"_s.arg(url, fetched.error);
        return discovery;
    }
    XmlLoadError error;
    XmlDocPtr doc = ParseFeedBody(fetched.body, url, error);
    if (doc && RecognizeFeed(doc.get(), nullptr) != RssFeedKind::Unknown) {
        discovery.ok = discovery.isFeed = true;
        discovery.feeds.push_back({url, QString::fromLatin1(fetched.contentType), {}});
        return discovery;
    }
    discovery.feeds =
        FindFeedLinks(fetched.body, fetched.finalUrl.isEmpty() ? url : fetched.finalUrl);
    discovery.ok = !discovery.feeds.empty();
    if (!discovery.ok)
        discovery.error =
            u"No feed found at '%1': it is neither a feed nor a page that links to one"_s.arg(url);
    return discovery;
}
