#include "CTtRssClient.h"

#include "CHttpSession.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <curl/curl.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// A page of 200 headlines with their content stays far below this.
constexpr size_t kMaxAnswerBytes = 64 * 1024 * 1024;
// The most headlines the server gives for one request.
constexpr int kPageSize = 200;

struct Answer
{
    QByteArray body;
    bool tooLarge = false;
};

size_t CollectAnswer(char* data, size_t size, size_t count, void* answer)
{
    auto* a = static_cast<Answer*>(answer);
    const size_t bytes = size * count;
    if (size_t(a->body.size()) + bytes > kMaxAnswerBytes) {
        a->tooLarge = true;
        return 0;
    }
    a->body.append(data, qsizetype(bytes));
    return bytes;
}

// BASE/api/, whether the address given ends with a slash, with api/ or with neither.
QByteArray ApiAddress(const QString& baseUrl)
{
    QString url = baseUrl.trimmed();
    if (!url.endsWith(u'/'))
        url += u'/';
    if (!url.endsWith(u"/api/"_s))
        url += u"api/"_s;
    return QUrl(url).toEncoded();
}

QString CurlFailure(CURLcode code, const char* detail, const QString& url)
{
    const QString why = QString::fromUtf8(detail[0] ? detail : curl_easy_strerror(code));
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return u"cannot reach the server at %1 (%2)"_s.arg(url, why);
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_PARTIAL_FILE:
        return u"the connection to %1 dropped before the answer came (%2)"_s.arg(url, why);
    case CURLE_OPERATION_TIMEDOUT:
        return u"the server at %1 did not answer in time"_s.arg(url);
    default:
        return u"the request to %1 failed (%2)"_s.arg(url, why);
    }
}

QDateTime FromUnixTime(const QJsonValue& v)
{
    return QDateTime::fromSecsSinceEpoch(v.toInteger(), Qt::UTC);
}

// The server gives ids as numbers, and some versions as numeric strings.
qint64 IdOf(const QJsonValue& v)
{
    return v.isString() ? v.toString().toLongLong() : v.toInteger();
}

QString SubscribeFailure(int code, const QJsonObject& content)
{
    switch (code) {
    case 2:
        return u"the server finds the feed address invalid"_s;
    case 3:
        return u"the address is a web page without a feed"_s;
    case 4:
        return u"the page names several feeds: choose one of them"_s;
    case 5: {
        const QString message = content.value(u"message"_s).toString();
        return message.isEmpty() ? u"the server could not download the feed"_s
                                 : u"the server could not download the feed (%1)"_s.arg(message);
    }
    case 6:
        return u"the server finds no valid feed at the address"_s;
    default:
        return u"the server could not add the feed (code %1)"_s.arg(code);
    }
}

} // namespace

CTtRssClient::CTtRssClient(CRefPtr<CHttpSession> session, const QString& baseUrl,
                           const QString& user, const QString& password)
    : m_session(std::move(session)), m_apiUrl(ApiAddress(baseUrl)), m_user(user),
      m_password(password)
{
}

QString CTtRssClient::ErrorText(const QString& code)
{
    if (code == u"LOGIN_ERROR"_s)
        return u"wrong user name or password"_s;
    if (code == u"API_DISABLED"_s)
        return u"API access is disabled for this user: turn on \"Enable API\" in the tt-rss "
               "preferences"_s;
    if (code == u"NOT_LOGGED_IN"_s)
        return u"the server ended the session and does not accept a new login"_s;
    if (code == u"INCORRECT_USAGE"_s)
        return u"the server did not understand the request"_s;
    if (code == u"UNKNOWN_METHOD"_s)
        return u"the server does not know this request (its version may be too old)"_s;
    if (code == u"FEED_NOT_FOUND"_s)
        return u"the server has no such feed"_s;
    return u"the server refused the request (%1)"_s.arg(code);
}

