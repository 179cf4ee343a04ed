#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <vector>

class CRssChannel;
class CRssGroup;

// The prepared audio (converted news and downloaded podcasts) as a podcast feed that a
// phone on the home network subscribes to.

struct PodcastEpisode
{
    QString title;
    QString channelName;
    QString description; // plain text, a few paragraphs and the link to the original
    QString link;        // the original news
    QString guid;        // stable: the item's identity
    QString fileName;    // in the MP3 folder, ".mp3" included
    QString path;        // absolute
    qint64 size = 0;     // bytes
    qint64 publicationTime = 0; // seconds since 1970 UTC
    qint64 durationMs = 0;      // 0 when unknown
    qint64 mtime = 0;           // seconds since 1970 UTC
};

// Every item below root (only below onlyGroup when it is given) whose audio is ready and
// whose MP3 file is there, newest first, each file once. With savedNews, the saved news
// that have audio too (whole feed only). Window thread: reads the tree under its locks.
std::vector<PodcastEpisode> CollectEpisodes(const CRssGroup& root, const CRssGroup* onlyGroup,
                                            const CRssChannel* savedNews = nullptr);

// What the feed says about itself.
struct PodcastFeedInfo
{
    QString title;
    QString link;        // a page about it; the feed's own address will do
    QString description;
    QString language = QStringLiteral("en");
    QString author = QStringLiteral("Calvoria");
    QString imageUrl;    // empty: no picture
    QString selfUrl;     // the feed's own address
};

// RSS 2.0 with the iTunes podcast elements. mediaBaseUrl ends with "/": each enclosure is
// mediaBaseUrl + the episode's file name.
QByteArray BuildPodcastFeed(const PodcastFeedInfo& info, const std::vector<PodcastEpisode>& episodes,
                            const QString& mediaBaseUrl);

// The description of an episode: the first paragraphs of the item's description as text
// (about maxChars at most, cut between words), then the link to the original.
QString EpisodeDescription(const QString& description, const QString& link, int maxChars = 600);

// "Sat, 07 Sep 2002 09:42:31 GMT"; empty for times a feed date cannot hold.
QString Rfc822Date(qint64 time);
// "1:02:03"; "0:00:07".
QString PodcastDuration(qint64 ms);
