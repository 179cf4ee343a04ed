#include "OpmlFile.h"

#include "CAppLog.h"
#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "DamagedFiles.h"
#include "DateHelpers.h"
#include "StoredFile.h"
#include "StoredFileBatch.h"
#include "TextHelpers.h"
#include "XmlHelpers.h"

#include <QFileInfo>
#include <algorithm>
#include <climits>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr RssResult kOutOfMemory = 0x8007000E;

const char* Flag(bool value)
{
    return value ? "true" : "false";
}

void SetSafeAttribute(xmlNode* element, const char* name, const QString& value)
{
    SetAttribute(element, name, XmlSafeText(value));
}

// The failures of one save, each as its log line.
using SaveErrors = QStringList;

// What one save writes: the channel files, all flushed together.
struct SaveRun {
    CStoredFileBatch channelFiles;
    SaveErrors errors;
};

void WriteGroupChildren(xmlDoc* doc, xmlNode* element, CRssGroup& group, int indent,
                        SaveRun& run);

void WriteChannelOutline(xmlNode* outline, CRssChannel& channel, SaveRun& run)
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
    SetAttribute(outline, "count", QString::number(channel.OutlineCount()));
    // Only a choice of the person's is written: files of channels that follow the option
    // stay as they always were.
    switch (channel.RemoteImagesChoice()) {
    case CRssChannel::RemoteImages::Always:
        SetAttribute(outline, "remoteimages", u"always"_s);
        break;
    case CRssChannel::RemoteImages::Never:
        SetAttribute(outline, "remoteimages", u"never"_s);
        break;
    case CRssChannel::RemoteImages::FollowOption:
        break;
    }
    if (channel.FullArticle())
        SetAttribute(outline, "fullarticle", u"true"_s);

    // The outline stays even when the file cannot be saved: the channel must not vanish.
    QString error;
    if (channel.SaveFile(channel.FilePath(), &error, &run.channelFiles, &run.errors) != kResultOk)
        run.errors << error;
}

void WriteGroupOutline(xmlDoc* doc, xmlNode* outline, CRssGroup& group, int indent,
                       SaveRun& run)
{
    SetAttribute(outline, "type", u"group"_s);
    SetSafeAttribute(outline, "text", group.Name());
    SetAttribute(outline, "expanded", QString::fromLatin1(Flag(group.Expanded())));
    WriteGroupChildren(doc, outline, group, indent, run);
}

// element sits at indent: its outlines go 2 deeper, its closing text at its own indent.
void WriteGroupChildren(xmlDoc* doc, xmlNode* element, CRssGroup& group, int indent,
                        SaveRun& run)
{
    std::lock_guard lock(group.ChildrenLock());
    for (const CRefPtr<CRssNode>& node : group.LockedChildren()) {
        if (!node->IsChannel() && !node->IsGroup())
            continue;
        AppendLayout(doc, element, indent + 2);
        xmlNode* outline = AppendElement(doc, element, "outline");
        if (auto* channel = NodeCast<CRssChannel>(node.get()))
            WriteChannelOutline(outline, *channel, run);
        else
            WriteGroupOutline(doc, outline, *NodeCast<CRssGroup>(node.get()), indent + 2, run);
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

// Whether the element or anything inside it subscribes to a feed.
bool HoldsFeed(const xmlNode* element)
{
    const auto hasUrl = [](const xmlNode* node) {
        return node->type == XML_ELEMENT_NODE &&
               xmlHasProp(node, reinterpret_cast<const xmlChar*>("xmlUrl"));
    };
    return hasUrl(element) || VisitDescendants(element, hasUrl);
}

bool ReadChannel(CRssChannel& channel, const xmlNode* outline, ChannelFiles files)
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
    channel.SetFullArticle(Attribute(outline, "fullarticle") == "true"_L1);
    const QString remoteImages = Attribute(outline, "remoteimages");
    channel.SetRemoteImagesChoice(remoteImages == "always"_L1 ? CRssChannel::RemoteImages::Always
                                  : remoteImages == "never"_L1
                                      ? CRssChannel::RemoteImages::Never
                                      : CRssChannel::RemoteImages::FollowOption);

    channel.SetNameAndUrl(name, url);
    // Logs its own failures; a channel without a readable file is still a subscription.
    if (files == ChannelFiles::Read) {
        channel.LoadStoredFile(channel.FilePath());
    } else {
        // Until the file is read, a save writes back what data.opml said of it.
        RssChannelInfo info;
        info.description = Attribute(outline, "description");
        channel.SetInfo(info);
        const qint64 count = LeadingInt(Attribute(outline, "count"));
        channel.MarkFileUnread(int(std::clamp<qint64>(count, 0, INT_MAX)));
    }
    return true;
}

// Groups nested deeper are not read: the file written from the tree must stay well inside
// the depth the XML reader accepts.
constexpr int kMaxGroupDepth = 200;

// lostFeeds counts the outlines that subscribe to feeds, or groups too deep to keep, that are
// left out.
bool ReadGroup(CRssGroup& group, const xmlNode* element, ChannelFiles files, int& lostFeeds,
               int depth = 0)
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
        if (child->type != XML_ELEMENT_NODE)
            continue;
        bool read = false;
        const QString type = IsElement(child, "outline") ? Attribute(child, "type") : QString();
        if (EqualsIgnoringAsciiCase(type, "rss"_L1)) {
            CRefPtr<CRssChannel> channel = CRssChannel::Create(context);
            if ((read = ReadChannel(*channel, child, files)))
                group.AddChild(channel.get());
        } else if (EqualsIgnoringAsciiCase(type, "group"_L1)) {
            if (depth >= kMaxGroupDepth) {
                ++lostFeeds;
                continue;
            }
            CRefPtr<CRssGroup> subgroup = CRssGroup::Create(context);
            if ((read = ReadGroup(*subgroup, child, files, lostFeeds, depth + 1)))
                group.AddChild(subgroup.get());
        }
        if (!read && HoldsFeed(child))
            ++lostFeeds;
    }
    group.SetLoading(false);
    return true;
}

} // namespace

