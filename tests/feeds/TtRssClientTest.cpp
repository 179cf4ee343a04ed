// The Tiny Tiny RSS client against a real tt-rss: Debian's package on a private
// PostgreSQL cluster, started by tests/support/ttrss_server.py on 127.0.0.1.

#include "CHttpSession.h"
#include "CTtRssClient.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kPassword = u"calvoria-admin"_s;

QString Script()
{
    return SourceDir() + u"/tests/support/ttrss_server.py"_s;
}

// Runs one of the script's commands to its end; its output, or a failure.
QString RunScript(const QStringList& args)
{
    QProcess p;
    p.start(u"python3"_s, QStringList{Script()} + args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit ||
        p.exitCode() != 0) {
        ADD_FAILURE() << "ttrss_server.py " << args.join(u' ').toStdString() << ": "
                      << p.readAllStandardError().toStdString();
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// What keeps the server from running here; empty when it can.
QString MissingServer()
{
    QProcess p;
    p.start(u"python3"_s, {Script(), u"check"_s});
    if (!p.waitForFinished(10000))
        return u"python3 is not installed"_s;
    return p.exitCode() == 0 ? QString() : QString::fromUtf8(p.readAllStandardError()).trimmed();
}

// A fresh tt-rss for one test; stopped with the object.
class TtRssServer
{
public:
    TtRssServer()
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(u"python3"_s, {Script(), u"serve"_s, m_dir.path()});
        while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
        }
        m_url = QString::fromUtf8(m_process.readLine()).trimmed();
        if (m_url.isEmpty())
            ADD_FAILURE() << "tt-rss did not start: "
                          << m_process.readAllStandardError().toStdString()
                          << ReadFile(m_dir.filePath(u"postgres.log"_s)).toStdString();
    }
    ~TtRssServer() { Stop(); }

    void Stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(15000))
            m_process.kill();
        m_process.waitForFinished();
    }

    QString Url() const { return m_url; }
    bool Up() const { return !m_url.isEmpty(); }

    int AddFeed(const QString& title, const QString& category, int articles)
    {
        QStringList args{u"add-feed"_s, m_dir.path(), title, u"--articles"_s,
                         QString::number(articles)};
        if (!category.isEmpty())
            args << u"--category"_s << category;
        return RunScript(args).toInt();
    }
    void Sql(const QString& statement) { RunScript({u"sql"_s, m_dir.path(), statement}); }
    void ApiAccess(bool on)
    {
        RunScript({u"api-access"_s, m_dir.path(), on ? u"on"_s : u"off"_s});
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_url;
};

class TtRssClientTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static const bool initialized = CHttpSession::GlobalInit();
        ASSERT_TRUE(initialized);
        m_session = CRefPtr<CHttpSession>::Make();
        const QString missing = MissingServer();
        if (!missing.isEmpty())
            GTEST_SKIP() << "no tt-rss server to test against: " << missing.toStdString()
                         << " (scripts/debian-packages.txt lists the packages)";
    }

    CRefPtr<CHttpSession> m_session;
};

template <class T>
const T* Find(const QList<T>& list, const QString& title)
{
    for (const T& x : list)
        if (x.title == title)
            return &x;
    return nullptr;
}

QStringList Titles(const QList<TtRssHeadline>& headlines)
{
    QStringList titles;
    for (const TtRssHeadline& h : headlines)
        titles << h.title;
    return titles;
}

} // namespace

