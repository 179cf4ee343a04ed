#include "PodcastFeed.h"

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "DateHelpers.h"
#include "Mp3Duration.h"
#include "TextHelpers.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QXmlStreamWriter>
#include <algorithm>
#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kItunes = u"http://www.itunes.com/dtds/podcast-1.0.dtd"_s;
const QString kAtom = u"http://www.w3.org/2005/Atom"_s;

// What an episode needs of its item, copied under the channel's lock (merges change the
// fields on workers).
struct ReadyItem
{
    QString title;
    QString channelName;
    QString description;
    QString link;
    QString guid;
    QString fileName;
    QString path;
    qint64 publicationTime;
};

void ReadyItemsOf(const CRssChannel& channel, std::vector<ReadyItem>& items)
{
    const QString channelName = channel.Name();
    std::lock_guard lock(channel.ChildrenLock());
    for (const CRefPtr<CRssNode>& child : channel.LockedChildren()) {
        const auto* item = NodeCast<CRssItem>(child.get());
        if (!item || item->deleted || item->State() != RssItemState::Ready)
            continue;
        const RssIdentity& id = item->Identity();
        const bool hasIdentity = std::any_of(id.begin(), id.end(), [](quint8 b) { return b; });
        const QString name = item->AudioFileName() + u".mp3"_s;
        items.push_back({item->DisplayTitle(), channelName, item->Description(), item->Link(),
                         hasIdentity ? IdentityHex(id).toLower() : u"file-"_s + name, name,
                         item->Mp3File(), item->publicationTime});
    }
}

void ReadyItemsBelow(const CRssNode& node, std::vector<ReadyItem>& items)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (const auto* channel = NodeCast<CRssChannel>(child.get()))
            ReadyItemsOf(*channel, items);
        else if (child->IsGroup())
            ReadyItemsBelow(*child, items);
    }
}

// The XML 1.0 characters of text: control characters, unpaired surrogates and U+FFFE/FFFF
// cannot be written, escaped or not.
QString XmlText(const QString& text)
{
    const auto allowed = [&](qsizetype i) {
        const char16_t u = text[i].unicode();
        if (u < 0x20)
            return u == u'\t' || u == u'\n' || u == u'\r';
        if (QChar::isHighSurrogate(u))
            return i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (QChar::isLowSurrogate(u))
            return i > 0 && text[i - 1].isHighSurrogate();
        return u != 0xFFFE && u != 0xFFFF;
    };
    qsizetype i = 0;
    while (i < text.size() && allowed(i))
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    for (; i < text.size(); ++i)
        if (allowed(i))
            out += text[i];
    return out;
}

void TextElement(QXmlStreamWriter& xml, const QString& name, const QString& text)
{
    xml.writeTextElement(name, XmlText(text));
}

void ItunesElement(QXmlStreamWriter& xml, const QString& name, const QString& text)
{
    xml.writeTextElement(kItunes, name, XmlText(text));
}

QStringList Paragraphs(const QString& description)
{
    QStringList paragraphs;
    if (LooksLikeHtml(description)) {
        static const QRegularExpression blocks(
            uR"(<\s*/?\s*(?:p|div|br|li|h[1-6]|blockquote|tr|table|pre|section|article)\b[^>]*>)"_s,
            QRegularExpression::CaseInsensitiveOption);
        for (const QString& piece : description.split(blocks, Qt::SkipEmptyParts))
            paragraphs << HtmlToText(piece);
    } else {
        static const QRegularExpression blankLine(uR"(\n\s*\n)"_s);
        for (const QString& piece : description.split(blankLine, Qt::SkipEmptyParts))
            paragraphs << OneLineText(piece);
    }
    paragraphs.removeIf([](const QString& p) { return p.isEmpty(); });
    return paragraphs;
}

} // namespace

QString EpisodeDescription(const QString& description, const QString& link, int maxChars)
{
    // The spoken text itself is not kept once it is converted: the description is what the
    // feed said about the news.
    QString text;
    for (const QString& paragraph : Paragraphs(description)) {
        const qsizetype room = maxChars - text.size();
        if (room < 40 && !text.isEmpty())
            break;
        if (!text.isEmpty())
            text += u"\n\n"_s;
        if (paragraph.size() <= room) {
            text += paragraph;
            continue;
        }
        qsizetype cut = paragraph.lastIndexOf(u' ', room - 1);
        if (cut < room / 2)
            cut = room - 1;
        text += paragraph.left(cut).trimmed() + u"\u2026"_s;
        break;
    }
    if (!link.isEmpty())
        text += (text.isEmpty() ? u""_s : u"\n\n"_s) + u"Original: "_s + link;
    return text;
}

QString Rfc822Date(qint64 time)
{
    const QString date = FormatGmtDate(time);
    if (date.isEmpty())
        return {};
    static const char* const kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
    return QLatin1StringView(kDays[(time / 86400) % 7]) + u", "_s + date;
}

QString PodcastDuration(qint64 ms)
{
    const qint64 seconds = (ms + 500) / 1000;
    return u"%1:%2:%3"_s.arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QChar(u'0'))
        .arg(seconds % 60, 2, 10, QChar(u'0'));
}

