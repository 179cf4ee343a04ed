// The article page cache: fetching pages into it, and reading it back.
#include "ArticleCache.h"
#include "CHttpSession.h"
#include "LocalServer.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QByteArray Le32(quint32 value)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

// A length field and the text as UTF-16LE, as the cache file holds a header value.
QByteArray Field(const char16_t* text)
{
    QByteArray units;
    quint32 count = 0;
    for (const char16_t* c = text; *c; ++c, ++count) {
        units.append(char(*c & 0xFF));
        units.append(char(*c >> 8));
    }
    return Le32(count) + units;
}

QByteArray RandomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(7);
    for (char& b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

// A port on 127.0.0.1 where nobody listens.
int ClosedPort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

// Answers one request with a fixed response, byte for byte (cpp-httplib always adds a
// content type).
class RawServer
{
public:
    explicit RawServer(std::string response) : m_response(std::move(response))
    {
        m_fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), length);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        listen(m_fd, 1);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            const int client = accept(m_fd, nullptr, nullptr);
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = read(client, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                request.append(buffer, size_t(n));
            }
            (void)!write(client, m_response.data(), m_response.size());
            close(client);
        });
    }
    ~RawServer()
    {
        shutdown(m_fd, SHUT_RDWR);
        m_thread.join();
        close(m_fd);
    }
    QString Url() const { return u"http://127.0.0.1:%1/page"_s.arg(m_port); }

private:
    std::string m_response;
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

class ArticleCacheWriteTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    QString CachePath() const { return dir.filePath(u"Voice/page.html"_s); }
    QString ExceptionLine() const
    {
        return u"Exception during item downloading '%1'"_s.arg(CachePath());
    }

    // The server goes first, so it outlives the session's kept-alive connections.
    LocalServer server;
    ScopedLog log;
    QTemporaryDir dir;
    CRefPtr<CHttpSession> session = CRefPtr<CHttpSession>::Make();

    void SetUp() override { ASSERT_TRUE(QDir(dir.path()).mkpath(u"Voice"_s)); }
};

} // namespace

TEST_F(ArticleCacheWriteTest, HeadersAreStoredAsUtf16LeBeforeTheBody)
{
    server.Get("/article", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Language", "de-CH");
        response.set_content("<p>Gr\xC3\xBC"
                             "ezi</p>",
                             "text/html; charset=utf-8");
    });
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/article"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/html; charset=utf-8") + Field(u"de-CH") +
                                         QByteArray("<p>Gr\xC3\xBC"
                                                    "ezi</p>"));
    EXPECT_TRUE(log.Lines().filter(u"*"_s).isEmpty());
}

TEST_F(ArticleCacheWriteTest, AbsentHeadersGiveEightZeroBytes)
{
    RawServer bare("HTTP/1.1 200 OK\r\nContent-Length: 11\r\nConnection: close\r\n\r\n"
                   "plain words");
    ASSERT_TRUE(WriteArticleCache(*session, bare.Url(), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), QByteArray(8, '\0') + "plain words");
}

TEST_F(ArticleCacheWriteTest, AnErrorStatusFailsWithoutACacheFile)
{
    server.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("<h1>Not found</h1>", "text/html");
    });
    server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("/missing");
    });
    // What an earlier attempt left is not taken for this page.
    ASSERT_TRUE(WriteFile(CachePath(), QByteArray(8, '\0') + "<p>old</p>"));
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/missing"), CachePath()));
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/moved"), CachePath()));
    EXPECT_EQ(log.Lines().mid(1),
              QStringList(2, u"*ERROR: HTTP status 404 for html cache '%1'"_s.arg(CachePath())));
    EXPECT_FALSE(QFile::exists(CachePath()));
}

TEST_F(ArticleCacheWriteTest, AnEmptyBodyStillWritesTheHeaders)
{
    server.Get("/empty", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "text/html; charset=iso-8859-1");
    });
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/empty"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/html; charset=iso-8859-1") + Field(u""));
}

