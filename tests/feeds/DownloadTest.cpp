#include "CHttpSession.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "FeedFetcher.h"
#include "FeedParser.h"
#include "FeedTestSupport.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include "LocalServer.h"

#include <httplib.h>
#include <map>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

const char* const kFeed = "<?xml version='1.0'?><rss version='2.0'><channel>"
                          "<title>Local News</title><link>http://local.test/</link>"
                          "<item><title>Road works</title><description>Main street.</description>"
                          "</item><item><title>New library</title><description>Opens soon."
                          "</description></item></channel></rss>";

std::string FeedFor(int n)
{
    std::string xml = "<rss><channel><title>Channel " + std::to_string(n) + "</title>";
    for (int i = 0; i < 20; ++i)
        xml += "<item><title>Item " + std::to_string(n) + "." + std::to_string(i) +
               "</title><description>Body</description></item>";
    return xml + "</channel></rss>";
}

quint32 Crc32(const QByteArray& data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void AppendLe32(QByteArray& out, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
}

// A gzip member around the raw deflate data of qCompress (which adds a 4-byte length, a
// 2-byte zlib header and a 4-byte Adler-32 around it).
std::string Gzip(const QByteArray& data)
{
    const QByteArray zlib = qCompress(data, 9);
    QByteArray out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff", 10);
    out += zlib.mid(6, zlib.size() - 10);
    AppendLe32(out, Crc32(data));
    AppendLe32(out, quint32(data.size()));
    return out.toStdString();
}

class DownloadTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    void SetUp() override
    {
        session = CRefPtr<CHttpSession>::Make();
        env.app.SetSession(session);
        server.Get("/feed", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(kFeed, "application/rss+xml");
        });
    }

    // The server goes last, after the session has closed its kept-alive connections.
    LocalServer server;
    FeedEnvironment env;
    CRefPtr<CHttpSession> session;
};

} // namespace

TEST_F(DownloadTest, FetchReturnsTheBodyOfA200)
{
    const FetchResult result = FetchUrl(*session, server.Url("/feed"));
    EXPECT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.body, QByteArray(kFeed));
}

TEST_F(DownloadTest, ErrorStatusIsAFailedLoad)
{
    server.Get("/gone", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("<html><body>Not found</body></html>", "text/html");
    });
    const FetchResult result = FetchUrl(*session, server.Url("/gone"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, u"HTTP 404"_s);
    EXPECT_TRUE(result.body.isEmpty());

    auto channel = CRssChannel::Create(&env.context);
    const QString url = server.Url("/gone");
    EXPECT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResourceNotFound);
    EXPECT_TRUE(env.log.Contains(u"Start downloading channel: '%1'"_s.arg(url)));
    EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(url)));
    EXPECT_EQ(channel->ChildCount(), 0);
}

TEST_F(DownloadTest, RedirectChainIsFollowedUpToTen)
{
    for (int i = 0; i < 11; ++i) {
        const std::string target = i == 0 ? "/feed" : "/hop" + std::to_string(i - 1);
        server.Get("/hop" + std::to_string(i),
                   [target](const httplib::Request&, httplib::Response& response) {
                       response.set_redirect(target);
                   });
    }
    const FetchResult three = FetchUrl(*session, server.Url("/hop2"));
    EXPECT_TRUE(three.ok) << three.error.toStdString();
    EXPECT_EQ(three.body, QByteArray(kFeed));

    EXPECT_TRUE(FetchUrl(*session, server.Url("/hop9")).ok);   // ten redirects
    EXPECT_FALSE(FetchUrl(*session, server.Url("/hop10")).ok); // eleven
}

TEST_F(DownloadTest, OnlyHttpAndHttpsAreFetched)
{
    server.Get("/to-file", [](const httplib::Request&, httplib::Response& response) {
        response.set_redirect("file:///etc/hostname");
    });
    EXPECT_FALSE(FetchUrl(*session, server.Url("/to-file")).ok);
    EXPECT_FALSE(FetchUrl(*session, u"file:///etc/hostname"_s).ok);
    EXPECT_FALSE(FetchUrl(*session, u"ftp://127.0.0.1/feed"_s).ok);

    auto channel = CRssChannel::Create(&env.context);
    EXPECT_EQ(channel->Download(FeedEnvironment::TestData(u"feeds/rss20.xml"_s), FeedOrigin::Live,
                                ChannelNotice::Post),
              kResourceNotFound);
}