std::vector<PodcastEpisode> CollectEpisodes(const CRssGroup& root, const CRssGroup* onlyGroup,
                                            const CRssChannel* savedNews)
{
    std::vector<ReadyItem> items;
    ReadyItemsBelow(onlyGroup ? *onlyGroup : root, items);
    if (savedNews && !onlyGroup)
        ReadyItemsOf(*savedNews, items);
    // Newest first; the tree's items before the saved copies of the same news.
    std::stable_sort(items.begin(), items.end(), [](const ReadyItem& a, const ReadyItem& b) {
        return a.publicationTime > b.publicationTime;
    });
    std::vector<PodcastEpisode> episodes;
    episodes.reserve(items.size());
    QSet<QString> seen;
    for (ReadyItem& item : items) {
        if (seen.contains(item.fileName))
            continue;
        struct stat st;
        if (::stat(QFile::encodeName(item.path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_size == 0)
            continue;
        seen.insert(item.fileName);
        PodcastEpisode episode;
        episode.title = item.title.isEmpty() ? item.fileName : item.title;
        episode.channelName = std::move(item.channelName);
        episode.description = EpisodeDescription(item.description, item.link);
        episode.link = std::move(item.link);
        episode.guid = std::move(item.guid);
        episode.fileName = std::move(item.fileName);
        episode.path = std::move(item.path);
        episode.size = st.st_size;
        episode.mtime = st.st_mtim.tv_sec;
        episode.publicationTime = item.publicationTime > 0 ? item.publicationTime : episode.mtime;
        episode.durationMs = Mp3DurationMs(episode.path, episode.size, episode.mtime);
        episodes.push_back(std::move(episode));
    }
    return episodes;
}

QByteArray BuildPodcastFeed(const PodcastFeedInfo& info, const std::vector<PodcastEpisode>& episodes,
                            const QString& mediaBaseUrl)
{
    QByteArray bytes;
    bytes.reserve(qsizetype(1024 + episodes.size() * 1200));
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(u"rss"_s);
    xml.writeAttribute(u"version"_s, u"2.0"_s);
    xml.writeNamespace(kItunes, u"itunes"_s);
    xml.writeNamespace(kAtom, u"atom"_s);
    xml.writeStartElement(u"channel"_s);
    TextElement(xml, u"title"_s, info.title);
    TextElement(xml, u"link"_s, info.link);
    TextElement(xml, u"description"_s, info.description);
    TextElement(xml, u"language"_s, info.language);
    TextElement(xml, u"generator"_s, u"Calvoria"_s);
    if (!episodes.empty())
        TextElement(xml, u"lastBuildDate"_s, Rfc822Date(episodes.front().publicationTime));
    if (!info.selfUrl.isEmpty()) {
        xml.writeEmptyElement(kAtom, u"link"_s);
        xml.writeAttribute(u"href"_s, XmlText(info.selfUrl));
        xml.writeAttribute(u"rel"_s, u"self"_s);
        xml.writeAttribute(u"type"_s, u"application/rss+xml"_s);
    }
    ItunesElement(xml, u"author"_s, info.author);
    ItunesElement(xml, u"summary"_s, info.description);
    ItunesElement(xml, u"explicit"_s, u"false"_s);
    ItunesElement(xml, u"type"_s, u"episodic"_s);
    xml.writeEmptyElement(kItunes, u"category"_s);
    xml.writeAttribute(u"text"_s, u"News"_s);
    if (!info.imageUrl.isEmpty()) {
        xml.writeEmptyElement(kItunes, u"image"_s);
        xml.writeAttribute(u"href"_s, XmlText(info.imageUrl));
        xml.writeStartElement(u"image"_s);
        TextElement(xml, u"url"_s, info.imageUrl);
        TextElement(xml, u"title"_s, info.title);
        TextElement(xml, u"link"_s, info.link);
        xml.writeEndElement();
    }
    for (const PodcastEpisode& episode : episodes) {
        xml.writeStartElement(u"item"_s);
        TextElement(xml, u"title"_s, episode.title);
        ItunesElement(xml, u"author"_s, episode.channelName);
        TextElement(xml, u"description"_s, episode.description);
        if (!episode.link.isEmpty())
            TextElement(xml, u"link"_s, episode.link);
        xml.writeEmptyElement(u"enclosure"_s);
        xml.writeAttribute(u"url"_s, mediaBaseUrl + QString::fromLatin1(QUrl::toPercentEncoding(episode.fileName)));
        xml.writeAttribute(u"length"_s, QString::number(episode.size));
        xml.writeAttribute(u"type"_s, u"audio/mpeg"_s);
        xml.writeStartElement(u"guid"_s);
        xml.writeAttribute(u"isPermaLink"_s, u"false"_s);
        xml.writeCharacters(XmlText(episode.guid));
        xml.writeEndElement();
        if (const QString date = Rfc822Date(episode.publicationTime); !date.isEmpty())
            TextElement(xml, u"pubDate"_s, date);
        if (episode.durationMs > 0)
            ItunesElement(xml, u"duration"_s, PodcastDuration(episode.durationMs));
        xml.writeEndElement();
    }
    xml.writeEndElement(); // channel
    xml.writeEndElement(); // rss
    xml.writeEndDocument();
    return bytes;
}
