// Podcast enclosures streamed from a local server into the MP3 folder.
#include "CHttpSession.h"
#include "DiskFaults.h"
#include "LocalServer.h"
#include "PodcastDownload.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

std::string RandomPayload(size_t size)
{
    std::string bytes(size, '\0');
    QRandomGenerator generator(20231114);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

class PodcastTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        static const bool initialized = CHttpSession::GlobalInit();
        (void)initialized;
    }

    bool Download(const char* path, const PodcastLimits& limits = {})
    {
        return DownloadPodcast(*session, server.Url(path), 0, mp3, limits);
    }
    // Serves audio at /episode.mp3 with its length, and at /chunked.mp3 without. The server
    // keeps its own copy: a transfer the client gave up may still be sending it after the
    // test's body has ended.
    void Serve(const std::string& bytes)
    {
        auto audio = std::make_shared<const std::string>(bytes);
        server.Get("/episode.mp3", [audio](const httplib::Request&, httplib::Response& response) {
            response.set_content(*audio, "audio/mpeg");
        });
        server.Get("/chunked.mp3", [audio](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "audio/mpeg", [audio](size_t offset, httplib::DataSink& sink) {
                    const size_t n = std::min<size_t>(65537, audio->size() - offset);
                    sink.write(audio->data() + offset, n);
                    if (offset + n == audio->size())
                        sink.done();
                    return true;
                });
        });
    }
    // Lines of the log other than its first.
    QStringList Logged() const { return log.Lines().mid(1); }
    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files); }

    // The server goes last, after the session has closed its kept-alive connections.
    LocalServer server;
    ScopedLog log;
    QTemporaryDir dir;
    CRefPtr<CHttpSession> session = CRefPtr<CHttpSession>::Make();
    const QString mp3 = dir.filePath(u"Episode_12_0123ABCD.mp3"_s);
};

} // namespace

TEST_F(PodcastTest, ErrorStatusFailsAndLeavesNoFile)
{
    server.Get("/episode.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.status = 404;
        response.set_content("<html><body><h1>404 Not Found</h1></body></html>", "text/html");
    });
    server.Get("/empty.mp3",
               [](const httplib::Request&, httplib::Response& response) { response.status = 503; });
    EXPECT_FALSE(Download("/episode.mp3"));
    EXPECT_FALSE(Download("/empty.mp3"));
    EXPECT_EQ(Logged(), (QStringList{u"*ERROR: HTTP status 404 for podcast '%1'"_s.arg(mp3),
                                     u"*ERROR: HTTP status 503 for podcast '%1'"_s.arg(mp3)}));
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(PodcastTest, LargeEnclosureIsStoredByteForByte)
{
    const std::string audio = RandomPayload(6 * 1000 * 1000 + 123);
    Serve(audio);
    ASSERT_TRUE(Download("/episode.mp3"));
    EXPECT_TRUE(ReadFile(mp3) == QByteArray::fromStdString(audio));
    ASSERT_TRUE(Download("/chunked.mp3"));
    EXPECT_TRUE(ReadFile(mp3) == QByteArray::fromStdString(audio));
    EXPECT_EQ(Logged(), QStringList());
}

TEST_F(PodcastTest, LaterDownloadReplacesTheFile)
{
    ASSERT_TRUE(WriteFile(mp3, QByteArray(100000, 'x')));
    server.Get("/short.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("ID3 short", "audio/mpeg");
    });
    server.Get("/empty.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.set_content("", "audio/mpeg");
    });
    ASSERT_TRUE(Download("/short.mp3"));
    EXPECT_EQ(ReadFile(mp3), "ID3 short");
    ASSERT_TRUE(Download("/empty.mp3"));
    EXPECT_TRUE(QFile::exists(mp3));
    EXPECT_EQ(QFile(mp3).size(), 0);
}

