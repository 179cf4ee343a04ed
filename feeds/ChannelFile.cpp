#include "ChannelFile.h"

#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "NewsComparator.h"
#include "XmlHelpers.h"

#include <charconv>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace {

const xmlChar* X(const char* s)
{
    return reinterpret_cast<const xmlChar*>(s);
}

// Builds the nodes of one document. Channel files are written for every channel at each
// save, so the text goes to UTF-8 through one reused buffer and the layout text comes
// from a constant.
class NodeWriter
{
public:
    explicit NodeWriter(xmlDoc* doc) : m_doc(doc) {}

    xmlNode* Element(xmlNode* parent, const char* name)
    {
        xmlNode* element = xmlNewDocNode(m_doc, nullptr, X(name), nullptr);
        if (element && parent)
            xmlAddChild(parent, element);
        return element;
    }

    // The layout text of AppendLayout (real CR LF when saved), taken from a constant.
    void Layout(xmlNode* parent, int indent)
    {
        static constexpr char kBlanks[] = "\r\n                ";
        if (!parent)
            return;
        if (indent < 0 || indent > int(sizeof kBlanks) - 3) {
            AppendLayout(m_doc, parent, qMax(indent, 0));
            return;
        }
        if (xmlNode* node = xmlNewDocTextLen(m_doc, X(kBlanks), 2 + indent)) {
            node->name = xmlStringTextNoenc;
            xmlAddChild(parent, node);
        }
    }

    // Layout, then an element holding the text (empty: no text node).
    xmlNode* TextChild(xmlNode* parent, int indent, const char* name, const QString& text)
    {
        Layout(parent, indent);
        xmlNode* element = Element(parent, name);
        if (element && !text.isEmpty()) {
            const int size = Encode(text);
            xmlAddChild(element, xmlNewDocTextLen(m_doc, X(m_buffer.data()), size));
        }
        return element;
    }

    xmlNode* TextChild(xmlNode* parent, int indent, const char* name, qint64 number)
    {
        Layout(parent, indent);
        xmlNode* element = Element(parent, name);
        if (element) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
            xmlAddChild(element, xmlNewDocTextLen(m_doc, X(digits), int(end - digits)));
        }
        return element;
    }

    void Attribute(xmlNode* element, const char* name, const char* value)
    {
        if (element)
            xmlNewProp(element, X(name), X(value));
    }

    void Attribute(xmlNode* element, const char* name, const QString& value)
    {
        if (!element)
            return;
        Encode(value);
        xmlNewProp(element, X(name), X(m_buffer.c_str()));
    }

    void Attribute(xmlNode* element, const char* name, qint64 number)
    {
        char digits[24];
        *std::to_chars(digits, digits + sizeof digits - 1, number).ptr = '\0';
        Attribute(element, name, digits);
    }

private:
    // UTF-16 to UTF-8 into the buffer, NUL-terminated; returns the length. Characters that
    // XML cannot carry (control characters, lone surrogates, U+FFFE, U+FFFF) become blanks,
    // so the file always reads back; CleanText turns them into blanks too, so the item's
    // identity does not change.
    int Encode(const QString& text)
    {
        const QChar* s = text.constData();
        const qsizetype n = text.size();
        if (qsizetype(m_buffer.size()) < 3 * n + 1)
            m_buffer.resize(3 * n + 1);
        char* out = m_buffer.data();
        for (qsizetype i = 0; i < n; ++i) {
            const char32_t c = s[i].unicode();
            if (c < 0x80) {
                *out++ = c < 0x20 && c != '\t' && c != '\n' && c != '\r' ? ' ' : char(c);
            } else if (c < 0x800) {
                *out++ = char(0xC0 | (c >> 6));
                *out++ = char(0x80 | (c & 0x3F));
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                if (c < 0xDC00 && i + 1 < n && s[i + 1].isLowSurrogate()) {
                    const char32_t u = 0x10000 + ((c - 0xD800) << 10) + (s[++i].unicode() - 0xDC00);
                    *out++ = char(0xF0 | (u >> 18));
                    *out++ = char(0x80 | ((u >> 12) & 0x3F));
                    *out++ = char(0x80 | ((u >> 6) & 0x3F));
                    *out++ = char(0x80 | (u & 0x3F));
                } else {
                    *out++ = ' ';
                }
            } else if (c >= 0xFFFE) {
                *out++ = ' ';
            } else {
                *out++ = char(0xE0 | (c >> 12));
                *out++ = char(0x80 | ((c >> 6) & 0x3F));
                *out++ = char(0x80 | (c & 0x3F));
            }
        }
        *out = '\0';
        return int(out - m_buffer.data());
    }

    xmlDoc* m_doc;
    std::string m_buffer;
};

// Which title an item element carries: the stored one, from which the identity is made
// again at the next start, or the one people see, for the reading pane's pages.
enum class TitleText
{
    Stored,
    Shown
};

void WriteItem(NodeWriter& w, xmlNode* element, const CRssItem& item, int indent, TitleText title)
{
    w.Attribute(element, "new", item.unread ? "1" : "0");
    w.Attribute(element, "deleted", item.deleted ? "1" : "0");
    w.Attribute(element, "status", qint64(item.State()));
    const int inner = indent + 2;
    w.TextChild(element, inner, "title",
                title == TitleText::Shown ? item.DisplayTitle() : item.title);
    w.TextChild(element, inner, "link", item.Link());
    w.TextChild(element, inner, "description", item.Description());
    w.TextChild(element, inner, "pubDate", item.PubDate());
    if (!item.Author().isEmpty())
        w.TextChild(element, inner, "author", item.Author());
    if (!item.Category().isEmpty())
        w.TextChild(element, inner, "category", item.Category());
    if (const RssEnclosure& enclosure = item.Enclosure();
        !enclosure.url.isEmpty() && enclosure.length != 0) {
        w.Layout(element, inner);
        xmlNode* enclosureElement = w.Element(element, "enclosure");
        w.Attribute(enclosureElement, "url", enclosure.url);
        w.Attribute(enclosureElement, "type", enclosure.type);
        w.Attribute(enclosureElement, "length", enclosure.length);
    }
    w.Layout(element, indent);
}