TEST_F(ArticleCacheWriteTest, ALargeBodyIsStoredByteForByte)
{
    const QByteArray body = RandomBytes(300001);
    server.Get("/large", [&body](const httplib::Request&, httplib::Response& response) {
        response.set_content(body.toStdString(), "application/octet-stream");
    });
    // Also sent in pieces of unknown total length.
    server.Get("/chunked", [&body](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/html", [&body](size_t offset, httplib::DataSink& sink) {
                const size_t piece = std::min<size_t>(12345, size_t(body.size()) - offset);
                sink.write(body.constData() + offset, piece);
                if (offset + piece == size_t(body.size()))
                    sink.done();
                return true;
            });
    });
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/large"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"application/octet-stream") + Field(u"") + body);
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/chunked"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/html") + Field(u"") + body);
}

TEST_F(ArticleCacheWriteTest, TheHeadersAreThoseOfTheFinalResponse)
{
    server.Get("/moved", [](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Language", "fr");
        response.set_redirect("/final");
    });
    server.Get("/final", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("here", "text/plain");
    });
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/moved"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/plain") + Field(u"") + "here");
}

TEST_F(ArticleCacheWriteTest, ANewFetchReplacesTheOldFile)
{
    ASSERT_TRUE(WriteFile(CachePath(), QByteArray(5000, 'x')));
    server.Get("/short", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ok", "text/html");
    });
    ASSERT_TRUE(WriteArticleCache(*session, server.Url("/short"), CachePath()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/html") + Field(u"") + "ok");
}

TEST_F(ArticleCacheWriteTest, APageOverSixteenMegabytesIsRefused)
{
    // Shared with the server: a transfer given up may still be sending after the test ends.
    const auto big = std::make_shared<const std::string>(17 * 1024 * 1024, 'a');
    server.Get("/announced", [big](const httplib::Request&, httplib::Response& response) {
        response.set_content(*big, "text/html");
    });
    server.Get("/unannounced", [big](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider(
            "text/html", [big](size_t offset, httplib::DataSink& sink) {
                const size_t piece = std::min<size_t>(65536, big->size() - offset);
                sink.write(big->data() + offset, piece);
                if (offset + piece == big->size())
                    sink.done();
                return true;
            });
    });
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/announced"), CachePath()));
    EXPECT_EQ(log.Lines().count(ExceptionLine()), 1);
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/unannounced"), CachePath()));
    EXPECT_EQ(log.Lines().count(ExceptionLine()), 2);
    // The header fields and at most the cap of body, however the decoder cuts its pieces.
    EXPECT_LE(QFile(CachePath()).size(),
              (Field(u"text/html") + Field(u"")).size() + kMaxArticleBytes);
}

TEST_F(ArticleCacheWriteTest, ADrippingServerIsAbandonedAtTheTimeLimit)
{
    server.GetSlowly("/slow", "text/html");
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(
        WriteArticleCache(*session, server.Url("/slow"), CachePath(), TransferLimits{30, 60, 2}));
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(
        log.Lines().mid(1),
        QStringList{u"*ERROR: Time limit of 2 s passed for html cache '%1'"_s.arg(CachePath())});
}

TEST_F(ArticleCacheWriteTest, ARefusedConnectionIsLoggedAndWritesNoFile)
{
    const QString url = u"http://127.0.0.1:%1/article"_s.arg(ClosedPort());
    EXPECT_FALSE(WriteArticleCache(*session, url, CachePath()));
    EXPECT_EQ(log.Lines().filter(u"*"_s).size(), 0);
    EXPECT_TRUE(log.Contains(ExceptionLine()));
    EXPECT_FALSE(QFile::exists(CachePath()));
}

TEST_F(ArticleCacheWriteTest, ATransferCutShortFailsAndLeavesWhatArrived)
{
    server.Get("/cut", [](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(1000, "text/html",
                                      [](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset > 0)
                                              return false; // drops the connection
                                          sink.write(std::string(100, 'p').data(), 100);
                                          return true;
                                      });
    });
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/cut"), CachePath()));
    EXPECT_TRUE(log.Contains(ExceptionLine()));
    EXPECT_EQ(ReadFile(CachePath()), Field(u"text/html") + Field(u"") + QByteArray(100, 'p'));
}