TEST_F(DownloadTest, GzipBodyIsDecoded)
{
    server.Get("/gzip", [](const httplib::Request& request, httplib::Response& response) {
        EXPECT_NE(request.get_header_value("Accept-Encoding").find("gzip"), std::string::npos);
        response.set_header("Content-Encoding", "gzip");
        response.set_content(Gzip(QByteArray(kFeed)), "application/rss+xml");
    });
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(server.Url("/gzip"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(channel->ChildCount(), 2);
    EXPECT_EQ(channel->Name(), u"Local News"_s);
}

TEST_F(DownloadTest, CompressedBodyThatGrowsPastTheCapIsRefused)
{
    const std::string bomb = Gzip(QByteArray(40 * 1024 * 1024, ' '));
    ASSERT_LT(bomb.size(), 200u * 1024);
    server.Get("/bomb", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "gzip");
        response.set_content(bomb, "application/rss+xml");
    });
    const FetchResult result = FetchUrl(*session, server.Url("/bomb"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, u"document larger than 32 MB"_s);
    EXPECT_TRUE(result.body.isEmpty());
}

std::string Brotli(const std::string& data)
{
    httplib::detail::brotli_compressor compressor;
    std::string out;
    compressor.compress(data.data(), data.size(), true, [&](const char* bytes, size_t size) {
        out.append(bytes, size);
        return true;
    });
    return out;
}

// Brotli is asked for and decoded, and its decoded size meets the same cap as gzip's.
TEST_F(DownloadTest, BrotliBodyIsDecodedAndHeldToTheCapWhenDecoded)
{
    const std::string bomb = Brotli(std::string(40 * 1024 * 1024, ' '));
    ASSERT_LT(bomb.size(), 200u * 1024);
    server.Get("/br", [](const httplib::Request& request, httplib::Response& response) {
        const std::string accepted = request.get_header_value("Accept-Encoding");
        for (const char* coding : {"gzip", "deflate", "br"})
            EXPECT_NE(accepted.find(coding), std::string::npos) << coding << " in " << accepted;
        response.set_header("Content-Encoding", "br");
        response.set_content(Brotli(kFeed), "application/rss+xml");
    });
    server.Get("/br-bomb", [&](const httplib::Request&, httplib::Response& response) {
        response.set_header("Content-Encoding", "br");
        response.set_content(bomb, "application/rss+xml");
    });
    auto channel = CRssChannel::Create(&env.context);
    ASSERT_EQ(channel->Download(server.Url("/br"), FeedOrigin::Live, ChannelNotice::Post),
              kResultOk);
    EXPECT_EQ(channel->ChildCount(), 2);
    EXPECT_EQ(channel->Name(), u"Local News"_s);

    const FetchResult result = FetchUrl(*session, server.Url("/br-bomb"));
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, u"document larger than 32 MB"_s);
}

TEST_F(DownloadTest, BodyOverTheCapIsRefusedWithOrWithoutALength)
{
    constexpr size_t kTotal = 40u * 1024 * 1024;
    server.Get("/big", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(kTotal, 'x'), "application/rss+xml");
    });
    // Shared with the server: a transfer given up may still be sending after the test ends.
    // Far more than the cap and the socket buffers together, so that a cut transfer is
    // told from a whole one however slow the reader is.
    constexpr size_t kStreamTotal = 256u * 1024 * 1024;
    const auto sent = std::make_shared<std::atomic<size_t>>(0);
    server.Get("/big-chunked", [sent](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/rss+xml",
                                              [sent](size_t, httplib::DataSink& sink) {
                                                  const std::string chunk(64 * 1024, 'x');
                                                  if (*sent >= kStreamTotal) {
                                                      sink.done();
                                                      return true;
                                                  }
                                                  if (!sink.write(chunk.data(), chunk.size()))
                                                      return false;
                                                  *sent += chunk.size();
                                                  return true;
                                              });
    });

    const FetchResult announced = FetchUrl(*session, server.Url("/big"));
    EXPECT_FALSE(announced.ok);
    EXPECT_EQ(announced.error, u"document larger than 32 MB"_s);

    const FetchResult streamed = FetchUrl(*session, server.Url("/big-chunked"));
    EXPECT_FALSE(streamed.ok);
    EXPECT_EQ(streamed.error, u"document larger than 32 MB"_s);
    EXPECT_TRUE(streamed.body.isEmpty());
    EXPECT_LT(sent->load(), kStreamTotal); // the transfer was cut, not read to the end
}

