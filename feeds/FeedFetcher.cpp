#include "FeedFetcher.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CHttpSession.h"
#include "CodePages.h"
#include "DateHelpers.h"
#include "FeedParser.h"
#include "JsonFeed.h"
#include "LooseFeed.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>
#include <curl/curl.h>
#include <libxml/encoding.h>
#include <libxml/xmlerror.h>
#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Transfer
{
    QByteArray body;
    qint64 maxBytes = 0;
    bool tooLarge = false;
};

// The headers of one response of a transfer (redirects give several).
struct ResponseHeaders
{
    long status = 0;
    QByteArray location, contentType, etag, lastModified, retryAfter;
};

size_t ReadHeader(char* data, size_t size, size_t count, void* userData)
{
    auto* responses = static_cast<std::vector<ResponseHeaders>*>(userData);
    const size_t bytes = size * count;
    const QByteArray line = QByteArray(data, qsizetype(bytes)).trimmed();
    if (line.startsWith("HTTP/")) {
        const QList<QByteArray> parts = line.split(' ');
        responses->push_back({parts.size() > 1 ? parts[1].toLong() : 0, {}, {}, {}, {}, {}});
        return bytes;
    }
    const qsizetype colon = line.indexOf(':');
    if (responses->empty() || colon <= 0)
        return bytes;
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    constexpr qsizetype kLongestValue = 1024; // validators are sent back: keep them small
    if (value.size() > kLongestValue)
        return bytes;
    ResponseHeaders& response = responses->back();
    if (name == "location")
        response.location = value;
    else if (name == "content-type")
        response.contentType = value;
    else if (name == "etag")
        response.etag = value;
    else if (name == "last-modified")
        response.lastModified = value;
    else if (name == "retry-after")
        response.retryAfter = value;
    return bytes;
}

// Seconds to wait from a Retry-After value: a number of seconds or an HTTP date.
qint64 RetryAfterSeconds(const QByteArray& value)
{
    if (value.isEmpty())
        return -1;
    bool number = false;
    const qint64 seconds = value.toLongLong(&number);
    if (number)
        return seconds >= 0 ? seconds : -1;
    qint64 time = 0;
    if (!ParseRfc822Date(QString::fromLatin1(value), time))
        return -1;
    return qMax<qint64>(0, time - QDateTime::currentSecsSinceEpoch());
}

bool IsPermanentRedirect(long status)
{
    return status == 301 || status == 308;
}

// The address reached through the permanent redirects the transfer began with.
QString PermanentTarget(const QUrl& start, const std::vector<ResponseHeaders>& responses)
{
    QUrl current = start;
    bool moved = false;
    for (const ResponseHeaders& response : responses) {
        if (response.status >= 100 && response.status < 200)
            continue;
        if (!IsPermanentRedirect(response.status) || response.location.isEmpty())
            break;
        const QUrl next = current.resolved(QUrl::fromEncoded(response.location));
        if (!next.isValid())
            break;
        current = next;
        moved = true;
    }
    return moved ? current.toString(QUrl::FullyEncoded) : QString();
}

QByteArray ConditionalHeader(const char* name, const QByteArray& value)
{
    return QByteArray(name) + ": " + value;
}

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
    std::vector<ResponseHeaders> responses;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &ReadHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &responses);
    curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_slist* headers = nullptr;
    if (!options.etag.isEmpty())
        headers = curl_slist_append(headers, ConditionalHeader("If-None-Match", options.etag));
    if (!options.lastModified.isEmpty())
        headers = curl_slist_append(headers,
                                    ConditionalHeader("If-Modified-Since", options.lastModified));
    if (headers)
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);

    bool tooSlow = false;
    const auto code = CURLcode(CHttpSession::Perform(curl, limits, tooSlow));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);
    const char* effective = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
        result.finalUrl = QString::fromUtf8(effective);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);
    if (!responses.empty()) {
        const ResponseHeaders& last = responses.back();
        result.contentType = last.contentType;
        result.etag = last.etag;
        result.lastModified = last.lastModified;
        result.retryAfterSeconds = RetryAfterSeconds(last.retryAfter);
    }
    result.permanentUrl = PermanentTarget(parsed, responses);

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
        result.notModified = result.status == 304;
        result.body = std::move(transfer.body);
    }
    return result;
}

namespace {

// The encoding named by the XML declaration at the start of body; empty when none.
QByteArray DeclaredEncoding(const QByteArray& body)
{
    qsizetype start = 0;
    if (body.startsWith("\xEF\xBB\xBF"))
        start = 3;
    if (body.mid(start, 5) != "<?xml")
        return {};
    const qsizetype end = body.indexOf("?>", start);
    if (end < 0 || end - start > 512)
        return {};
    static const QRegularExpression encoding(uR"(encoding\s*=\s*["']([A-Za-z0-9._:-]+)["'])"_s);
    const QRegularExpressionMatch match =
        encoding.match(QString::fromLatin1(body.mid(start, end - start)));
    return match.hasMatch() ? match.captured(1).toLatin1() : QByteArray();
}

