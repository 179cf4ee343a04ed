#pragma once

#include "RssTypes.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <stdexcept>
#include <vector>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;
typedef struct _xmlXPathContext xmlXPathContext;
class CRssItem;
struct XmlLoadError;

// Codes of a failed load, in the form the parser's callers log with "%08X": a parse error
// is 0xC00CE000 with the XML library's error number in the low 12 bits; a source that
// could not be read at all (network failure, HTTP error status, missing file, body over
// the size cap) is 0x800C0005.
constexpr RssResult kResourceNotFound = 0x800C0005;
constexpr RssResult kParseErrorBase = 0xC00CE000;
RssResult LoadErrorCode(const XmlLoadError& error);

// The XML library's one-time set-up, safe to call from any thread before parsing.
void InitXmlLibrary();

// An XPath query that the XML library could not evaluate (a prefix the document does not
// declare, for one).
class CXmlQueryError : public std::runtime_error
{
public:
    CXmlQueryError(RssResult code, const QString& description);
    RssResult Code() const { return m_code; }
    QString Description() const { return m_description; }

private:
    RssResult m_code;
    QString m_description;
};

// One namespace declaration of the root element, as XPath queries may use it: the default
// namespace is declared under the prefix "rss".
struct NamespaceDeclaration
{
    QByteArray prefix;
    QByteArray uri;
};
// The root element's declarations in the order they are written.
std::vector<NamespaceDeclaration> SelectionNamespaces(const xmlNode* root);

// The first child element of the document named exactly "rss", "rdf:RDF" or "feed".
RssFeedKind RecognizeFeed(xmlDoc* doc, xmlNode** root);
// The format a recognised root element is written in, for people: "RSS 2.0" (the version
// it states), "RSS 1.0", "Atom 1.0" and so on.
QString FeedFormatName(RssFeedKind kind, const xmlNode* root);

// Reads one feed document: its kind, channel info and item elements. The XPath context is
// made first, so a reader that cannot work is known before anything is loaded.
class CFeedReader
{
public:
    CFeedReader();
    ~CFeedReader();
    CFeedReader(const CFeedReader&) = delete;
    CFeedReader& operator=(const CFeedReader&) = delete;

    bool IsValid() const { return m_xpath != nullptr; }

    // Recognises the kind and fills info; kNotImplemented when no root element is
    // recognised. Fields the document lacks become empty, except the Atom link, which is
    // left as it was. Throws CXmlQueryError.
    RssResult ReadChannelInfo(xmlDoc* doc, RssChannelInfo& info, qint64 now);
    RssFeedKind Kind() const { return m_kind; }
    xmlNode* Root() const { return m_root; }

    // The item elements in document order (an empty list is not a failure); nothing when
    // the selection gives no node list. Throws CXmlQueryError.
    std::optional<std::vector<xmlNode*>> SelectItems();

private:
    xmlNode* SelectFirst(xmlNode* context, const char* query);
    QString Text(xmlNode* context, const char* query);

    xmlXPathContext* m_xpath = nullptr;
    xmlDoc* m_doc = nullptr;
    xmlNode* m_root = nullptr;
    RssFeedKind m_kind = RssFeedKind::Unknown;
    bool m_defaultNamespace = false; // an RSS root element in a namespace of its own
};

// Fills a new item from an item or entry element by the rules of syntax.
// The stored state (read, deleted, voice state) is taken from the element's attributes only
// from our own channel files (FeedOrigin::Stored): a live feed cannot start downloads or hide
// its items by carrying them. kInvalidArgument when node is not an element, kGenericFailure
// when it has neither title nor description.
RssResult ReadItem(CRssItem& item, const xmlNode* node, ItemSyntax syntax, FeedOrigin origin,
                   qint64 now);

// The steps of ReadItem, for a merge that skips the costly ones for items it already holds.
// The texts, the enclosure and the flags (the item is marked in feed):
RssResult ReadItemFields(CRssItem& item, const xmlNode* node, ItemSyntax syntax, FeedOrigin origin);
// The publication time and the normalised pubDate, without the display date. A date that
// cannot be read, or lies past what channel files hold, gives the arrival time.
void ReadItemTime(CRssItem& item, ItemSyntax syntax, qint64 now);