RssResult WriteOpmlFile(CRssGroup& root, const QString& path, QStringList* errors)
{
    SaveRun run;
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
    AppendTextElement(doc.get(), head, "title", XmlSafeText(u"Calvoria: "_s + root.Name()));
    AppendLayout(doc.get(), head, 4);
    AppendTextElement(doc.get(), head, "dateCreated", now);
    AppendLayout(doc.get(), head, 4);
    AppendTextElement(doc.get(), head, "dateModified", now);
    AppendLayout(doc.get(), head, 2);

    AppendLayout(doc.get(), opml, 2);
    xmlNode* body = AppendElement(doc.get(), opml, "body");
    SetAttribute(body, "expanded", QString::fromLatin1(Flag(root.Expanded())));
    WriteGroupChildren(doc.get(), body, root, 2, run);
    AppendLayout(doc.get(), opml, 0);
    // The channel files reach the disk before the tree that names them.
    run.channelFiles.Commit();
    SaveErrors& failures = run.errors;

    const QByteArray bytes = SerializeXml(doc.get());
    QString error = u"out of memory"_s;
    if (bytes.isEmpty() || !SaveFileAtomically(path, bytes, &error)) {
        const QString line = u"*ERROR: Cannot save group '%1': %2"_s.arg(path, error);
        LogMessage(line);
        failures << line;
    }
    if (errors)
        *errors << failures;
    return failures.isEmpty() ? kResultOk : kGenericFailure;
}

RssResult ReadOpmlFile(CRssGroup& root, const QString& path, bool* mayReplace, ChannelFiles files)
{
    LogFormat("Start Reading group: '%s'", qUtf8Printable(path));
    root.Clear();
    CFeedContext& context = *root.Context();
    bool replaceable = true;
    const auto finish = [&](RssResult result) {
        if (mayReplace)
            *mayReplace = replaceable;
        return result;
    };
    // A file that does not read whole is kept aside before anything may replace it; then
    // what is whole in it is read.
    bool keptAside = false;
    const auto keepAside = [&](const QString& reason) {
        if (!keptAside) {
            keptAside = true;
            replaceable = KeepDamagedFile(context, path, reason);
        }
        return replaceable;
    };

    XmlLoadError error;
    XmlDocPtr doc = ParseXmlFile(path, &error);
    if (!doc) {
        if (error.code == XML_ERR_NO_MEMORY ||
            (error.code == 0 && error.message == "out of memory"_L1)) {
            LogFormat("*ERROR: Failed to create XML parser %08X", kOutOfMemory);
            replaceable = false;
            return finish(kOutOfMemory);
        }
        LogMessage(u"*ERROR: Cannot load group"_s);
        if (error.refused) {
            ReportRefusedFile(context, path, error.message);
            // A symlink is replaced by the save itself, never what it leads to.
            replaceable = QFileInfo(path).isSymLink();
        }
        if (error.missing || error.refused || !keepAside(error.message))
            return finish(kGenericFailure);
        doc = ParseXmlFile(path, nullptr, XmlRecovery::KeepWhatIsWhole);
        if (!doc)
            return finish(kGenericFailure);
    }

    const xmlNode* body = FindBody(doc.get());
    if (!body) {
        LogMessage(u"*ERROR: Cannot found body element"_s);
        keepAside(u"no body element"_s);
        return finish(kGenericFailure);
    }

    int lostFeeds = 0;
    const bool read = ReadGroup(root, body, files, lostFeeds);
    if (lostFeeds > 0)
        keepAside(u"%1 subscriptions could not be read"_s.arg(lostFeeds));
    if (!read || keptAside) {
        LogFormat("*ERROR: Reading group: failed %08X '%s'", kGenericFailure, qUtf8Printable(path));
        return finish(kGenericFailure);
    }
    LogFormat("Reading group: done '%s'", qUtf8Printable(path));
    return finish(kResultOk);
}
