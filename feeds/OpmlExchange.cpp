#include "OpmlExchange.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssReaderDoc.h"
#include "DateHelpers.h"
#include "StoredFile.h"
#include "TextHelpers.h"
#include "XmlHelpers.h"

#include <QSet>
#include <QUrl>
#include <QXmlStreamWriter>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// Deeper outlines are not read: no reader writes them, and our own tree stays shallow.
constexpr int kMaxImportDepth = 100;

bool IsOutline(const xmlNode* node)
{
    return node->type == XML_ELEMENT_NODE && !node->ns &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>("outline"));
}

bool HasOutlineChildren(const xmlNode* element)
{
    for (const xmlNode* child = element->children; child; child = child->next)
        if (IsOutline(child))
            return true;
    return false;
}

const xmlNode* FindChildElement(const xmlNode* parent, const char* name)
{
    for (const xmlNode* child = parent ? parent->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE && !child->ns &&
            xmlStrEqual(child->name, reinterpret_cast<const xmlChar*>(name)))
            return child;
    return nullptr;
}

// Entities can only be declared in a document type; OPML never needs one.
bool DeclaresEntities(xmlDoc* doc)
{
    return (doc->intSubset && (doc->intSubset->entities || doc->intSubset->pentities)) ||
           doc->extSubset;
}

void CollectFeedKeys(CRssNode& node, QSet<QString>& keys)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get()))
            keys.insert(FeedUrlKey(channel->Url()));
        else if (child->IsGroup())
            CollectFeedKeys(*child, keys);
    }
}

QString OutlineName(const xmlNode* outline)
{
    QString name = Attribute(outline, "text").simplified();
    if (name.isEmpty())
        name = Attribute(outline, "title").simplified();
    return name;
}

class CImporter
{
public:
    CImporter(CRssReaderDoc& doc, OpmlImportResult& result) : m_result(result)
    {
        CollectFeedKeys(doc.RootGroup(), m_known);
    }

    void ReadChildren(const xmlNode* element, CRssGroup& group, int depth)
    {
        const bool wasLoading = group.Loading();
        group.SetLoading(true);
        for (const xmlNode* child = element->children; child; child = child->next) {
            if (IsOutline(child))
                ReadOutline(child, group, depth);
        }
        group.SetLoading(wasLoading);
    }

private:
    void ReadOutline(const xmlNode* outline, CRssGroup& group, int depth)
    {
        bool hasUrl = false;
        const QString url = Attribute(outline, "xmlUrl", &hasUrl).trimmed();
        if (hasUrl && !url.isEmpty()) {
            ReadFeed(outline, url, group);
            return;
        }
        // Other readers mark folders with no type, "group", "folder" or "category"; links
        // and includes without children are not subscriptions.
        const QString type = Attribute(outline, "type").toLower();
        const bool folderType = type.isEmpty() || type == "group"_L1 || type == "folder"_L1 ||
                                type == "category"_L1;
        if (!folderType && !HasOutlineChildren(outline))
            return;
        if (depth >= kMaxImportDepth) {
            m_result.skippedFeeds << u"%1\tnested too deep"_s.arg(OutlineName(outline));
            ++m_result.rejected;
            return;
        }
        const QString name = OutlineName(outline);
        if (name.isEmpty()) { // a nameless folder: its feeds go where it stands
            ReadChildren(outline, group, depth + 1);
            return;
        }
        CRefPtr<CRssGroup> target = ChildGroup(group, name);
        if (target) {
            ReadChildren(outline, *target, depth + 1);
            return;
        }
        target = CRssGroup::Create(group.Context());
        target->Rename(name);
        target->SetExpanded(Attribute(outline, "expanded") != "false"_L1);
        ReadChildren(outline, *target, depth + 1);
        group.AddChild(target.get());
        ++m_result.groupsAdded;
    }

    void ReadFeed(const xmlNode* outline, const QString& url, CRssGroup& group)
    {
        const QString key = FeedUrlKey(url);
        if (key.isEmpty()) {
            ++m_result.rejected;
            m_result.skippedFeeds << u"%1\tnot a feed address"_s.arg(url);
            return;
        }
        if (m_known.contains(key)) {
            ++m_result.skipped;
            m_result.skippedFeeds << u"%1\talready subscribed"_s.arg(url);
            return;
        }
        m_known.insert(key);
        QString feedUrl;
        NormalizeFeedUrl(url, feedUrl);
        QString name = OutlineName(outline);
        if (name.isEmpty())
            name = feedUrl;
        CRefPtr<CRssChannel> channel = CRssChannel::Create(group.Context());
        RssChannelInfo info;
        info.link = Attribute(outline, "htmlUrl").trimmed();
        info.description = Attribute(outline, "description").simplified();
        channel->SetInfo(info);
        channel->SetNameAndUrl(XmlSafeText(name), XmlSafeText(feedUrl));
        group.AddChild(channel.get());
        ++m_result.added;
        m_result.addedFeeds << u"%1\t%2"_s.arg(name, feedUrl);
    }

    static CRefPtr<CRssGroup> ChildGroup(CRssGroup& group, const QString& name)
    {
        for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot())
            if (auto sub = NodeCast<CRssGroup>(child); sub && sub->Name() == name)
                return sub;
        return {};
    }

    OpmlImportResult& m_result;
    QSet<QString> m_known;
};

QString Safe(const QString& text)
{
    return XmlSafeText(text);
}