TEST_F(PodcastTest, FileThatCannotBeCreatedFailsTheDownload)
{
    // A regular file where the MP3 folder should be: nothing can be created under it.
    const QString blocker = dir.filePath(u"MP3"_s);
    ASSERT_TRUE(WriteFile(blocker, "not a folder"));
    const QString target = blocker + u"/Episode_12_0123ABCD.mp3"_s;
    server.Get("/episode.mp3", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(50000, 'a'), "audio/mpeg");
    });
    EXPECT_FALSE(DownloadPodcast(*session, server.Url("/episode.mp3"), 0, target));
    EXPECT_EQ(Logged(), QStringList{u"*ERROR: Cannot create podcast '%1'"_s.arg(target)});
    EXPECT_EQ(ReadFile(blocker), "not a folder");
}

TEST_F(PodcastTest, ConnectionBrokenMidwayIsLoggedAndLeavesNoPartialFile)
{
    const std::string audio = RandomPayload(400000);
    server.Get("/episode.mp3", [&](const httplib::Request&, httplib::Response& response) {
        // Announces the whole length, sends a part and hangs up.
        response.set_content_provider(audio.size(), "audio/mpeg",
                                      [&](size_t offset, size_t, httplib::DataSink& sink) {
                                          if (offset >= 100000)
                                              return false;
                                          sink.write(audio.data() + offset, 50000);
                                          return true;
                                      });
    });
    EXPECT_FALSE(Download("/episode.mp3"));
    EXPECT_EQ(Logged(), QStringList{u"Exception during item podcasting '%1'"_s.arg(mp3)});
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(PodcastTest, DownloadOverTheSizeCapStopsAndKeepsTheOldFile)
{
    const std::string audio = RandomPayload(400000);
    Serve(audio);
    ASSERT_TRUE(WriteFile(mp3, "ID3 earlier episode"));
    PodcastLimits limits;
    limits.maxBytes = 100000;
    EXPECT_FALSE(Download("/episode.mp3", limits));
    EXPECT_FALSE(Download("/chunked.mp3", limits));
    EXPECT_EQ(Logged(),
              QStringList(2, u"*ERROR: Podcast larger than 100000 bytes '%1'"_s.arg(mp3)));
    EXPECT_EQ(Files(), QStringList{u"Episode_12_0123ABCD.mp3"_s});
    EXPECT_EQ(ReadFile(mp3), "ID3 earlier episode");
}

TEST_F(PodcastTest, FullDiskStopsTheDownloadWithoutAPartialFile)
{
    const std::string audio = RandomPayload(3 * 1000 * 1000);
    Serve(audio);
    {
        ScopedFileSizeLimit full(1000 * 1000);
        EXPECT_FALSE(Download("/episode.mp3"));
        EXPECT_FALSE(Download("/chunked.mp3"));
    }
    EXPECT_EQ(Logged(), QStringList(2, u"*ERROR: Cannot write podcast '%1'"_s.arg(mp3)));
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(PodcastTest, DrippingServerIsAbandonedAtTheTimeLimit)
{
    // The limit allows the announced length at 50 kB/s, and never less than half an hour.
    const PodcastLimits defaults;
    EXPECT_EQ(defaults.ForLength(0).totalSeconds, 1800);
    EXPECT_EQ(defaults.ForLength(60 * 1000 * 1000).totalSeconds, 1800);
    EXPECT_EQ(defaults.ForLength(200 * 1000 * 1000).totalSeconds, 4000);
    EXPECT_EQ(defaults.ForLength(1ll << 40).totalSeconds, 42949) << "no more than the size cap";

    server.GetSlowly("/slow.mp3", "audio/mpeg");
    PodcastLimits limits;
    limits.minSeconds = 2;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(Download("/slow.mp3", limits));
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 10000);
    EXPECT_EQ(Logged(),
              QStringList{u"*ERROR: Time limit of 2 s passed for podcast '%1'"_s.arg(mp3)});
    EXPECT_EQ(Files(), QStringList());
}

TEST_F(PodcastTest, NoResponseFailsWithoutALineOrAFile)
{
    RefusingPort refusing;
    ASSERT_NE(refusing.Port(), 0);
    EXPECT_FALSE(DownloadPodcast(*session, refusing.Url("/episode.mp3"), 0, mp3));
    EXPECT_FALSE(DownloadPodcast(*session, u"file:///etc/hostname"_s, 0, mp3));
    EXPECT_EQ(Logged(), QStringList());
    EXPECT_FALSE(QFile::exists(mp3));
}
