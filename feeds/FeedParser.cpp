#include "FeedParser.h"

#include "TextHelpers.h"

#include "CRssItem.h"
#include "DateHelpers.h"
#include "FeedLinks.h"
#include "FeedTexts.h"
#include "XmlHelpers.h"

#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <climits>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <mutex>

using namespace Qt::Literals::StringLiterals;

namespace {

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

int LeadingInt32(QStringView s)
{
    return int(std::clamp<qint64>(LeadingInt(s), INT_MIN, INT_MAX));
}

// Element names are compared without regard to case; a prefixed name never matches the
// plain names an item is read from.
bool IsNamed(const xmlNode* node, const char* name)
{
    return (!node->ns || !node->ns->prefix) && xmlStrcasecmp(node->name, X(name)) == 0;
}

QString ChildText(const xmlNode* node)
{
    return NodeText(node).trimmed();
}

// An entry's page and enclosure from its link children, whatever their order; an
// enclosure element of its own comes first.
void ReadAtomLinks(CRssItem& item, const xmlNode* entry)
{
    const AtomLinks links = ChooseAtomLinks(entry);
    if (links.page)
        item.SetLink(ResolveLink(links.page, Attribute(links.page, "href").trimmed()));
    if (links.enclosure && item.Enclosure().url.isEmpty()) {
        const xmlNode* link = links.enclosure;
        RssEnclosure enclosure;
        enclosure.url = ResolveLink(link, Attribute(link, "href").trimmed());
        enclosure.type = Attribute(link, "type");
        enclosure.length = LeadingInt(Attribute(link, "length"));
        item.SetEnclosure(enclosure);
    }
}

// The elements an item's date may come from, best first: RSS, Atom 1.0, Atom 0.3, then
// Dublin Core, which is known by its namespace whatever the prefix.
constexpr int kDateSources = 10;
constexpr int kRfc822DateRank = 0;

int DateRank(const xmlNode* node)
{
    const xmlChar* href = node->ns ? node->ns->href : nullptr;
    const auto inNamespace = [href](const char* uri) { return href && xmlStrEqual(href, X(uri)); };
    const auto named = [node](const char* name) { return xmlStrcasecmp(node->name, X(name)) == 0; };
    if (inNamespace("http://purl.org/dc/elements/1.1/"))
        return named("date") ? 6 : -1;
    if (inNamespace("http://purl.org/dc/terms/")) {
        static const char* const kTerms[] = {"issued", "modified", "created"};
        for (int i = 0; i < 3; ++i) {
            if (named(kTerms[i]))
                return 7 + i;
        }
        return -1;
    }
    if (node->ns && node->ns->prefix && !inNamespace("http://www.w3.org/2005/Atom") &&
        !inNamespace("http://purl.org/atom/ns#"))
        return -1;
    static const char* const kNames[] = {"pubDate", "published", "updated",
                                         "issued",  "modified",  "created"};
    for (int i = 0; i < 6; ++i) {
        if (named(kNames[i]))
            return i;
    }
    return -1;
}

// The best date text that reads; when none does, the best one, so that the reader still
// sees what the feed wrote.
QString ChooseDate(const std::array<QString, kDateSources>& dates)
{
    const QString* fallback = nullptr;
    for (int rank = 0; rank < kDateSources; ++rank) {
        if (dates[rank].isEmpty())
            continue;
        qint64 time = 0;
        const FeedDateForm form =
            rank == kRfc822DateRank ? FeedDateForm::Rfc822 : FeedDateForm::Iso8601;
        if (ReadFeedDate(dates[rank], form, time) == DateReading::Read)
            return dates[rank];
        if (!fallback)
            fallback = &dates[rank];
    }
    return fallback ? *fallback : QString();
}

// Collects the first message the XML library raises on this thread while alive; the
// previous handler is restored afterwards.
class CErrorCapture
{
public:
    CErrorCapture() : m_oldHandler(xmlStructuredError), m_oldContext(xmlStructuredErrorContext)
    {
        xmlSetStructuredErrorFunc(this, &CErrorCapture::Handle);
    }
    ~CErrorCapture() { xmlSetStructuredErrorFunc(m_oldContext, m_oldHandler); }
    CErrorCapture(const CErrorCapture&) = delete;
    CErrorCapture& operator=(const CErrorCapture&) = delete;

