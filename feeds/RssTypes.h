#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <array>
#include <cstring>
#include <functional>

enum class RssNodeKind : int { Item = 0, Channel = 1, Group = 2 };

// Voice and podcast state of a news item; stored as the item's status attribute.
enum class RssItemState : int {
    None = 0,
    PageCached = 1,
    DownloadPending = 2,
    Ready = 3,
    Failed = 4,
    FileMissing = 5,
    PodcastPending = 6,
};

enum class RssFeedKind : int { Unknown = 0, Rss = 1, Rdf = 2, Atom = 3 };

// Where a feed document comes from: the feed on the web, or the channel file we wrote. Only
// our own files carry item state (read, deleted, voice state) and the channel's voice.
enum class FeedOrigin { Live, Stored };
// Whether reading a feed into a channel posts ChannelChanged when the counts change.
enum class ChannelNotice { None, Post };
// The rules an item element is read by: RSS (0.9x, 1.0, 2.0) or Atom.
enum class ItemSyntax { Rss, Atom };

// Result codes of feed operations, logged with "%08X".
using RssResult = quint32;
constexpr RssResult kResultOk = 0;
constexpr RssResult kGenericFailure = 0x80004005;
constexpr RssResult kNotImplemented = 0x80004001;
constexpr RssResult kInvalidArgument = 0x80070057;

struct RssChannelInfo {
    QString link;
    QString title;
    QString description;
    QString pubDate;
    QString lastBuildDate;
    int ttl = 15; // minutes
    QString imageUrl;
    QString imageTitle;
    QString imageLink;

    bool operator==(const RssChannelInfo&) const = default;
};

struct RssEnclosure {
    QString url;
    qint64 length = 0; // bytes
    QString type;      // MIME type

    bool operator==(const RssEnclosure&) const = default;
};

// MD5 digest naming a channel or an item.
using RssIdentity = std::array<quint8, 16>;

struct RssIdentityHash {
    size_t operator()(const RssIdentity& id) const noexcept
    {
        size_t h;
        std::memcpy(&h, id.data(), sizeof h); // already uniformly spread by MD5
        return h;
    }
};

// MD5 of the UTF-16LE code units of first followed by those of second.
RssIdentity ComputeIdentity(const QString& first, const QString& second);
// 32 upper-case hexadecimal digits.
QString IdentityHex(const RssIdentity& id);