TEST_F(DownloadTest, StalledServerIsAbandonedAfterTheLowSpeedTime)
{
    server.Get("/stall", [&](const httplib::Request&, httplib::Response& response) {
        for (int i = 0; i < 300 && !server.released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        response.set_content(kFeed, "application/rss+xml");
    });
    FetchOptions options;
    options.lowSpeedSeconds = 2;
    QElapsedTimer timer;
    timer.start();
    const FetchResult result = FetchUrl(*session, server.Url("/stall"), options);
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_GE(timer.elapsed(), 1500);
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(DownloadTest, DrippingServerIsAbandonedAtTheTotalTimeLimit)
{
    server.GetSlowly("/drip", "application/rss+xml");
    FetchOptions options;
    options.totalSeconds = 2;
    QElapsedTimer timer;
    timer.start();
    const FetchResult result = FetchUrl(*session, server.Url("/drip"), options);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, u"not done within 2 s"_s);
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 10000);
}

TEST_F(DownloadTest, RefusedConnectionIsAFailedLoadWithAReason)
{
    RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    const QString url = refusing.Url("/feed");

    const FetchResult result = FetchUrl(*session, url);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.error.contains(u"connect"_s, Qt::CaseInsensitive))
        << result.error.toStdString();

    auto channel = CRssChannel::Create(&env.context);
    EXPECT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResourceNotFound);
    EXPECT_TRUE(env.log.Contains(u"*ERROR: Cannot load channel: '%1'"_s.arg(url)));
}

TEST_F(DownloadTest, LiveDownloadMergesAndLogs)
{
    auto channel = CRssChannel::Create(&env.context);
    const QString url = server.Url("/feed");
    ASSERT_EQ(channel->Download(url, FeedOrigin::Live, ChannelNotice::Post), kResultOk);
    EXPECT_EQ(channel->ChildCount(), 2);
    EXPECT_EQ(env.Count(RssEvent::NewItem), 2);
    QStringList lines = env.log.Lines();
    lines = lines.mid(lines.indexOf(u"Start downloading channel: '%1'"_s.arg(url)));
    EXPECT_EQ(lines, (QStringList{u"Start downloading channel: '%1'"_s.arg(url),
                                  u"Updating elements: '%1'"_s.arg(url),
                                  u"Channel downloading done: '%1'"_s.arg(url)}));
}

TEST_F(DownloadTest, NothingIsFetchedForEntitiesOrDocumentTypes)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
    const std::string feed = "<?xml version='1.0'?>\n<!DOCTYPE rss SYSTEM '" + base +
                             "/dtd' [\n<!ENTITY remote SYSTEM '" + base +
                             "/secret'>\n<!ENTITY % param SYSTEM '" + base +
                             "/param'>\n%param;\n]>\n<rss><channel><title>T &remote;</title>"
                             "<item><title>A &remote; B</title></item></channel></rss>";
    server.Get("/hostile", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(feed, "application/rss+xml");
    });
    for (const char* path : {"/dtd", "/secret", "/param"})
        server.Get(path, [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<!ENTITY leaked 'x'>", "text/plain");
        });
    auto channel = CRssChannel::Create(&env.context);
    channel->Download(server.Url("/hostile"), FeedOrigin::Live, ChannelNotice::Post);
    EXPECT_EQ(server.Hits("/hostile"), 1);
    EXPECT_EQ(server.Hits("/dtd"), 0);
    EXPECT_EQ(server.Hits("/secret"), 0);
    EXPECT_EQ(server.Hits("/param"), 0);
}