void WriteNode(QXmlStreamWriter& xml, CRssNode& node)
{
    if (auto* channel = NodeCast<CRssChannel>(&node)) {
        const QString name = channel->Name();
        const QString link = channel->Info().link;
        xml.writeEmptyElement(u"outline"_s);
        xml.writeAttribute(u"type"_s, u"rss"_s);
        xml.writeAttribute(u"text"_s, Safe(name));
        xml.writeAttribute(u"title"_s, Safe(name));
        xml.writeAttribute(u"xmlUrl"_s, Safe(channel->Url()));
        if (!link.isEmpty())
            xml.writeAttribute(u"htmlUrl"_s, Safe(link));
        return;
    }
    auto* group = NodeCast<CRssGroup>(&node);
    if (!group)
        return;
    const CRssNode::Children children = group->ChildrenSnapshot();
    if (children.empty())
        xml.writeEmptyElement(u"outline"_s);
    else
        xml.writeStartElement(u"outline"_s);
    xml.writeAttribute(u"text"_s, Safe(group->Name()));
    xml.writeAttribute(u"title"_s, Safe(group->Name()));
    for (const CRefPtr<CRssNode>& child : children)
        WriteNode(xml, *child);
    if (!children.empty())
        xml.writeEndElement();
}

QString TitleOf(CRssNode& node)
{
    if (auto* group = NodeCast<CRssGroup>(&node))
        return group->Name();
    if (auto* channel = NodeCast<CRssChannel>(&node))
        return channel->Name();
    return {};
}

} // namespace

QString FeedUrlKey(const QString& url)
{
    QString normal;
    if (!NormalizeFeedUrl(url, normal))
        return {};
    QUrl parsed(normal, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return {};
    parsed.setFragment({});
    const QString scheme = parsed.scheme().toLower();
    if ((scheme == "http"_L1 && parsed.port() == 80) || (scheme == "https"_L1 && parsed.port() == 443))
        parsed.setPort(-1);
    if (parsed.path().isEmpty())
        parsed.setPath(u"/"_s);
    return parsed.toString(QUrl::FullyEncoded);
}

OpmlImportResult ImportOpmlBytes(const QByteArray& bytes, CRssGroup& under, CRssReaderDoc& doc)
{
    OpmlImportResult result;
    // Refused before the parser sees it: a document that declares entities (external ones,
    // or a chain of entities that expand a thousandfold each) is never taken apart.
    if (bytes.contains("<!ENTITY")) {
        result.error = u"the file declares entities, which subscription lists never need: refused"_s;
        return result;
    }
    XmlLoadError error;
    XmlDocPtr xml = ParseXml(bytes, QString(), &error);
    if (!xml) {
        result.error = u"not a readable OPML file: %1"_s.arg(error.message);
        return result;
    }
    if (DeclaresEntities(xml.get())) {
        result.error = u"the file declares entities, which subscription lists never need: refused"_s;
        return result;
    }
    const xmlNode* opml = xmlDocGetRootElement(xml.get());
    if (!opml || opml->ns || !xmlStrEqual(opml->name, reinterpret_cast<const xmlChar*>("opml"))) {
        result.error = u"not an OPML file: its root element is not opml"_s;
        return result;
    }
    const xmlNode* body = FindChildElement(opml, "body");
    if (!body) {
        result.error = u"not an OPML file: it has no body"_s;
        return result;
    }
    CImporter importer(doc, result);
    importer.ReadChildren(body, under, 0);
    result.ok = true;
    if (result.added || result.groupsAdded)
        under.Notify(RssEvent::TreeChanged);
    LogFormat("Imported subscriptions: %d added, %d skipped, %d rejected", result.added,
              result.skipped, result.rejected);
    return result;
}

OpmlImportResult ImportOpml(const QString& file, CRssGroup& under, CRssReaderDoc& doc)
{
    QByteArray bytes;
    QString reason;
    if (ReadStoredFile(file, kMaxXmlDocumentBytes, bytes, &reason) != StoredRead::Ok) {
        OpmlImportResult result;
        result.error = u"cannot read %1: %2"_s.arg(file, reason);
        LogMessage(u"*ERROR: Cannot import subscriptions: "_s + result.error);
        return result;
    }
    OpmlImportResult result = ImportOpmlBytes(bytes, under, doc);
    if (!result.ok)
        LogMessage(u"*ERROR: Cannot import subscriptions from '%1': %2"_s.arg(file, result.error));
    return result;
}

QByteArray ExportOpmlBytes(CRssNode& groupOrRoot, qint64 now)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeStartElement(u"opml"_s);
    xml.writeAttribute(u"version"_s, u"2.0"_s);
    xml.writeStartElement(u"head"_s);
    xml.writeTextElement(u"title"_s, Safe(u"Calvoria: "_s + TitleOf(groupOrRoot)));
    xml.writeTextElement(u"dateCreated"_s, FormatGmtDate(now));
    xml.writeEndElement();
    xml.writeStartElement(u"body"_s);
    auto* group = NodeCast<CRssGroup>(&groupOrRoot);
    if (group && group->IsRoot()) {
        for (const CRefPtr<CRssNode>& child : group->ChildrenSnapshot())
            WriteNode(xml, *child);
    } else {
        WriteNode(xml, groupOrRoot);
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

bool ExportOpml(CRssNode& groupOrRoot, const QString& file, QString* error)
{
    const QByteArray bytes = ExportOpmlBytes(groupOrRoot, groupOrRoot.Context()->Now());
    QString reason;
    if (SaveFileAtomically(file, bytes, &reason))
        return true;
    LogMessage(u"*ERROR: Cannot export subscriptions to '%1': %2"_s.arg(file, reason));
    if (error)
        *error = reason;
    return false;
}
