#include "PodcastDownload.h"

#include "CAppLog.h"

#include <QSaveFile>
#include <QUrl>
#include <algorithm>
#include <curl/curl.h>

namespace {

constexpr long kDownloadBlockBytes = 8000;

// The temporary file is made once the response has begun, as the body's first block
// arrives or, for an empty body, when the transfer ends. Left uncommitted, it is removed.
struct PodcastFile
{
    explicit PodcastFile(const QString& path) : file(path) {}

    QSaveFile file;
    qint64 maxBytes = 0;
    qint64 written = 0;
    bool cannotCreate = false;
    bool tooLarge = false;
    bool writeFailed = false;

    bool Open()
    {
        if (!file.isOpen() && !cannotCreate)
            cannotCreate = !file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
        return !cannotCreate;
    }
};

size_t WriteBlock(char* data, size_t size, size_t count, void* user) noexcept
{
    auto* target = static_cast<PodcastFile*>(user);
    const qint64 bytes = qint64(size * count);
    // Anything but the block's size ends the transfer.
    if (target->written + bytes > target->maxBytes) {
        target->tooLarge = true;
        return 0;
    }
    if (!target->Open())
        return 0;
    if (target->file.write(data, bytes) != bytes) {
        target->writeFailed = true;
        return 0;
    }
    target->written += bytes;
    return size_t(bytes);
}

} // namespace

TransferLimits PodcastLimits::ForLength(qint64 announcedBytes) const
{
    TransferLimits limits;
    limits.totalSeconds = minSeconds;
    if (slowestBytesPerSecond > 0) {
        const qint64 bytes = std::clamp<qint64>(announcedBytes, 0, maxBytes);
        limits.totalSeconds = std::max(minSeconds, long(bytes / slowestBytesPerSecond));
    }
    return limits;
}

bool DownloadPodcast(const CHttpSession& session, const QString& url, qint64 announcedBytes,
                     const QString& mp3Path, const PodcastLimits& limits)
{
    const TransferLimits transferLimits = limits.ForLength(announcedBytes);
    CURL* curl = session.NewRequest(QUrl(url).toEncoded(), transferLimits);
    if (!curl)
        return false;
    PodcastFile target(mp3Path);
    target.maxBytes = limits.maxBytes;
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBlock);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kDownloadBlockBytes);
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(limits.maxBytes));
    // An error status ends the transfer before any of its body arrives.
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    bool tooSlow = false;
    const auto code = CURLcode(CHttpSession::Perform(curl, transferLimits, tooSlow));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    const QByteArray path = mp3Path.toUtf8();
    if (code == CURLE_HTTP_RETURNED_ERROR) {
        LogFormat("*ERROR: HTTP status %ld for podcast '%s'", status, path.constData());
        return false;
    }
    if (status == 0 && !target.file.isOpen() && !target.cannotCreate)
        return false; // no response at all
    if (target.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        LogFormat("*ERROR: Podcast larger than %lld bytes '%s'", qlonglong(limits.maxBytes),
                  path.constData());
        return false;
    }
    if (target.cannotCreate || (code == CURLE_OK && !target.Open())) {
        LogFormat("*ERROR: Cannot create podcast '%s'", path.constData());
        return false;
    }
    if (tooSlow) {
        LogFormat("*ERROR: Time limit of %ld s passed for podcast '%s'",
                  transferLimits.totalSeconds, path.constData());
        return false;
    }
    if (target.writeFailed || (code == CURLE_OK && !target.file.commit())) {
        LogFormat("*ERROR: Cannot write podcast '%s'", path.constData());
        return false;
    }
    if (code != CURLE_OK) {
        LogFormat("Exception during item podcasting '%s'\n", path.constData());
        return false;
    }
    return true;
}
