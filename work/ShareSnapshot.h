#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

class CRssChannel;
class CRssGroup;

// What the audio server serves, made on the window thread and handed over whole: the
// server never reads the feed tree. Its addresses (see ShareSettings):
//   BASE/podcast.xml        every episode
//   BASE/group-N.xml        the episodes of the N-th shared group
//   BASE/audio/NAME.mp3     an episode's file, one of files only
//   BASE/icon.png           the program's picture, when iconPng is set
// where BASE is http://ADDRESS:PORT/SECRET.

struct ShareFileEntry
{
    QString path; // absolute, in the MP3 folder
    qint64 size = 0;
    qint64 mtime = 0; // seconds since 1970 UTC
};

struct ShareSnapshot
{
    QByteArray secret;                    // 32 lower-case hexadecimal digits
    QHash<QString, QByteArray> feeds;     // "podcast.xml", "group-N.xml" -> RSS
    QHash<QString, ShareFileEntry> files; // "NAME.mp3" -> the file
    QByteArray iconPng;
};

// What to publish.
struct ShareSource
{
    const CRssGroup* root = nullptr;
    const CRssChannel* savedNews = nullptr; // its news with audio join the whole feed
    // The groups with feeds of their own: group-1.xml is the first. A null entry (a group
    // that is gone) leaves its number out, so the others keep theirs.
    std::vector<const CRssGroup*> groups;
    QString baseUrl; // ShareSettings::BaseUrl(): ends with "/"
    QByteArray secret;
    QByteArray iconPng;
};

// Window thread.
std::shared_ptr<const ShareSnapshot> BuildShareSnapshot(const ShareSource& source);
