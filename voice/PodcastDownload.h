#pragma once

#include "CHttpSession.h"

#include <QString>
#include <QtGlobal>

// How much and how long one podcast download may take.
struct PodcastLimits
{
    qint64 maxBytes = 2048ll * 1024 * 1024;
    // The time limit follows the length that the feed announces, as if it came at this
    // speed, but is never shorter than minSeconds.
    long minSeconds = 30 * 60;
    qint64 slowestBytesPerSecond = 50 * 1000;

    TransferLimits ForLength(qint64 announcedBytes) const;
};

// Downloads url into mp3Path in blocks of up to 8000 bytes, whatever the response's type.
// The body goes to a temporary file beside mp3Path that replaces it only once the whole
// body is there, so a failure never leaves a partial file. Logs "*ERROR: Cannot create
// podcast '%s'" when the file cannot be made, an "*ERROR: " line for an HTTP error status,
// a body over the size cap, a write error or the time limit, and "Exception during item
// podcasting '%s'" when the transfer breaks off; an address that gives no response at all
// fails without a line.
bool DownloadPodcast(const CHttpSession& session, const QString& url, qint64 announcedBytes,
                     const QString& mp3Path, const PodcastLimits& limits = {});