    QString Message() const
    {
        return m_message.isEmpty() ? u"XPath evaluation failed"_s : m_message;
    }

private:
    static void Handle(void* self, xmlErrorPtr error)
    {
        auto* capture = static_cast<CErrorCapture*>(self);
        if (capture->m_message.isEmpty() && error && error->message)
            capture->m_message = QString::fromUtf8(error->message).trimmed();
    }

    xmlStructuredErrorFunc m_oldHandler;
    void* m_oldContext;
    QString m_message;
};

struct XPathObjectDeleter
{
    void operator()(xmlXPathObject* object) const { xmlXPathFreeObject(object); }
};
using XPathObjectPtr = std::unique_ptr<xmlXPathObject, XPathObjectDeleter>;

} // namespace

RssResult LoadErrorCode(const XmlLoadError& error)
{
    return error.code != 0 ? kParseErrorBase | (RssResult(error.code) & 0xFFF) : kResourceNotFound;
}

CXmlQueryError::CXmlQueryError(RssResult code, const QString& description)
    : std::runtime_error(description.toStdString()), m_code(code), m_description(description)
{
}

std::vector<NamespaceDeclaration> SelectionNamespaces(const xmlNode* root)
{
    std::vector<NamespaceDeclaration> declarations;
    if (!root || root->type != XML_ELEMENT_NODE)
        return declarations;
    for (const xmlNs* ns = root->nsDef; ns; ns = ns->next) {
        const char* uri = ns->href ? reinterpret_cast<const char*>(ns->href) : "";
        if (ns->prefix)
            declarations.push_back({QByteArray(reinterpret_cast<const char*>(ns->prefix)), uri});
        else
            declarations.push_back({QByteArrayLiteral("rss"), uri});
    }
    return declarations;
}

namespace {

// An RSS 1.0 (or 0.90) file may write its channel and items with a prefix ("rss:item").
// They are put into the root's default namespace, so that they read as the plain names an
// item is read from. The namespace they are read through; null when there is nothing to do
// or the root's default namespace is another one.
const xmlNs* UnprefixRdfElements(xmlNode* root)
{
    const xmlNs* channelNs = nullptr;
    for (const xmlNode* node = root->children; node && !channelNs; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, X("channel")) && node->ns &&
            node->ns->prefix && node->ns->href &&
            (xmlStrEqual(node->ns->href, X("http://purl.org/rss/1.0/")) ||
             xmlStrEqual(node->ns->href, X("http://my.netscape.com/rdf/simple/0.9/"))))
            channelNs = node->ns;
    }
    if (!channelNs)
        return nullptr;
    xmlNs* target = nullptr;
    for (xmlNs* ns = root->nsDef; ns; ns = ns->next) {
        if (!ns->prefix)
            target = ns;
    }
    if (target && !xmlStrEqual(target->href, channelNs->href))
        return nullptr;
    if (!target)
        target = xmlNewNs(root, channelNs->href, nullptr);
    if (!target)
        return nullptr;
    const xmlChar* href = target->href;
    VisitDescendants(root, [target, href](const xmlNode* node) {
        if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix &&
            xmlStrEqual(node->ns->href, href))
            const_cast<xmlNode*>(node)->ns = target;
        return false;
    });
    return target;
}

} // namespace

RssFeedKind RecognizeFeed(xmlDoc* doc, xmlNode** root)
{
    if (root)
        *root = nullptr;
    if (!doc)
        return RssFeedKind::Unknown;
    for (xmlNode* node = doc->children; node; node = node->next) {
        if (node->type != XML_ELEMENT_NODE)
            continue;
        const QString name = NodeName(node);
        RssFeedKind kind = RssFeedKind::Unknown;
        if (name == u"rss"_s)
            kind = RssFeedKind::Rss;
        else if (name == u"rdf:RDF"_s)
            kind = RssFeedKind::Rdf;
        else if (name == u"feed"_s)
            kind = RssFeedKind::Atom;
        if (kind != RssFeedKind::Unknown) {
            if (root)
                *root = node;
            return kind;
        }
    }
    return RssFeedKind::Unknown;
}

