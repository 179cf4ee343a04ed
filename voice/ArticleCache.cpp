#include "ArticleCache.h"

#include "CAppLog.h"
#include "CHttpSession.h"

#include <QFile>
#include <QUrl>
#include <QtEndian>
#include <curl/curl.h>

namespace {

constexpr qint64 kBlockBytes = 8000;

void AppendTextField(QByteArray& out, const QString& text)
{
    const qsizetype at = out.size();
    out.resize(at + 4 + 2 * text.size());
    char* p = out.data() + at;
    qToLittleEndian<quint32>(quint32(text.size()), p);
    qToLittleEndian<char16_t>(text.utf16(), text.size(), p + 4);
}

QByteArray HeaderFields(const QString& contentType, const QString& contentLanguage)
{
    QByteArray out;
    AppendTextField(out, contentType);
    AppendTextField(out, contentLanguage);
    return out;
}

bool WriteBlocks(QFile& file, const char* data, qint64 size)
{
    for (qint64 done = 0; done < size;) {
        const qint64 block = qMin(kBlockBytes, size - done);
        if (file.write(data + done, block) != block)
            return false;
        done += block;
    }
    return true;
}

// One page fetch into the cache file. The headers are only known once the response has
// begun, so the file is created at the first body bytes, or at the end of an empty body.
struct CacheTransfer
{
    CURL* curl = nullptr;
    QFile file;
    QString contentLanguage;
    qint64 received = 0;
    bool started = false;
    bool createFailed = false;
    bool failed = false; // a write failed, the page was too large or a callback threw
};

bool StartFile(CacheTransfer& transfer)
{
    transfer.started = true;
    if (!transfer.file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        transfer.createFailed = true;
        LogFormat("*ERROR: Cannot create html cache '%s'",
                  qUtf8Printable(transfer.file.fileName()));
        return false;
    }
    const char* type = nullptr;
    curl_easy_getinfo(transfer.curl, CURLINFO_CONTENT_TYPE, &type);
    const QByteArray header =
        HeaderFields(type ? QString::fromLatin1(type) : QString(), transfer.contentLanguage);
    if (!WriteBlocks(transfer.file, header.constData(), header.size())) {
        transfer.failed = true;
        return false;
    }
    return true;
}

size_t OnHeader(char* data, size_t size, size_t count, void* userData) noexcept
{
    auto* transfer = static_cast<CacheTransfer*>(userData);
    const size_t bytes = size * count;
    try {
        static constexpr char kLanguage[] = "content-language:";
        constexpr size_t kLanguageSize = sizeof(kLanguage) - 1;
        const QByteArrayView line(data, qsizetype(bytes));
        if (line.startsWith("HTTP/")) {
            // A new response (after a redirect or an interim answer) starts afresh.
            transfer->contentLanguage.clear();
        } else if (bytes > kLanguageSize && qstrnicmp(data, kLanguage, kLanguageSize) == 0) {
            transfer->contentLanguage = QString::fromLatin1(line.sliced(kLanguageSize).trimmed());
        }
        return bytes;
    } catch (...) {
        transfer->failed = true;
        return 0;
    }
}

size_t OnBody(char* data, size_t size, size_t count, void* userData) noexcept
{
    auto* transfer = static_cast<CacheTransfer*>(userData);
    const size_t bytes = size * count;
    try {
        if (transfer->received + qint64(bytes) > kMaxArticleBytes) {
            transfer->failed = true;
            return 0; // anything but bytes aborts the transfer
        }
        if (!transfer->started && !StartFile(*transfer))
            return 0;
        if (!WriteBlocks(transfer->file, data, qint64(bytes))) {
            transfer->failed = true;
            return 0;
        }
        transfer->received += qint64(bytes);
        return bytes;
    } catch (...) {
        transfer->failed = true;
        return 0;
    }
}

bool ReadLength(QFile& file, quint32& length)
{
    char raw[4];
    if (file.read(raw, 4) != 4)
        return false;
    length = qFromLittleEndian<quint32>(raw);
    return true;
}

// The length is checked against what the file holds before anything is allocated.
bool ReadText(QFile& file, quint32 length, QString& text)
{
    const qint64 bytes = 2 * qint64(length);
    if (bytes > file.size() - file.pos())
        return false;
    const QByteArray raw = file.read(bytes);
    if (raw.size() != bytes)
        return false;
    text.resize(qsizetype(length));
    qFromLittleEndian<char16_t>(raw.constData(), qsizetype(length), text.data());
    return true;
}

} // namespace

bool WriteArticleCache(const CHttpSession& session, const QString& url, const QString& cachePath,
                       const TransferLimits& limits)
{
    CURL* curl = session.NewRequest(QUrl(url).toEncoded(), limits);
    if (!curl)
        return false;
    bool ok = false;
    try {
        CacheTransfer transfer;
        transfer.curl = curl;
        transfer.file.setFileName(cachePath);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &OnHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(kMaxArticleBytes));
        // An error status ends the transfer before any of its body arrives.
        curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);

        bool tooSlow = false;
        const auto code = CURLcode(CHttpSession::Perform(curl, limits, tooSlow));
        if (code == CURLE_OK && !transfer.started && !transfer.failed)
            StartFile(transfer);
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (code == CURLE_HTTP_RETURNED_ERROR) {
            LogFormat("*ERROR: HTTP status %ld for html cache '%s'", status,
                      qUtf8Printable(cachePath));
            QFile::remove(cachePath); // what an earlier attempt left
        } else if (tooSlow) {
            LogFormat("*ERROR: Time limit of %ld s passed for html cache '%s'", limits.totalSeconds,
                      qUtf8Printable(cachePath));
        } else if (!transfer.createFailed) {
            ok = code == CURLE_OK && !transfer.failed;
            transfer.file.close();
            if (!ok)
                LogFormat("Exception during item downloading '%s'\n", qUtf8Printable(cachePath));
        }
    } catch (...) {
        LogFormat("Exception during item downloading '%s'\n", qUtf8Printable(cachePath));
        ok = false;
    }
    curl_easy_cleanup(curl);
    return ok;
}

bool WriteArticleCacheFile(const QString& cachePath, const QString& contentType,
                           const QString& contentLanguage, const QByteArray& body)
{
    QFile file(cachePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray header = HeaderFields(contentType, contentLanguage);
    return file.write(header) == header.size() && file.write(body) == body.size() && file.flush();
}

bool ReadArticleCache(const QString& cachePath, QString& contentType, QString& contentLanguage,
                      QByteArray& body)
{
    const QByteArray path = cachePath.toUtf8();
    QFile file(cachePath);
    if (!file.open(QIODevice::ReadOnly)) {
        LogFormat("*ITEM: Cannot open html file: '%s'", path.constData());
        return false;
    }
    quint32 length = 0;
    if (!ReadLength(file, length)) {
        LogFormat("*ITEM: Cannot read encoding 1: '%s'", path.constData());
        return false;
    }
    if (!ReadText(file, length, contentType)) {
        LogFormat("*ITEM: Cannot read encoding 2: '%s'", path.constData());
        return false;
    }
    if (!ReadLength(file, length)) {
        LogFormat("*ITEM: Cannot read lang 1: '%s'", path.constData());
        return false;
    }
    if (!ReadText(file, length, contentLanguage)) {
        LogFormat("*ITEM: Cannot read lang 2: '%s'", path.constData());
        return false;
    }
    body = file.readAll();
    return true;
}

bool ReadArticleCache(const QString& cachePath, QString& contentType, QByteArray& body)
{
    QString contentLanguage;
    return ReadArticleCache(cachePath, contentType, contentLanguage, body);
}
