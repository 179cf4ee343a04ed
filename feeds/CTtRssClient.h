#pragma once

#include "CRefCounted.h"

#include <QDateTime>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>

class CHttpSession;

// One category of a Tiny Tiny RSS account. The server's own ones have ids below 1:
// 0 uncategorised, -1 special (starred, published, fresh...), -2 labels.
struct TtRssCategory
{
    int id = 0;
    QString title;
    int unread = 0;
};

struct TtRssFeed
{
    int id = 0;
    QString title;
    QString feedUrl;
    int categoryId = 0;
    int unread = 0;
};

struct TtRssHeadline
{
    qint64 id = 0;
    int feedId = 0;
    QString guid;
    QString title;
    QString link;
    QString author;
    QString content; // only when asked for with showContent
    QDateTime updated;
    bool unread = false;
    bool starred = false;
};

// Which headlines to list. feedId -4 is every article of the account, -1 the starred
// ones, a category's id with isCategory set its feeds together.
struct TtRssHeadlineQuery
{
    int feedId = -4;
    bool isCategory = false;
    qint64 sinceId = 0; // only articles with a greater id
    int limit = 200;    // the server gives at most 200 at a time
    int skip = 0;
    bool showContent = false;
    QString viewMode; // empty (all), "unread", "marked"...
};

// The outcome of one call: the value, or a sentence that says what went wrong.
template <class T>
struct TtRssResult
{
    T value{};
    QString error;
    bool Ok() const { return error.isEmpty(); }
};

// A Tiny Tiny RSS account reached through its JSON API (BASE/api/). Every call is
// synchronous and blocks for the network: run it on a worker thread, one call at a time
// per client. The client logs in by itself when it has no session yet, and once more
// when the server says the session has ended.
class CTtRssClient
{
public:
    enum class Flag { Starred = 0, Published = 1, Unread = 2 };

    CTtRssClient(CRefPtr<CHttpSession> session, const QString& baseUrl, const QString& user,
                 const QString& password);

    QString ApiUrl() const { return QString::fromUtf8(m_apiUrl); }
    bool LoggedIn() const { return !m_sessionId.isEmpty(); }

    TtRssResult<bool> Login();
    TtRssResult<int> ApiLevel();
    TtRssResult<QList<TtRssCategory>> Categories();
    // The feeds of a category; -4 lists them all, with the special feeds of category -1.
    TtRssResult<QList<TtRssFeed>> Feeds(int categoryId = -4);
    TtRssResult<QList<TtRssHeadline>> Headlines(const TtRssHeadlineQuery& query);
    // The ids of every unread or starred article of the account, page by page.
    TtRssResult<QList<qint64>> UnreadIds();
    TtRssResult<QList<qint64>> StarredIds();
    // Sets or clears a flag of the articles; returns how many the server changed.
    TtRssResult<int> SetFlag(const QList<qint64>& articleIds, Flag flag, bool on);
    // Subscribes to the feed at url in a category (0: none); returns the new feed's id.
    TtRssResult<int> Subscribe(const QString& url, int categoryId = 0);
    TtRssResult<bool> Unsubscribe(int feedId);

    // The sentence for one of the API's error codes.
    static QString ErrorText(const QString& code);

private:
    // The "content" of a successful answer to op; error set otherwise.
    TtRssResult<QJsonValue> Call(const QString& op, QJsonObject params);
    TtRssResult<QJsonValue> Post(const QJsonObject& request);
    TtRssResult<QList<qint64>> ArticleIds(const QString& viewMode);

    CRefPtr<CHttpSession> m_session;
    QByteArray m_apiUrl;
    QString m_user;
    QString m_password;
    QString m_sessionId;
};