TtRssResult<QJsonValue> CTtRssClient::Post(const QJsonObject& request)
{
    TtRssResult<QJsonValue> result;
    const QString url = ApiUrl();
    const TransferLimits limits;
    CURL* curl = m_session->NewRequest(m_apiUrl, limits);
    if (!curl) {
        result.error = u"cannot create a request"_s;
        return result;
    }
    const QByteArray body = QJsonDocument(request).toJson(QJsonDocument::Compact);
    Answer answer;
    char detail[CURL_ERROR_SIZE] = {};
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, long(body.size()));
    // A redirect would turn the POST into a GET that the API does not understand.
    curl_easy_setopt(curl, CURLOPT_POSTREDIR, long(CURL_REDIR_POST_ALL));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &CollectAnswer);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    bool timedOut = false;
    const auto code = CURLcode(CHttpSession::Perform(curl, limits, timedOut));
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    curl_slist_free_all(headers);

    if (answer.tooLarge) {
        result.error = u"the answer of %1 is larger than %2 MB"_s.arg(url).arg(kMaxAnswerBytes >> 20);
        return result;
    }
    if (code != CURLE_OK) {
        result.error = CurlFailure(code, detail, url);
        return result;
    }
    if (status >= 400) {
        result.error = u"the server at %1 answered with HTTP error %2"_s.arg(url).arg(status);
        return result;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer.body, &parseError);
    const QJsonObject reply = document.object();
    if (parseError.error != QJsonParseError::NoError || !reply.contains(u"status"_s)) {
        result.error = u"the server at %1 did not answer as Tiny Tiny RSS does: is the address "
                       "right?"_s.arg(url);
        return result;
    }
    const QJsonValue content = reply.value(u"content"_s);
    if (reply.value(u"status"_s).toInt() != 0) {
        // The code, for Call to tell an ended session from the other errors.
        result.value = content.toObject().value(u"error"_s).toString(u"UNKNOWN"_s);
        result.error = ErrorText(result.value.toString());
        return result;
    }
    result.value = content;
    return result;
}

TtRssResult<bool> CTtRssClient::Login()
{
    TtRssResult<bool> result;
    m_sessionId.clear();
    const QJsonObject request{
        {u"op"_s, u"login"_s}, {u"user"_s, m_user}, {u"password"_s, m_password}};
    const TtRssResult<QJsonValue> answer = Post(request);
    if (!answer.Ok()) {
        result.error = answer.error;
        return result;
    }
    m_sessionId = answer.value.toObject().value(u"session_id"_s).toString();
    if (m_sessionId.isEmpty())
        result.error = u"the server accepted the login but gave no session"_s;
    result.value = result.Ok();
    return result;
}

TtRssResult<QJsonValue> CTtRssClient::Call(const QString& op, QJsonObject params)
{
    params.insert(u"op"_s, op);
    for (int attempt = 0;; ++attempt) {
        if (m_sessionId.isEmpty()) {
            const TtRssResult<bool> login = Login();
            if (!login.Ok())
                return {{}, login.error};
        }
        params.insert(u"sid"_s, m_sessionId);
        TtRssResult<QJsonValue> answer = Post(params);
        // Sessions end on the server (expiry, a password change, a restart that lost them):
        // one new login, then the request once more.
        if (!answer.Ok() && answer.value.toString() == u"NOT_LOGGED_IN"_s && attempt == 0) {
            m_sessionId.clear();
            continue;
        }
        if (!answer.Ok())
            answer.value = QJsonValue();
        return answer;
    }
}

TtRssResult<int> CTtRssClient::ApiLevel()
{
    const TtRssResult<QJsonValue> answer = Call(u"getApiLevel"_s, {});
    return {answer.value.toObject().value(u"level"_s).toInt(), answer.error};
}

TtRssResult<QList<TtRssCategory>> CTtRssClient::Categories()
{
    const TtRssResult<QJsonValue> answer = Call(u"getCategories"_s, {});
    TtRssResult<QList<TtRssCategory>> result{{}, answer.error};
    for (const QJsonValue& v : answer.value.toArray()) {
        const QJsonObject o = v.toObject();
        result.value.append({int(IdOf(o.value(u"id"_s))), o.value(u"title"_s).toString(),
                             o.value(u"unread"_s).toInt()});
    }
    return result;
}

TtRssResult<QList<TtRssFeed>> CTtRssClient::Feeds(int categoryId)
{
    const TtRssResult<QJsonValue> answer = Call(u"getFeeds"_s, {{u"cat_id"_s, categoryId}});
    TtRssResult<QList<TtRssFeed>> result{{}, answer.error};
    for (const QJsonValue& v : answer.value.toArray()) {
        const QJsonObject o = v.toObject();
        result.value.append({int(IdOf(o.value(u"id"_s))), o.value(u"title"_s).toString(),
                             o.value(u"feed_url"_s).toString(),
                             int(IdOf(o.value(u"cat_id"_s))), o.value(u"unread"_s).toInt()});
    }
    return result;
}

