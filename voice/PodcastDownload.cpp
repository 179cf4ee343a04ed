#include "PodcastDownload.h"

#include "CAppLog.h"
#include "CHttpSession.h"

#include <QFile>
#include <QUrl>
#include <curl/curl.h>

namespace {

constexpr long kBlockBytes = 8000;

// The file is made once the response has begun, as the body's first block arrives or,
// for an empty body, when the transfer ends.
struct PodcastFile
{
    QFile file;
    bool cannotCreate = false;

    bool Open()
    {
        if (file.isOpen())
            return true;
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
            cannotCreate = true;
        return !cannotCreate;
    }
};

size_t WriteBlock(char* data, size_t size, size_t count, void* user)
{
    auto* target = static_cast<PodcastFile*>(user);
    const qint64 bytes = qint64(size * count);
    if (!target->Open() || target->file.write(data, bytes) != bytes)
        return 0; // anything but the block's size ends the transfer
    return size_t(bytes);
}

} // namespace

bool DownloadPodcast(const CHttpSession& session, const QString& url, const QString& mp3Path)
{
    CURL* curl = session.NewRequest(QUrl(url).toEncoded());
    if (!curl)
        return false;
    PodcastFile target;
    target.file.setFileName(mp3Path);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBlock);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
    curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBlockBytes);
    const CURLcode code = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);

    if (status == 0 && !target.file.isOpen() && !target.cannotCreate)
        return false; // no response at all
    if (target.cannotCreate || !target.Open()) {
        LogFormat("*ERROR: Cannot create podcast '%s'", qUtf8Printable(mp3Path));
        return false;
    }
    if (code != CURLE_OK) {
        LogFormat("Exception during item podcasting '%s'\n", qUtf8Printable(mp3Path));
        return false;
    }
    return true;
}