void AppendItem(NodeWriter& w, xmlNode* channelElement, const CRssItem& item, int indent,
                TitleText title)
{
    w.Layout(channelElement, indent);
    WriteItem(w, w.Element(channelElement, "item"), item, indent, title);
}

void WriteChannelInfo(NodeWriter& w, xmlNode* element, const CRssChannel& channel,
                      ChannelItems items, int indent)
{
    const RssChannelInfo info = channel.Info();
    w.Attribute(element, "favorite", channel.Favorite() ? "true" : "false");
    // Only the channel file keeps the voice; a channel without one is written as before.
    if (items == ChannelItems::All) {
        const QString voice = channel.Voice();
        if (!voice.isEmpty())
            w.Attribute(element, "voice", voice);
        // The validators of the feed copy the items come from; older readers ignore them.
        const QByteArray etag = channel.ETag();
        if (!etag.isEmpty())
            w.Attribute(element, "etag", QString::fromLatin1(etag));
        const QByteArray lastModified = channel.LastModified();
        if (!lastModified.isEmpty())
            w.Attribute(element, "lastmodified", QString::fromLatin1(lastModified));
    }
    w.TextChild(element, indent, "title", info.title);
    w.TextChild(element, indent, "link", info.link);
    w.TextChild(element, indent, "description", info.description);
    if (!info.pubDate.isEmpty())
        w.TextChild(element, indent, "pubDate", info.pubDate);
    if (!info.lastBuildDate.isEmpty())
        w.TextChild(element, indent, "lastBuildDate", info.lastBuildDate);
    w.TextChild(element, indent, "ttl", qint64(info.ttl));
    w.TextChild(element, indent, "generator", u"Calvoria"_s);
    if (!info.imageUrl.isEmpty() && !info.imageTitle.isEmpty() && !info.imageLink.isEmpty()) {
        w.Layout(element, indent);
        xmlNode* image = w.Element(element, "image");
        w.TextChild(image, indent + 2, "title", info.imageTitle);
        w.TextChild(image, indent + 2, "link", info.imageLink);
        w.TextChild(image, indent + 2, "url", info.imageUrl);
    }
}

} // namespace

QByteArray SerializeChannelFile(CRssChannel& channel)
{
    XmlDocPtr doc = NewXmlDocument();
    if (!doc)
        return {};
    doc->dict = xmlDictCreate(); // element and attribute names are shared, not copied
    xmlNode* rss = xmlNewDocNode(doc.get(), nullptr, X("rss"), nullptr);
    if (!rss)
        return {};
    xmlDocSetRootElement(doc.get(), rss);
    xmlNewProp(rss, X("version"), X("2.0"));
    AppendChannelElement(doc.get(), rss, channel, ChannelItems::All, 2);
    AppendLayout(doc.get(), rss, 0);
    return SerializeXml(doc.get());
}

// Layout around the element: the channel file and the sorted newspapers put a line break
// and indent blanks before it, the newspapers also a line break after it. With
// ChannelItems::None the element is left open after the info children: the caller appends
// what it holds and the closing layout (CR LF and indent blanks).
xmlNode* AppendChannelElement(xmlDoc* doc, xmlNode* parent, CRssChannel& channel,
                              ChannelItems items, int indent)
{
    NodeWriter w(doc);
    if (items != ChannelItems::None)
        w.Layout(parent, indent);
    xmlNode* element = w.Element(parent, "channel");
    if (!element)
        return nullptr;
    const int inner = indent + 2;
    WriteChannelInfo(w, element, channel, items, inner);
    switch (items) {
    case ChannelItems::All: {
        std::lock_guard lock(channel.ChildrenLock());
        for (const CRefPtr<CRssNode>& node : channel.LockedChildren()) {
            if (const CRssItem* item = NodeCast<CRssItem>(node.get()))
                AppendItem(w, element, *item, inner, TitleText::Stored);
        }
        break;
    }
    case ChannelItems::SortedNotDeleted: {
        const int sortValue = channel.Context() ? channel.Context()->Prefs().sortOrder.load() : 0;
        std::lock_guard lock(channel.ChildrenLock());
        std::vector<CRssItem*> shown;
        shown.reserve(channel.LockedChildren().size());
        for (const CRefPtr<CRssNode>& node : channel.LockedChildren()) {
            CRssItem* item = NodeCast<CRssItem>(node.get());
            if (item && !item->deleted)
                shown.push_back(item);
        }
        SortItems(shown, sortValue);
        for (const CRssItem* item : shown)
            AppendItem(w, element, *item, inner, TitleText::Shown);
        break;
    }
    case ChannelItems::None:
        return element;
    }
    w.Layout(element, indent);
    if (items == ChannelItems::SortedNotDeleted)
        w.Layout(parent, 0);
    return element;
}

void WriteItemElement(xmlDoc* doc, xmlNode* itemElement, const CRssItem& item, int indent)
{
    if (!itemElement)
        return;
    NodeWriter w(doc);
    WriteItem(w, itemElement, item, indent, TitleText::Shown);
}