QString FeedFormatName(RssFeedKind kind, const xmlNode* root)
{
    const QByteArray ns = root && root->ns && root->ns->href
                              ? QByteArray(reinterpret_cast<const char*>(root->ns->href))
                              : QByteArray();
    switch (kind) {
    case RssFeedKind::Rss: {
        static const QRegularExpression number(u"^[0-9]{1,2}(\\.[0-9]{1,3}){0,2}$"_s);
        const QString version = root ? Attribute(root, "version").trimmed() : QString();
        return number.match(version).hasMatch() ? u"RSS "_s + version : u"RSS 0.9x/2.0"_s;
    }
    case RssFeedKind::Rdf: {
        // The default namespace of the channel and items names the version.
        for (const xmlNs* decl = root ? root->nsDef : nullptr; decl; decl = decl->next) {
            if (!decl->prefix && decl->href &&
                xmlStrEqual(decl->href, X("http://my.netscape.com/rdf/simple/0.9/")))
                return u"RSS 0.90"_s;
        }
        return u"RSS 1.0"_s;
    }
    case RssFeedKind::Atom:
        if (ns == "http://www.w3.org/2005/Atom")
            return u"Atom 1.0"_s;
        if (ns == "http://purl.org/atom/ns#")
            return u"Atom 0.3"_s;
        return u"Atom"_s;
    case RssFeedKind::Unknown:
        break;
    }
    return u"unknown"_s;
}

void InitXmlLibrary()
{
    // Downloads start on several threads at once; the set-up must not race.
    static std::once_flag initialized;
    std::call_once(initialized, [] { xmlInitParser(); });
}

CFeedReader::CFeedReader()
{
    InitXmlLibrary();
    m_xpath = xmlXPathNewContext(nullptr);
}

CFeedReader::~CFeedReader()
{
    if (m_xpath)
        xmlXPathFreeContext(m_xpath);
}

xmlNode* CFeedReader::SelectFirst(xmlNode* context, const char* query)
{
    CErrorCapture capture;
    XPathObjectPtr result(xmlXPathNodeEval(context, X(query), m_xpath));
    if (!result)
        throw CXmlQueryError(kGenericFailure, capture.Message());
    if (result->type != XPATH_NODESET || !result->nodesetval || result->nodesetval->nodeNr == 0)
        return nullptr;
    return result->nodesetval->nodeTab[0];
}

QString CFeedReader::Text(xmlNode* context, const char* query)
{
    return NodeText(SelectFirst(context, query)).trimmed();
}