TEST_F(DownloadTest, NestedEntityBombFinishesQuickly)
{
    const QByteArray bomb = ReadFile(FeedEnvironment::TestData(u"feeds/billion-laughs.xml"_s));
    ASSERT_FALSE(bomb.isEmpty());
    server.Get("/laughs", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(bomb.toStdString(), "application/rss+xml");
    });
    QElapsedTimer timer;
    timer.start();
    auto channel = CRssChannel::Create(&env.context);
    channel->Download(server.Url("/laughs"), FeedOrigin::Live, ChannelNotice::Post);
    EXPECT_LT(timer.elapsed(), 2000);
    for (const CRefPtr<CRssNode>& node : channel->ChildrenSnapshot())
        EXPECT_LT(NodeCast<CRssItem>(node)->title.size(), 100);
}

TEST_F(DownloadTest, SeveralChannelsDownloadAtOnce)
{
    constexpr int kChannels = 6;
    for (int n = 0; n < kChannels; ++n)
        server.Get("/feed" + std::to_string(n),
                   [n](const httplib::Request&, httplib::Response& response) {
                       response.set_content(FeedFor(n), "application/rss+xml");
                   });
    std::vector<CRefPtr<CRssChannel>> channels;
    std::vector<RssResult> results(kChannels, kGenericFailure);
    std::vector<std::thread> threads;
    for (int n = 0; n < kChannels; ++n)
        channels.push_back(CRssChannel::Create(&env.context));
    for (int n = 0; n < kChannels; ++n)
        threads.emplace_back([&, n] {
            for (int round = 0; round < 3; ++round)
                results[size_t(n)] =
                    channels[size_t(n)]->Download(server.Url(("/feed" + std::to_string(n)).c_str()),
                                                  FeedOrigin::Live, ChannelNotice::Post);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int n = 0; n < kChannels; ++n) {
        EXPECT_EQ(results[size_t(n)], kResultOk);
        EXPECT_EQ(channels[size_t(n)]->ChildCount(), 20);
        EXPECT_EQ(channels[size_t(n)]->Name(), u"Channel %1"_s.arg(n));
    }
    EXPECT_EQ(env.Count(RssEvent::NewItem), kChannels * 20);
}

TEST_F(DownloadTest, VerifyChannelReadsOnlyTheChannelInfo)
{
    const QByteArray rdf =
        ReadFile(FeedEnvironment::TestData(u"feeds/rdf-unknown-namespace.rdf"_s));
    server.Get("/rdf", [&](const httplib::Request&, httplib::Response& response) {
        response.set_content(rdf.toStdString(), "application/rdf+xml");
    });
    server.Get("/page", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("<html><body/></html>", "text/html");
    });

    RssChannelInfo info;
    EXPECT_TRUE(CRssChannel::VerifyChannel(env.context, server.Url("/feed"), info));
    EXPECT_EQ(info.title, u"Local News"_s);
    EXPECT_EQ(info.link, u"http://local.test/"_s);

    const QString missing = server.Url("/missing");
    EXPECT_FALSE(CRssChannel::VerifyChannel(env.context, missing, info));
    EXPECT_TRUE(env.log.Contains(u"Cannot load channel '%1': 'HTTP 404'"_s.arg(missing)));

    const QString rdfUrl = server.Url("/rdf");
    EXPECT_FALSE(CRssChannel::VerifyChannel(env.context, rdfUrl, info));
    EXPECT_TRUE(env.log.Contains(
        u"_com_error during CRssChannel::VerifyChannel: '%1' 80004005 'Undefined namespace prefix'"_s
            .arg(rdfUrl)));

    EXPECT_FALSE(CRssChannel::VerifyChannel(env.context, server.Url("/page"), info));
    EXPECT_EQ(env.Count(RssEvent::NewItem), 0);
}
