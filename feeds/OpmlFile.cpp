#include "OpmlFile.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "DateHelpers.h"
#include "XmlHelpers.h"

#include <libxml/tree.h>
#include <libxml/xmlerror.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr RssResult kOutOfMemory = 0x8007000E;

const char* Flag(bool value)
{
    return value ? "true" : "false";
}

// Whether text[i] may stand in an XML 1.0 document; a surrogate only as half of a pair.
bool IsXmlChar(const QString& text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    if (QChar::isHighSurrogate(c))
        return i + 1 < text.size() && text[i + 1].isLowSurrogate();
    if (QChar::isLowSurrogate(c))
        return i > 0 && text[i - 1].isHighSurrogate();
    return c >= 0x20 ? c < 0xFFFE : c == u'\t' || c == u'\n' || c == u'\r';
}

// A character XML cannot carry would make the whole file unreadable at the next start, so
// such characters (controls, lone surrogates, U+FFFE, U+FFFF) are left out.
QString XmlSafe(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsXmlChar(text, i))
            out += text[i];
    }
    return out;
}

void SetSafeAttribute(xmlNode* element, const char* name, const QString& value)
{
    SetAttribute(element, name, XmlSafe(value));
}

void WriteGroupChildren(xmlDoc* doc, xmlNode* element, CRssGroup& group, int indent);

void WriteChannelOutline(xmlNode* outline, CRssChannel& channel)
{
    const QString name = channel.Name();
    SetAttribute(outline, "type", u"rss"_s);
    SetSafeAttribute(outline, "text", name);
    SetSafeAttribute(outline, "title", name);
    SetSafeAttribute(outline, "xmlUrl", channel.Url());
    SetSafeAttribute(outline, "description", channel.Info().description);
    SetAttribute(outline, "favorite", QString::fromLatin1(Flag(channel.Favorite())));
    SetAttribute(outline, "autoupdate", QString::fromLatin1(Flag(channel.AutoUpdate())));
    SetAttribute(outline, "autoconvert", QString::fromLatin1(Flag(channel.AutoConvert())));
    SetAttribute(outline, "count", QString::number(channel.ChildCount()));

    // The outline stays even when the file cannot be saved: the channel must not vanish.
    const QString file = channel.FilePath();
    if (channel.SaveFile(file) != kResultOk)
        LogFormat("*ERROR: Cannot save channel file '%s'", qUtf8Printable(file));
}

void WriteGroupOutline(xmlDoc* doc, xmlNode* outline, CRssGroup& group, int indent)
{
    SetAttribute(outline, "type", u"group"_s);
    SetSafeAttribute(outline, "text", group.Name());
    SetAttribute(outline, "expanded", QString::fromLatin1(Flag(group.Expanded())));
    WriteGroupChildren(doc, outline, group, indent);
}

// element sits at indent: its outlines go 2 deeper, its closing text at its own indent.
void WriteGroupChildren(xmlDoc* doc, xmlNode* element, CRssGroup& group, int indent)
{
    std::lock_guard lock(group.ChildrenLock());
    for (const CRefPtr<CRssNode>& node : group.LockedChildren()) {
        if (!node->IsChannel() && !node->IsGroup())
            continue;
        AppendLayout(doc, element, indent + 2);
        xmlNode* outline = AppendElement(doc, element, "outline");
        if (auto* channel = NodeCast<CRssChannel>(node.get()))
            WriteChannelOutline(outline, *channel);
        else
            WriteGroupOutline(doc, outline, *NodeCast<CRssGroup>(node.get()), indent + 2);
    }
    AppendLayout(doc, element, indent);
}

bool IsElement(const xmlNode* node, const char* name)
{
    return node->type == XML_ELEMENT_NODE && !node->ns &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar*>(name));
}

// The node "opml/body" selects: the first body element of the opml root element.
xmlNode* FindBody(xmlDoc* doc)
{
    xmlNode* opml = xmlDocGetRootElement(doc);
    if (!opml || !IsElement(opml, "opml"))
        return nullptr;
    for (xmlNode* child = opml->children; child; child = child->next) {
        if (IsElement(child, "body"))
            return child;
    }
    return nullptr;
}

// Only ASCII letters fold; lowerExpected is lower-case ASCII.
bool EqualsIgnoringAsciiCase(QStringView value, QLatin1StringView lowerExpected)
{
    if (value.size() != lowerExpected.size())
        return false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        char16_t c = value[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c += u'a' - u'A';
        if (c != char16_t(uchar(lowerExpected[i].toLatin1())))
            return false;
    }
    return true;
}

