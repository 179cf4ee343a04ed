#include "FeedFetcher.h"

#include "CAppServices.h"
#include "CFeedContext.h"
#include "CHttpSession.h"
#include "FeedParser.h"

#include <QUrl>
#include <curl/curl.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Transfer
{
    QByteArray body;
    qint64 maxBytes = 0;
    bool tooLarge = false;
};

size_t WriteBody(char* data, size_t size, size_t count, void* userData)
{
    auto* transfer = static_cast<Transfer*>(userData);
    const size_t bytes = size * count;
    if (transfer->body.size() + qint64(bytes) > transfer->maxBytes) {
        transfer->tooLarge = true;
        transfer->body.clear();
        return 0; // anything but bytes makes curl abort with CURLE_WRITE_ERROR
    }
    transfer->body.append(data, qsizetype(bytes));
    return bytes;
}

QString SizeLimitText(qint64 maxBytes)
{
    return u"document larger than %1 MB"_s.arg(maxBytes / (1024 * 1024));
}

} // namespace

FetchResult FetchUrl(const CHttpSession& session, const QString& url, const FetchOptions& options)
{
    FetchResult result;
    const QUrl parsed(url);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != u"http"_s && scheme != u"https"_s)) {
        result.error = u"unsupported address"_s;
        return result;
    }

    const TransferLimits limits{options.connectTimeoutSeconds, options.lowSpeedSeconds,
                                options.totalSeconds};
    CURL* curl = session.NewRequest(parsed.toEncoded(), limits);
    if (!curl) {
        result.error = u"cannot create a request"_s;
        return result;
    }
    Transfer transfer;
    transfer.maxBytes = options.maxBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // Refuses at once when the announced length is over the cap; the write callback
    // catches bodies of unknown length and compressed bodies that grow when decoded.
    curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options.maxBytes));

    bool tooSlow = false;
    const auto code = CURLcode(CHttpSession::Perform(curl, limits, tooSlow));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    curl_easy_cleanup(curl);

    if (transfer.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        result.error = SizeLimitText(options.maxBytes);
    } else if (tooSlow) {
        result.error = u"not done within %1 s"_s.arg(options.totalSeconds);
    } else if (code != CURLE_OK) {
        result.error = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(code));
    } else if (result.status >= 400) {
        result.error = u"HTTP %1"_s.arg(result.status);
    } else {
        result.ok = true;
        result.body = std::move(transfer.body);
    }
    return result;
}

XmlDocPtr LoadFeedDocument(CFeedContext& context, const QString& source, bool storedMode,
                           XmlLoadError& error)
{
    InitXmlLibrary();
    if (storedMode)
        return ParseXmlFile(source, &error);
    const CRefPtr<CHttpSession> session = context.App().Session();
    if (!session) {
        error = {0, u"no HTTP session"_s};
        return nullptr;
    }
    FetchResult fetched = FetchUrl(*session, source);
    if (!fetched.ok) {
        error = {0, fetched.error};
        return nullptr;
    }
    return ParseXml(fetched.body, source, &error);
}