TEST_F(ArticleCacheWriteTest, AFileThatCannotBeCreatedIsAnErrorOfItsOwn)
{
    server.Get("/article", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("words", "text/html");
    });
    const QString path = dir.filePath(u"no such folder/page.html"_s);
    EXPECT_FALSE(WriteArticleCache(*session, server.Url("/article"), path));
    EXPECT_EQ(log.Lines().mid(1),
              QStringList{u"*ERROR: Cannot create html cache '%1'"_s.arg(path)});
}

TEST(ArticleCacheRead, GivesBackWhatWasWritten)
{
    ScopedLog log;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.html"_s);
    const QByteArray body("\0\x01\xFFzwei", 7);
    ASSERT_TRUE(WriteArticleCacheFile(path, u"text/html; charset=\u00FCber"_s, u"de"_s, body));
    QString type, language;
    QByteArray read;
    ASSERT_TRUE(ReadArticleCache(path, type, language, read));
    EXPECT_EQ(type, u"text/html; charset=\u00FCber"_s);
    EXPECT_EQ(language, u"de"_s);
    EXPECT_EQ(read, body);
}

TEST(ArticleCacheRead, AFileEndingAfterTheLanguageHasAnEmptyBody)
{
    ScopedLog log;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.html"_s);
    ASSERT_TRUE(WriteFile(path, Field(u"text/html") + Field(u"en")));
    QString type;
    QByteArray body = "stale";
    ASSERT_TRUE(ReadArticleCache(path, type, body));
    EXPECT_EQ(type, u"text/html"_s);
    EXPECT_TRUE(body.isEmpty());
    EXPECT_EQ(log.Lines(), QStringList{u"Log file started"_s});
}

struct BrokenCache
{
    const char* name;
    QByteArray content; // null: no file at all
    QString line;       // the log line, with %1 for the path
};

class ArticleCacheBrokenTest : public ::testing::TestWithParam<BrokenCache>
{
};

TEST_P(ArticleCacheBrokenTest, FailsWithTheLineOfTheStepThatFailed)
{
    ScopedLog log;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"page.html"_s);
    if (!GetParam().content.isNull()) {
        ASSERT_TRUE(WriteFile(path, GetParam().content));
    }
    QString type;
    QByteArray body;
    EXPECT_FALSE(ReadArticleCache(path, type, body));
    EXPECT_EQ(log.Lines().mid(1), QStringList{GetParam().line.arg(path)});
}

INSTANTIATE_TEST_SUITE_P(
    Steps, ArticleCacheBrokenTest,
    ::testing::Values(BrokenCache{"NoFile", QByteArray(), u"*ITEM: Cannot open html file: '%1'"_s},
                      BrokenCache{"CutInFirstLength", QByteArray("\x05\0", 2),
                                  u"*ITEM: Cannot read encoding 1: '%1'"_s},
                      BrokenCache{"CutInContentType", Field(u"text/html").left(10),
                                  u"*ITEM: Cannot read encoding 2: '%1'"_s},
                      BrokenCache{"ContentTypeOfFourGigaUnits",
                                  Le32(0xFFFFFFFFu) + QByteArray(64, 'a'),
                                  u"*ITEM: Cannot read encoding 2: '%1'"_s},
                      BrokenCache{"CutInSecondLength", Field(u"text/html") + QByteArray(3, '\0'),
                                  u"*ITEM: Cannot read lang 1: '%1'"_s},
                      BrokenCache{"CutInLanguage", Field(u"text/html") + Field(u"en-GB").left(7),
                                  u"*ITEM: Cannot read lang 2: '%1'"_s},
                      BrokenCache{"LanguageOfFourGigaUnits",
                                  Field(u"") + Le32(0xFFFFFFFFu) + "body",
                                  u"*ITEM: Cannot read lang 2: '%1'"_s}),
    [](const ::testing::TestParamInfo<BrokenCache>& info) { return info.param.name; });