bool ReadChannel(CRssChannel& channel, const xmlNode* outline)
{
    bool hasText = false, hasTitle = false, hasUrl = false;
    QString name = Attribute(outline, "text", &hasText);
    if (!hasText)
        name = Attribute(outline, "title", &hasTitle);
    const QString url = Attribute(outline, "xmlUrl", &hasUrl);
    if ((!hasText && !hasTitle) || !hasUrl)
        return false;

    bool present = false;
    const QString autoUpdate = Attribute(outline, "autoupdate", &present);
    channel.SetAutoUpdate(!present || autoUpdate != "false"_L1);
    channel.SetFavorite(Attribute(outline, "favorite") == "true"_L1);
    if (Attribute(outline, "autoconvert") == "true"_L1)
        channel.SetAutoConvert(true);

    channel.SetNameAndUrl(name, url);
    // Logs its own failures; a channel without a readable file is still a subscription.
    channel.LoadStoredFile(channel.FilePath());
    return true;
}

bool ReadGroup(CRssGroup& group, const xmlNode* element)
{
    if (!group.IsRoot()) {
        bool hasText = false;
        const QString name = Attribute(element, "text", &hasText);
        if (!hasText)
            return false;
        group.Rename(name);
    }
    group.SetExpanded(Attribute(element, "expanded") != "false"_L1);

    CFeedContext* context = group.Context();
    group.SetLoading(true);
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (!IsElement(child, "outline"))
            continue;
        bool hasType = false;
        const QString type = Attribute(child, "type", &hasType);
        if (!hasType)
            continue;
        if (EqualsIgnoringAsciiCase(type, "rss"_L1)) {
            CRefPtr<CRssChannel> channel = CRssChannel::Create(context);
            if (ReadChannel(*channel, child))
                group.AddChild(channel.get());
        } else if (EqualsIgnoringAsciiCase(type, "group"_L1)) {
            CRefPtr<CRssGroup> subgroup = CRssGroup::Create(context);
            if (ReadGroup(*subgroup, child))
                group.AddChild(subgroup.get());
        }
    }
    group.SetLoading(false);
    return true;
}

} // namespace

RssResult WriteOpmlFile(CRssGroup& root, const QString& path)
{
    XmlDocPtr doc = NewXmlDocument();
    if (!doc)
        return kOutOfMemory;
    xmlNode* opml = AppendElement(doc.get(), nullptr, "opml");
    xmlDocSetRootElement(doc.get(), opml);
    SetAttribute(opml, "version", u"1.0"_s);

    AppendLayout(doc.get(), opml, 2);
    xmlNode* head = AppendElement(doc.get(), opml, "head");
    const QString now = FormatGmtDate(root.Context()->Now());
    AppendLayout(doc.get(), head, 4);
    AppendTextElement(doc.get(), head, "title", XmlSafe(u"Calvoria: "_s + root.Name()));
    AppendLayout(doc.get(), head, 4);
    AppendTextElement(doc.get(), head, "dateCreated", now);
    AppendLayout(doc.get(), head, 4);
    AppendTextElement(doc.get(), head, "dateModified", now);
    AppendLayout(doc.get(), head, 2);

    AppendLayout(doc.get(), opml, 2);
    xmlNode* body = AppendElement(doc.get(), opml, "body");
    SetAttribute(body, "expanded", QString::fromLatin1(Flag(root.Expanded())));
    WriteGroupChildren(doc.get(), body, root, 2);
    AppendLayout(doc.get(), opml, 0);

    const QByteArray bytes = SerializeXml(doc.get());
    if (bytes.isEmpty() || !SaveFileAtomically(path, bytes))
        return kGenericFailure;
    return kResultOk;
}

RssResult ReadOpmlFile(CRssGroup& root, const QString& path)
{
    LogFormat("Start Reading group: '%s'", qUtf8Printable(path));
    root.Clear();

    XmlLoadError error;
    XmlDocPtr doc = ParseXmlFile(path, &error);
    if (!doc) {
        if (error.code == XML_ERR_NO_MEMORY ||
            (error.code == 0 && error.message == "out of memory"_L1)) {
            LogFormat("*ERROR: Failed to create XML parser %08X", kOutOfMemory);
            return kOutOfMemory;
        }
        LogMessage(u"*ERROR: Cannot load group"_s);
        return kGenericFailure;
    }

    const xmlNode* body = FindBody(doc.get());
    if (!body) {
        LogMessage(u"*ERROR: Cannot found body element"_s);
        return kGenericFailure;
    }

    if (!ReadGroup(root, body)) {
        LogFormat("*ERROR: Reading group: failed %08X '%s'", kGenericFailure, qUtf8Printable(path));
        return kGenericFailure;
    }
    LogFormat("Reading group: done '%s'", qUtf8Printable(path));
    return kResultOk;
}