RssResult CFeedReader::ReadChannelInfo(xmlDoc* doc, RssChannelInfo& info, qint64 now)
{
    m_doc = doc;
    m_kind = RecognizeFeed(doc, &m_root);
    if (m_kind == RssFeedKind::Unknown)
        return kNotImplemented;
    m_xpath->doc = doc;
    m_defaultNamespace = m_kind == RssFeedKind::Rss && m_root->ns && !m_root->ns->prefix &&
                         m_root->ns->href && m_root->ns->href[0];
    if (m_defaultNamespace)
        xmlXPathRegisterNs(m_xpath, X("rss"), m_root->ns->href);
    if (m_kind != RssFeedKind::Rss) {
        for (const NamespaceDeclaration& ns : SelectionNamespaces(m_root))
            xmlXPathRegisterNs(m_xpath, X(ns.prefix.constData()), X(ns.uri.constData()));
    }

    // Each query takes the first node in document order. "[1]" on the last step selects
    // the same node and lets the library stop there instead of walking every item.
    auto* document = reinterpret_cast<xmlNode*>(doc);
    switch (m_kind) {
    case RssFeedKind::Rss: {
        // Some feeds declare a default namespace on the root; their elements are read as
        // plain RSS 2.0 through the prefix that names it.
        const bool plain = !m_defaultNamespace;
        info.title = ChannelTitleText(SelectFirst(
            document, plain ? "rss/channel/title[1]" : "rss:rss/rss:channel/rss:title[1]"));
        const xmlNode* link = SelectFirst(document, plain ? "rss/channel/link[1]"
                                                          : "rss:rss/rss:channel/rss:link[1]");
        info.link = ResolveLink(link, NodeText(link).trimmed());
        info.description = Text(document, plain ? "rss/channel/description[1]"
                                                : "rss:rss/rss:channel/rss:description[1]");
        info.pubDate =
            Text(document, plain ? "rss/channel/pubDate[1]" : "rss:rss/rss:channel/rss:pubDate[1]");
        info.lastBuildDate = Text(document, plain ? "rss/channel/lastBuildDate[1]"
                                                  : "rss:rss/rss:channel/rss:lastBuildDate[1]");
        info.ttl = LeadingInt32(
            Text(document, plain ? "rss/channel/ttl[1]" : "rss:rss/rss:channel/rss:ttl[1]"));
        info.imageLink = Text(document, plain ? "rss/channel/image/link[1]"
                                              : "rss:rss/rss:channel/rss:image/rss:link[1]");
        info.imageTitle = Text(document, plain ? "rss/channel/image/title[1]"
                                               : "rss:rss/rss:channel/rss:image/rss:title[1]");
        info.imageUrl = Text(document, plain ? "rss/channel/image/url[1]"
                                             : "rss:rss/rss:channel/rss:image/rss:url[1]");
        break;
    }
    case RssFeedKind::Rdf:
        if (const xmlNs* ns = UnprefixRdfElements(m_root))
            xmlXPathRegisterNs(m_xpath, X("rss"), ns->href);
        info.title = Text(m_root, "rss:channel/rss:title[1]");
        info.link = Text(m_root, "rss:channel/rss:link[1]");
        info.description = Text(m_root, "rss:channel/rss:description[1]");
        info.pubDate = Text(m_root, "rss:channel/rss:pubDate[1]");
        info.lastBuildDate = Text(m_root, "rss:channel/rss:lastBuildDate[1]");
        info.ttl = LeadingInt32(Text(m_root, "rss:channel/rss:ttl[1]"));
        info.imageLink.clear();
        info.imageTitle.clear();
        info.imageUrl.clear();
        break;
    case RssFeedKind::Atom:
        info.title = ChannelTitleText(SelectFirst(m_root, "rss:title[1]"));
        if (const xmlNode* link = ChooseAtomLinks(m_root).page)
            info.link = ResolveLink(link, Attribute(link, "href").trimmed());
        info.description = Text(m_root, "rss:summary[1]");
        if (info.description.isEmpty())
            info.description = Text(m_root, "rss:info[1]");
        // Atom 1.0 calls the description "subtitle", Atom 0.3 "tagline".
        if (info.description.isEmpty())
            info.description = FeedElementText(SelectFirst(m_root, "rss:subtitle[1]"));
        if (info.description.isEmpty())
            info.description = FeedElementText(SelectFirst(m_root, "rss:tagline[1]"));
        // Atom 1.0 names it "updated", Atom 0.3 "modified".
        info.pubDate = Text(m_root, "rss:updated[1]");
        if (info.pubDate.isEmpty())
            info.pubDate = Text(m_root, "rss:modified[1]");
        info.lastBuildDate = info.pubDate;
        info.ttl = 15;
        info.imageLink.clear();
        info.imageTitle.clear();
        info.imageUrl.clear();
        break;
    case RssFeedKind::Unknown:
        break;
    }
    if (m_kind == RssFeedKind::Rdf) { // titles as text and links whole, as in the other kinds
        info.title = ShownFeedText(info.title);
        info.link = ResolveLink(m_root, info.link);
    }
    if (info.ttl == 0)
        info.ttl = 15;
    if (info.lastBuildDate.isEmpty())
        info.lastBuildDate = FormatGmtDate(now);
    return kResultOk;
}

std::optional<std::vector<xmlNode*>> CFeedReader::SelectItems()
{
    xmlNode* context = nullptr;
    const char* query = nullptr;
    switch (m_kind) {
    case RssFeedKind::Rss:
        context = reinterpret_cast<xmlNode*>(m_doc);
        query = m_defaultNamespace ? "rss:rss/rss:channel/rss:item" : "rss/channel/item";
        break;
    case RssFeedKind::Rdf:
        context = m_root;
        query = "rss:item";
        break;
    case RssFeedKind::Atom:
        context = m_root;
        query = "rss:entry";
        break;
    case RssFeedKind::Unknown:
        return std::nullopt;
    }
    CErrorCapture capture;
    XPathObjectPtr result(xmlXPathNodeEval(context, X(query), m_xpath));
    if (!result)
        throw CXmlQueryError(kGenericFailure, capture.Message());
    if (result->type != XPATH_NODESET)
        return std::nullopt;
    std::vector<xmlNode*> nodes;
    if (const xmlNodeSet* set = result->nodesetval)
        nodes.assign(set->nodeTab, set->nodeTab + set->nodeNr);
    return nodes;
}