TEST_F(TtRssClientTest, ReadsTheAccountAndChangesItsArticles)
{
    TtRssServer server;
    ASSERT_TRUE(server.Up());
    const int alpha = server.AddFeed(u"Alpha"_s, u"News"_s, 5);
    const int beta = server.AddFeed(u"Beta"_s, u"Science"_s, 3);
    const int gamma = server.AddFeed(u"Gamma"_s, {}, 1);
    ASSERT_TRUE(alpha > 0 && beta > 0 && gamma > 0);

    CTtRssClient client(m_session, server.Url(), u"admin"_s, kPassword);
    ASSERT_TRUE(client.Login().Ok());
    const TtRssResult<int> level = client.ApiLevel();
    ASSERT_TRUE(level.Ok()) << level.error.toStdString();
    EXPECT_GE(level.value, 15);

    // The tree: the categories with their unread counts, every feed in its category.
    const auto categories = client.Categories();
    ASSERT_TRUE(categories.Ok()) << categories.error.toStdString();
    const TtRssCategory* news = Find(categories.value, u"News"_s);
    const TtRssCategory* science = Find(categories.value, u"Science"_s);
    ASSERT_TRUE(news && science);
    EXPECT_EQ(news->unread, 5);
    EXPECT_EQ(science->unread, 3);
    const auto feeds = client.Feeds();
    ASSERT_TRUE(feeds.Ok()) << feeds.error.toStdString();
    const TtRssFeed* alphaFeed = Find(feeds.value, u"Alpha"_s);
    const TtRssFeed* gammaFeed = Find(feeds.value, u"Gamma"_s);
    ASSERT_TRUE(alphaFeed && gammaFeed && Find(feeds.value, u"Beta"_s));
    EXPECT_EQ(alphaFeed->id, alpha);
    EXPECT_EQ(alphaFeed->categoryId, news->id);
    EXPECT_EQ(alphaFeed->unread, 5);
    EXPECT_EQ(gammaFeed->categoryId, 0);
    EXPECT_TRUE(alphaFeed->feedUrl.startsWith(u"http://127.0.0.1"_s));

    // Pages of two, oldest first, then what came after a known id, then with content.
    TtRssHeadlineQuery query;
    query.feedId = alpha;
    query.limit = 2;
    QStringList paged;
    QList<qint64> ids;
    for (;; query.skip += query.limit) {
        const auto page = client.Headlines(query);
        ASSERT_TRUE(page.Ok()) << page.error.toStdString();
        ASSERT_LE(page.value.size(), 2);
        paged += Titles(page.value);
        for (const TtRssHeadline& h : page.value) {
            ids << h.id;
            EXPECT_EQ(h.feedId, alpha);
            EXPECT_TRUE(h.unread);
            EXPECT_TRUE(h.content.isEmpty());
        }
        if (page.value.size() < 2)
            break;
    }
    EXPECT_EQ(paged, (QStringList{u"Alpha 1"_s, u"Alpha 2"_s, u"Alpha 3"_s, u"Alpha 4"_s,
                                  u"Alpha 5"_s}));
    query = {};
    query.feedId = alpha;
    query.sinceId = ids[2];
    query.showContent = true;
    const auto newer = client.Headlines(query);
    ASSERT_TRUE(newer.Ok()) << newer.error.toStdString();
    EXPECT_EQ(Titles(newer.value), (QStringList{u"Alpha 4"_s, u"Alpha 5"_s}));
    EXPECT_EQ(newer.value[0].content, u"<p>Text 4</p>"_s);
    EXPECT_EQ(newer.value[0].updated, QDateTime(QDate(2026, 1, 1), QTime(0, 0, 3), Qt::UTC));

    // Read and starred, set on the server and read back through every view of it.
    const auto unreadBefore = client.UnreadIds();
    ASSERT_TRUE(unreadBefore.Ok()) << unreadBefore.error.toStdString();
    EXPECT_EQ(unreadBefore.value.size(), 9);
    EXPECT_EQ(client.SetFlag({ids[0], ids[1]}, CTtRssClient::Flag::Unread, false).value, 2);
    EXPECT_EQ(client.SetFlag({ids[1]}, CTtRssClient::Flag::Starred, true).value, 1);
    const auto unread = client.UnreadIds();
    const auto starred = client.StarredIds();
    ASSERT_TRUE(unread.Ok() && starred.Ok())
        << unread.error.toStdString() << starred.error.toStdString();
    EXPECT_EQ(unread.value.size(), 7);
    EXPECT_FALSE(unread.value.contains(ids[0]) || unread.value.contains(ids[1]));
    EXPECT_EQ(starred.value, QList<qint64>{ids[1]});
    query = {};
    query.feedId = alpha;
    query.limit = 2;
    const auto firstTwo = client.Headlines(query);
    ASSERT_EQ(firstTwo.value.size(), 2) << firstTwo.error.toStdString();
    EXPECT_FALSE(firstTwo.value[0].unread || firstTwo.value[0].starred);
    EXPECT_TRUE(!firstTwo.value[1].unread && firstTwo.value[1].starred);
    EXPECT_EQ(client.SetFlag({ids[0]}, CTtRssClient::Flag::Unread, true).value, 1);
    const auto categoriesNow = client.Categories();
    const TtRssCategory* newsNow = Find(categoriesNow.value, u"News"_s);
    ASSERT_TRUE(newsNow);
    EXPECT_EQ(newsNow->unread, 4);

    // The server forgets the session: the client logs in again by itself, once.
    server.Sql(u"delete from ttrss_sessions"_s);
    const auto afterRestart = client.StarredIds();
    EXPECT_TRUE(afterRestart.Ok()) << afterRestart.error.toStdString();
    EXPECT_EQ(afterRestart.value, QList<qint64>{ids[1]});

    // Subscriptions: a feed the server cannot download is refused with the reason; an
    // unsubscribed feed leaves the list.
    const auto refused = client.Subscribe(u"http://127.0.0.1:9/none.xml"_s, news->id);
    EXPECT_FALSE(refused.Ok());
    EXPECT_TRUE(refused.error.startsWith(u"the server could not download the feed"_s))
        << refused.error.toStdString();
    ASSERT_TRUE(client.Unsubscribe(gamma).Ok());
    const auto feedsLeft = client.Feeds();
    ASSERT_TRUE(feedsLeft.Ok()) << feedsLeft.error.toStdString();
    EXPECT_FALSE(Find(feedsLeft.value, u"Gamma"_s));
    EXPECT_TRUE(Find(feedsLeft.value, u"Alpha"_s));
    const auto again = client.Unsubscribe(gamma);
    EXPECT_EQ(again.error, CTtRssClient::ErrorText(u"FEED_NOT_FOUND"_s));
}