// The body in UTF-8 with its declaration saying so, when it is declared in a code page of
// the table that the XML library has no decoder for; otherwise nothing.
std::optional<QByteArray> TranscodedBody(const QByteArray& body)
{
    const QByteArray declared = DeclaredEncoding(body);
    if (declared.isEmpty())
        return std::nullopt;
    if (xmlCharEncodingHandlerPtr handler = xmlFindCharEncodingHandler(declared.constData())) {
        xmlCharEncCloseFunc(handler);
        return std::nullopt;
    }
    const int codePage = CharsetToCodePage(u"charset="_s + QString::fromLatin1(declared));
    // An unknown name also gives 1252: such a document stays unreadable, as it was.
    const bool known = codePage != 1252 || declared.toLower() == "windows-1252";
    if (!known || CodePageToIconvName(codePage) == nullptr)
        return std::nullopt;
    QString text;
    if (!DecodeCodePage(body, codePage, text))
        return std::nullopt;
    const qsizetype at = text.indexOf(QString::fromLatin1(declared));
    if (at >= 0)
        text.replace(at, declared.size(), u"UTF-8"_s);
    return text.toUtf8();
}

// Whether the XML library reads body as UTF-8: by its byte order mark, its declaration, or
// for want of both.
bool ReadAsUtf8(const QByteArray& body)
{
    if (body.startsWith("\xEF\xBB\xBF"))
        return true;
    // UTF-16 and UTF-32, with a byte order mark or without.
    if (body.startsWith("\xFE\xFF") || body.startsWith("\xFF\xFE") ||
        body.startsWith(QByteArrayView("\0\0", 2)) || body.startsWith(QByteArrayView("<\0", 2)) ||
        body.startsWith(QByteArrayView("\0<", 2)))
        return false;
    const QByteArray declared = DeclaredEncoding(body).toUpper();
    return declared.isEmpty() || declared == "UTF-8" || declared == "UTF8";
}

// Whether the markup of a body that is not read as UTF-8 is still written in single ASCII
// bytes: not in UTF-16 or UTF-32, nor in an encoding that shifts between character sets.
bool MarkupIsAscii(const QByteArray& body)
{
    const QByteArray declared = DeclaredEncoding(body).toUpper();
    if (declared.isEmpty())
        return false; // UTF-16 or UTF-32, which have no ASCII declaration
    for (const char* wide : {"UTF-16", "UTF16", "UTF-32", "UTF32", "UCS", "UTF-7", "UTF7",
                             "ISO-2022", "ISO2022", "CSISO2022"}) {
        if (declared.startsWith(wide))
            return false;
    }
    return true;
}

// The length of the well-formed UTF-8 sequence at text[i], or of the start of one that
// breaks off (a maximal subpart, which becomes one replacement character); whole tells
// which.
qsizetype Utf8SequenceAt(const unsigned char* text, qsizetype size, qsizetype i, bool& whole)
{
    const unsigned char lead = text[i];
    whole = true;
    if (lead < 0x80)
        return 1;
    int length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // no overlong forms
        else if (lead == 0xED)
            high = 0x9F; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // nothing above U+10FFFF
    } else {
        whole = false;
        return 1;
    }
    for (int k = 1; k < length; ++k) {
        const qsizetype at = i + k;
        const bool fits =
            at < size && text[at] >= (k == 1 ? low : 0x80) && text[at] <= (k == 1 ? high : 0xBF);
        if (!fits) {
            whole = false;
            return k;
        }
    }
    return length;
}

// The bytes with each part that is not UTF-8 replaced by U+FFFD; replaced counts them. One
// pass, whatever the bytes; nothing is copied when all is well.
QByteArray ReplaceInvalidUtf8(const QByteArray& bytes, qsizetype& replaced)
{
    replaced = 0;
    const auto* text = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype size = bytes.size();
    QByteArray out;
    qsizetype copied = 0; // bytes before this are in out
    for (qsizetype i = 0; i < size;) {
        bool whole = true;
        const qsizetype length = Utf8SequenceAt(text, size, i, whole);
        if (!whole) {
            if (replaced++ == 0)
                out.reserve(size + 64);
            out.append(bytes.constData() + copied, i - copied);
            out.append("\xEF\xBF\xBD");
            copied = i + length;
        }
        i += length;
    }
    if (replaced == 0)
        return bytes;
    out.append(bytes.constData() + copied, size - copied);
    return out;
}

} // namespace

XmlDocPtr ParseFeedBody(const QByteArray& body, const QString& source, XmlLoadError& error,
                        FeedSyntax* syntax)
{
    const bool json = LooksLikeJson(body);
    if (syntax)
        *syntax = json ? FeedSyntax::JsonFeed : FeedSyntax::Xml;
    if (json)
        return JsonFeedToRss(body, error);
    QByteArray text = body;
    bool asciiMarkup = true;
    if (std::optional<QByteArray> utf8 = TranscodedBody(body)) {
        text = *utf8;
    } else if (ReadAsUtf8(body)) {
        // A few bytes in another encoding would make the library refuse the whole feed.
        qsizetype replaced = 0;
        const QByteArray repaired = ReplaceInvalidUtf8(body, replaced);
        if (replaced > 0) {
            LogFormat("Channel text is not valid UTF-8, read with U+FFFD in its place (%lld): '%s'",
                      qlonglong(replaced), qUtf8Printable(source));
            text = repaired;
        }
    } else {
        asciiMarkup = MarkupIsAscii(body);
    }
    XmlDocPtr doc = ParseXml(text, source, &error);
    // One slip in a feed would lose all of its items; a refused size is not a slip.
    if (!doc && error.code != 0)
        doc = ReadLooseFeed(text, source, error, asciiMarkup);
    return doc;
}

XmlDocPtr LoadFeedDocument(CFeedContext& context, const QString& source, FeedOrigin origin,
                           XmlLoadError& error, FeedSyntax* syntax)
{
    if (syntax)
        *syntax = FeedSyntax::Xml;
    InitXmlLibrary();
    if (origin == FeedOrigin::Stored)
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
    return ParseFeedBody(fetched.body, source, error, syntax);
}