RssResult ReadItem(CRssItem& item, const xmlNode* node, ItemSyntax syntax, FeedOrigin origin,
                   qint64 now)
{
    const RssResult result = ReadItemFields(item, node, syntax, origin);
    if (result != kResultOk)
        return result;
    item.UpdateIdentity();
    ReadItemTime(item, syntax, now);
    item.SetPublicationTime(item.publicationTime);
    return kResultOk;
}

RssResult ReadItemFields(CRssItem& item, const xmlNode* node, ItemSyntax syntax, FeedOrigin origin)
{
    const bool atomMode = syntax == ItemSyntax::Atom;
    if (!node || node->type != XML_ELEMENT_NODE)
        return kInvalidArgument;

    std::array<QString, kDateSources> dates;
    QString guidLink;
    for (const xmlNode* child = node->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE)
            continue;
        if (const int rank = DateRank(child); rank >= 0) {
            if (QString text = ChildText(child); !text.isEmpty())
                dates[rank] = std::move(text);
        } else if (IsNamed(child, "title")) {
            item.title = atomMode ? FeedElementText(child) : ChildText(child);
        } else if (IsNamed(child, "link")) {
            if (!atomMode) // Atom links are chosen by their relation, below
                item.SetLink(ResolveLink(child, ChildText(child)));
        } else if (!atomMode && IsNamed(child, "guid")) {
            if (guidLink.isEmpty())
                guidLink = GuidPermalink(child);
        } else if (IsNamed(child, "description") || IsNamed(child, "content")) {
            item.SetDescription(atomMode ? FeedElementText(child) : ChildText(child));
        } else if (IsNamed(child, "author")) {
            item.SetAuthor(ChildText(child));
        } else if (IsNamed(child, "category")) {
            item.SetCategory(ChildText(child));
        } else if (IsNamed(child, "enclosure")) {
            bool hasUrl = false, hasType = false, hasLength = false;
            RssEnclosure enclosure;
            enclosure.url = ResolveLink(child, Attribute(child, "url", &hasUrl));
            enclosure.type = Attribute(child, "type", &hasType);
            enclosure.length = LeadingInt(Attribute(child, "length", &hasLength));
            item.SetEnclosure(hasUrl && hasType && hasLength ? enclosure : RssEnclosure{});
        }
    }
    if (item.title.isEmpty() && !item.HasDescription())
        return kGenericFailure;
    // Decoding reserves a character for every UTF-8 byte; the item keeps its title for good.
    item.title.squeeze();
    item.SetPubDate(ChooseDate(dates));
    if (atomMode)
        ReadAtomLinks(item, node);
    else if (item.Link().isEmpty())
        item.SetLink(guidLink);

    item.inFeed = true;
    if (origin != FeedOrigin::Stored)
        return kResultOk;
    bool present = false;
    const QString isNew = Attribute(node, "new", &present);
    item.unread = !present || isNew == u"1"_s;
    const QString isDeleted = Attribute(node, "deleted", &present);
    item.deleted = present && isDeleted == u"1"_s;
    const QString status = Attribute(node, "status", &present);
    if (present) {
        const qint64 state = LeadingInt(status);
        // The state starts as None; writing it again would only post a notification.
        if (state >= 1 && state <= 6)
            item.SetState(RssItemState(state));
    }
    return kResultOk;
}

void ReadItemTime(CRssItem& item, ItemSyntax syntax, qint64 now)
{
    const bool atomMode = syntax == ItemSyntax::Atom;
    qint64 time = 0;
    FeedDateForm form = FeedDateForm::Rfc822;
    const bool parsed =
        ReadFeedDate(item.PubDate(), atomMode ? FeedDateForm::Iso8601 : FeedDateForm::Rfc822, time,
                     &form) == DateReading::Read;
    if (!parsed) {
        // Unreadable, or past what the channel file may hold: the arrival time.
        time = now;
        item.SetPubDate(FormatGmtDate(now));
    } else if (atomMode || form == FeedDateForm::Iso8601) {
        // Channel files hold RSS dates, in the one form every version reads.
        item.SetPubDate(FormatGmtDate(time));
    }
    if (time > now)
        time = now;
    item.publicationTime = time;
}
