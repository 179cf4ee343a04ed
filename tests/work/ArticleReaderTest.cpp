#include "CArticleReader.h"
#include "CHttpSession.h"
#include "TestSupport.h"
#include "LocalServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <gtest/gtest.h>
#include <map>
#include <mutex>

using namespace Qt::Literals::StringLiterals;
using Problem = ArticleText::Problem;

namespace {

// The article view's reads against pages served here: the text is the extraction script's,
// a page that cannot be had or holds no text says so, and a read page comes from the cache.
TEST(ArticleReader, ReadsTheArticleTextOnceAndSaysWhenThereIsNone)
{
    std::atomic<int> articleHits = 0;
    LocalServer server;
    server.Get("/article", [&](const httplib::Request&, httplib::Response& response) {
        ++articleHits;
        response.set_content(
            "<html><head><title>Harbour</title></head><body><nav><a href='/'>Home</a></nav>"
            "<article><h1>Harbour</h1><p>The new harbour bridge opened this morning after "
            "three years of work, and hundreds of people walked across it first.</p>"
            "<p>The city council said the bridge would cut travel times across the river by "
            "a quarter for most commuters.</p></article></body></html>",
            "text/html; charset=utf-8");
    });
    server.Get("/empty", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body></body></html>", "text/html");
    });
    CHttpSession::GlobalInit();
    QTemporaryDir cache;

    std::mutex lock;
    std::condition_variable arrived;
    std::map<quint64, ArticleText> results;
    CArticleReader reader(BinDir(), cache.filePath(u"articles"_s),
                          [&](quint64 ticket, const ArticleText& article) {
                              std::lock_guard guard(lock);
                              results[ticket] = article;
                              arrived.notify_all();
                          });
    const auto read = [&](const QString& link, const QString& name) {
        const quint64 ticket = reader.Read(link, name);
        std::unique_lock guard(lock);
        EXPECT_TRUE(arrived.wait_for(guard, std::chrono::seconds(60),
                                     [&] { return results.count(ticket) > 0; }));
        return results[ticket];
    };

    ArticleText article = read(server.Url("/article"), u"a.html"_s);
    ASSERT_EQ(article.problem, Problem::None);
    ASSERT_GE(article.paragraphs.size(), 2);
    EXPECT_TRUE(article.paragraphs.join(u' ').contains(u"hundreds of people walked across"_s));
    EXPECT_TRUE(article.paragraphs.join(u' ').contains(u"by a quarter for most commuters"_s));
    EXPECT_FALSE(article.paragraphs.join(u' ').contains(u"Home"_s));
    // Again: from the cache, the same text.
    EXPECT_EQ(read(server.Url("/article"), u"a.html"_s).paragraphs, article.paragraphs);
    EXPECT_EQ(articleHits, 1);

    EXPECT_EQ(read(server.Url("/missing"), u"b.html"_s).problem, Problem::NotDownloaded);
    EXPECT_FALSE(QFile::exists(cache.filePath(u"articles/b.html"_s)));
    EXPECT_EQ(read(u"http://127.0.0.1:1/closed"_s, u"c.html"_s).problem, Problem::NotDownloaded);
    EXPECT_EQ(read(server.Url("/empty"), u"d.html"_s).problem, Problem::NoText);
}

// Stopping the reader ends a transfer that would otherwise hold it for a minute.
TEST(ArticleReader, StopsAtOnceInTheMiddleOfADownload)
{
    LocalServer server;
    server.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/html", [](size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return sink.write("<p>", 3);
        });
    });
    CHttpSession::GlobalInit();
    QTemporaryDir cache;
    QElapsedTimer stopping;
    {
        CArticleReader reader(BinDir(), cache.path(), [](quint64, const ArticleText&) {});
        reader.Read(server.Url("/slow"), u"slow.html"_s);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stopping.start();
    }
    EXPECT_LT(stopping.elapsed(), 3000);
}

} // namespace