TtRssResult<QList<TtRssHeadline>> CTtRssClient::Headlines(const TtRssHeadlineQuery& query)
{
    QJsonObject params{{u"feed_id"_s, query.feedId},
                       {u"is_cat"_s, query.isCategory},
                       {u"limit"_s, query.limit},
                       {u"skip"_s, query.skip},
                       {u"show_content"_s, query.showContent},
                       // The oldest first, so that paging with skip stays stable while
                       // new articles arrive.
                       {u"order_by"_s, u"date_reverse"_s}};
    if (query.sinceId > 0)
        params.insert(u"since_id"_s, query.sinceId);
    if (!query.viewMode.isEmpty())
        params.insert(u"view_mode"_s, query.viewMode);
    const TtRssResult<QJsonValue> answer = Call(u"getHeadlines"_s, params);
    TtRssResult<QList<TtRssHeadline>> result{{}, answer.error};
    for (const QJsonValue& v : answer.value.toArray()) {
        const QJsonObject o = v.toObject();
        TtRssHeadline h;
        h.id = IdOf(o.value(u"id"_s));
        h.feedId = int(IdOf(o.value(u"feed_id"_s)));
        h.guid = o.value(u"guid"_s).toString();
        h.title = o.value(u"title"_s).toString();
        h.link = o.value(u"link"_s).toString();
        h.author = o.value(u"author"_s).toString();
        h.content = o.value(u"content"_s).toString();
        h.updated = FromUnixTime(o.value(u"updated"_s));
        h.unread = o.value(u"unread"_s).toBool();
        h.starred = o.value(u"marked"_s).toBool();
        result.value.append(std::move(h));
    }
    return result;
}

TtRssResult<QList<qint64>> CTtRssClient::ArticleIds(const QString& viewMode)
{
    TtRssResult<QList<qint64>> result;
    TtRssHeadlineQuery query;
    query.viewMode = viewMode;
    query.limit = kPageSize;
    for (;;) {
        const TtRssResult<QList<TtRssHeadline>> page = Headlines(query);
        if (!page.Ok())
            return {{}, page.error};
        for (const TtRssHeadline& h : page.value)
            result.value.append(h.id);
        if (page.value.size() < kPageSize)
            return result;
        query.skip += kPageSize;
    }
}

TtRssResult<QList<qint64>> CTtRssClient::UnreadIds()
{
    return ArticleIds(u"unread"_s);
}

TtRssResult<QList<qint64>> CTtRssClient::StarredIds()
{
    return ArticleIds(u"marked"_s);
}

TtRssResult<int> CTtRssClient::SetFlag(const QList<qint64>& articleIds, Flag flag, bool on)
{
    if (articleIds.isEmpty())
        return {0, {}};
    QStringList ids;
    for (qint64 id : articleIds)
        ids.append(QString::number(id));
    const TtRssResult<QJsonValue> answer =
        Call(u"updateArticle"_s, {{u"article_ids"_s, ids.join(u',')},
                                  {u"field"_s, int(flag)},
                                  {u"mode"_s, on ? 1 : 0}});
    return {answer.value.toObject().value(u"updated"_s).toInt(), answer.error};
}

TtRssResult<int> CTtRssClient::Subscribe(const QString& url, int categoryId)
{
    const TtRssResult<QJsonValue> answer =
        Call(u"subscribeToFeed"_s, {{u"feed_url"_s, url}, {u"category_id"_s, categoryId}});
    if (!answer.Ok())
        return {0, answer.error};
    const QJsonObject status = answer.value.toObject().value(u"status"_s).toObject();
    const int code = status.value(u"code"_s).toInt(-1);
    // 0: the account had the feed already, 1: added.
    if (code == 0 || code == 1)
        return {int(IdOf(status.value(u"feed_id"_s))), {}};
    return {0, SubscribeFailure(code, status)};
}

TtRssResult<bool> CTtRssClient::Unsubscribe(int feedId)
{
    const TtRssResult<QJsonValue> answer = Call(u"unsubscribeFeed"_s, {{u"feed_id"_s, feedId}});
    return {answer.Ok(), answer.error};
}