TEST_F(TtRssClientTest, SaysWhatWentWrong)
{
    TtRssServer server;
    ASSERT_TRUE(server.Up());
    server.AddFeed(u"Alpha"_s, u"News"_s, 1);

    CTtRssClient wrong(m_session, server.Url(), u"admin"_s, u"not the password"_s);
    const auto refused = wrong.Login();
    EXPECT_EQ(refused.error, u"wrong user name or password"_s);
    EXPECT_FALSE(wrong.LoggedIn());
    // A call that needs a session tries the login and gives its reason.
    EXPECT_EQ(wrong.Categories().error, u"wrong user name or password"_s);

    CTtRssClient unknown(m_session, server.Url(), u"nobody"_s, kPassword);
    EXPECT_EQ(unknown.Login().error, u"wrong user name or password"_s);

    // The address of a web server that is no tt-rss API.
    CTtRssClient notApi(m_session, server.Url() + u"images/"_s, u"admin"_s, kPassword);
    const QString notApiError = notApi.Login().error;
    EXPECT_TRUE(notApiError.contains(u"HTTP error 404"_s)) << notApiError.toStdString();

    // API access turned off: refused at login, and for a session already open.
    CTtRssClient client(m_session, server.Url(), u"admin"_s, kPassword);
    ASSERT_TRUE(client.Login().Ok());
    server.ApiAccess(false);
    const QString disabled = CTtRssClient::ErrorText(u"API_DISABLED"_s);
    EXPECT_TRUE(disabled.contains(u"API access is disabled"_s));
    EXPECT_EQ(client.Feeds().error, disabled);
    CTtRssClient fresh(m_session, server.Url(), u"admin"_s, kPassword);
    EXPECT_EQ(fresh.Login().error, disabled);
    server.ApiAccess(true);
    EXPECT_TRUE(client.Feeds().Ok());

    // The server gone: nothing answers at its address any more.
    server.Stop();
    const auto gone = client.Feeds();
    EXPECT_TRUE(gone.error.startsWith(u"cannot reach the server at "_s + client.ApiUrl()))
        << gone.error.toStdString();
    EXPECT_TRUE(gone.value.isEmpty());
}
