#include "CAudioServer.h"
#include "TestSupport.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct Answer
{
    int status = 0;
    QStringList headers; // "name: value", in the order sent, without the status line
    QByteArray body;

    QString Header(const QString& name) const
    {
        for (const QString& line : headers)
            if (line.startsWith(name + u':', Qt::CaseInsensitive))
                return line.mid(name.size() + 1).trimmed();
        return {};
    }
};

// One request with the curl program, a real client on the loopback.
Answer Curl(const QStringList& args)
{
    QTemporaryDir folder;
    QProcess curl;
    curl.start(u"curl"_s, QStringList{u"-s"_s, u"--max-time"_s, u"30"_s, u"-D"_s,
                                      folder.filePath(u"headers"_s), u"-o"_s,
                                      folder.filePath(u"body"_s)} + args);
    EXPECT_TRUE(curl.waitForFinished(40000));
    Answer answer;
    const QStringList lines =
        QString::fromLatin1(ReadFile(folder.filePath(u"headers"_s))).split(u"\r\n"_s, Qt::SkipEmptyParts);
    if (!lines.isEmpty()) {
        answer.status = lines.first().section(u' ', 1, 1).toInt();
        answer.headers = lines.mid(1);
    }
    answer.body = ReadFile(folder.filePath(u"body"_s));
    return answer;
}

class AudioServerTest : public ::testing::Test
{
protected:
    ScopedHome home;
    ScopedLog log;
    CAudioServer server;
    QByteArray audio;
    QString mp3Folder = home.File(u"data/MP3/"_s);
    QString base;

    void SetUp() override
    {
        audio.resize(3 * 1024 * 1024 + 17);
        QRandomGenerator(7).fillRange(reinterpret_cast<quint32*>(audio.data()), audio.size() / 4);
        ASSERT_TRUE(WriteFile(mp3Folder + u"News_item_12345678.mp3"_s, audio));
        ASSERT_TRUE(WriteFile(home.File(u"data/data.opml"_s), "private tree"));
        ASSERT_TRUE(WriteFile(mp3Folder + u"Not_shared.mp3"_s, "not in the snapshot"));

        QString error;
        ASSERT_TRUE(server.Start(u"127.0.0.1"_s, 0, &error)) << error.toStdString();
        ASSERT_GT(server.Port(), 0);
        auto snapshot = std::make_shared<ShareSnapshot>();
        snapshot->secret = "0123456789abcdef0123456789abcdef";
        snapshot->feeds.insert(u"podcast.xml"_s, "<rss version=\"2.0\">&amp;</rss>");
        snapshot->files.insert(u"News_item_12345678.mp3"_s,
                               {mp3Folder + u"News_item_12345678.mp3"_s, audio.size(), 0});
        snapshot->iconPng = "\x89PNG picture";
        server.Publish(snapshot);
        base = u"http://127.0.0.1:%1/%2/"_s.arg(server.Port()).arg(QString::fromLatin1(snapshot->secret));
    }
};

} // namespace

TEST_F(AudioServerTest, ServesFilesWholeInRangesAndConditionally)
{
    const QString url = base + u"audio/News_item_12345678.mp3"_s;
    const Answer whole = Curl({url});
    EXPECT_EQ(whole.status, 200);
    EXPECT_TRUE(whole.body == audio) << "byte for byte";
    EXPECT_EQ(whole.Header(u"Content-Type"_s), u"audio/mpeg"_s);
    EXPECT_EQ(whole.Header(u"Accept-Ranges"_s), u"bytes"_s);
    const QString etag = whole.Header(u"ETag"_s);
    const QString modified = whole.Header(u"Last-Modified"_s);
    EXPECT_TRUE(etag.startsWith(u'"') && etag.endsWith(u'"')) << etag.toStdString();
    EXPECT_TRUE(modified.endsWith(u" GMT"_s)) << modified.toStdString();

    const Answer head = Curl({u"-I"_s, url});
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.Header(u"Content-Length"_s), QString::number(audio.size()));
    EXPECT_LT(head.body.size(), 1024) << "the headers alone";

    const qint64 size = audio.size();
    struct Case { QString range; qint64 first, last; };
    for (const Case& c : {Case{u"0-99"_s, 0, 99}, Case{u"1000000-1999999"_s, 1000000, 1999999},
                          Case{u"-500"_s, size - 500, size - 1},
                          Case{u"3000000-99999999"_s, 3000000, size - 1}}) {
        const Answer slice = Curl({u"-r"_s, c.range, url});
        EXPECT_EQ(slice.status, 206) << c.range.toStdString();
        EXPECT_EQ(slice.Header(u"Content-Range"_s),
                  u"bytes %1-%2/%3"_s.arg(c.first).arg(c.last).arg(size));
        EXPECT_TRUE(slice.body == audio.mid(c.first, c.last - c.first + 1)) << c.range.toStdString();
    }
    const Answer beyond = Curl({u"-r"_s, u"%1-"_s.arg(size), url});
    EXPECT_EQ(beyond.status, 416);
    EXPECT_EQ(beyond.Header(u"Content-Range"_s), u"bytes */%1"_s.arg(size));
    EXPECT_TRUE(beyond.body.isEmpty());

    EXPECT_EQ(Curl({u"-H"_s, u"If-None-Match: "_s + etag, url}).status, 304);
    EXPECT_EQ(Curl({u"-H"_s, u"If-Modified-Since: "_s + modified, url}).status, 304);
    EXPECT_EQ(Curl({u"-H"_s, u"If-None-Match: \"other\""_s, url}).status, 200);
    // A range of a file that changed since is the whole new file.
    EXPECT_EQ(Curl({u"-r"_s, u"0-9"_s, u"-H"_s, u"If-Range: \"other\""_s, url}).status, 200);

    const Answer feed = Curl({base + u"podcast.xml"_s});
    EXPECT_EQ(feed.status, 200);
    EXPECT_EQ(feed.Header(u"Content-Type"_s), u"application/rss+xml; charset=utf-8"_s);
    EXPECT_EQ(feed.body, QByteArray("<rss version=\"2.0\">&amp;</rss>"));
    EXPECT_EQ(Curl({u"-H"_s, u"If-None-Match: "_s + feed.Header(u"ETag"_s), base + u"podcast.xml"_s}).status, 304);
    const Answer icon = Curl({base + u"icon.png"_s});
    EXPECT_EQ(icon.Header(u"Content-Type"_s), u"image/png"_s);
    EXPECT_EQ(icon.body, QByteArray("\x89PNG picture"));
}

TEST_F(AudioServerTest, NothingBeyondThePublishedNamesIsReachable)
{
    const Answer missing = Curl({base + u"audio/Nothing.mp3"_s});
    EXPECT_EQ(missing.status, 404);
    const QString port = QString::number(server.Port());
    // A wrong secret, one digit off, too short or none at all, is a missing file.
    for (const QString& url :
         {u"http://127.0.0.1:%1/0123456789abcdef0123456789abcdee/audio/News_item_12345678.mp3"_s.arg(port),
          u"http://127.0.0.1:%1/0123/podcast.xml"_s.arg(port),
          u"http://127.0.0.1:%1/podcast.xml"_s.arg(port), u"http://127.0.0.1:%1/"_s.arg(port),
          base, base + u"audio/"_s, base + u"audio/Not_shared.mp3"_s}) {
        const Answer wrong = Curl({url});
        EXPECT_EQ(wrong.status, missing.status) << url.toStdString();
        EXPECT_EQ(wrong.headers, missing.headers) << url.toStdString();
        EXPECT_EQ(wrong.body, missing.body) << url.toStdString();
    }
    for (const QString& path :
         {u"audio/../../data.opml"_s, u"audio/..%2F..%2Fdata.opml"_s, u"audio/%2e%2e/%2e%2e/data.opml"_s,
          u"audio/%2E%2E%2F%2E%2E%2Fdata.opml"_s, u"..%5C..%5Cdata.opml"_s, u"audio/.%00/x"_s,
          u"%2Fetc%2Fpasswd"_s, u"audio/%zz"_s}) {
        const Answer escape = Curl({u"--path-as-is"_s, base + path});
        EXPECT_EQ(escape.status, 400) << path.toStdString();
        EXPECT_FALSE(escape.body.contains("private tree")) << path.toStdString();
    }
    const Answer tooLong = Curl({base + u"audio/"_s + QString(20 * 1024, u'a') + u".mp3"_s});
    EXPECT_EQ(tooLong.status, 414);
    EXPECT_EQ(Curl({u"-X"_s, u"DELETE"_s, base + u"podcast.xml"_s}).status, 405);

    // A new snapshot takes effect at once: a file it leaves out is gone.
    auto next = std::make_shared<ShareSnapshot>();
    next->secret = "0123456789abcdef0123456789abcdef";
    server.Publish(next);
    EXPECT_EQ(Curl({base + u"audio/News_item_12345678.mp3"_s}).status, 404);
    EXPECT_EQ(Curl({base + u"podcast.xml"_s}).status, 404);

    // A port in use is refused with the reason.
    CAudioServer second;
    QString error;
    EXPECT_FALSE(second.Start(u"127.0.0.1"_s, server.Port(), &error));
    EXPECT_EQ(error, u"Address already in use"_s);
    EXPECT_TRUE(log.Contains(u"*ERROR: Cannot share audio on 127.0.0.1:%1: Address already in use"_s.arg(port)));
}

TEST_F(AudioServerTest, StopEndsConnectionsAtOnce)
{
    // One client connected and silent, one that asked for a file and reads nothing.
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(server.Port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto connectTo = [&](int receiveBuffer) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        return fd;
    };
    const int idle = connectTo(64 * 1024);
    const int stalled = connectTo(4096);
    const QByteArray request = "GET /" + base.section(u'/', 3, 3).toLatin1() +
                               "/audio/News_item_12345678.mp3 HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_EQ(::send(stalled, request.constData(), size_t(request.size()), 0), request.size());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    QElapsedTimer timer;
    timer.start();
    server.Stop();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(server.Port(), 0);
    char buffer[65536];
    EXPECT_LE(::recv(idle, buffer, 1, 0), 0) << "the idle connection was closed";
    qint64 received = 0;
    for (ssize_t got; (got = ::recv(stalled, buffer, sizeof buffer, 0)) > 0;)
        received += got;
    EXPECT_LT(received, audio.size()) << "the download was cut short";
    ::close(idle);
    ::close(stalled);

    // It starts again, on the same port.
    ASSERT_TRUE(server.Start(u"127.0.0.1"_s, ntohs(address.sin_port)));
    EXPECT_EQ(Curl({base + u"podcast.xml"_s}).status, 200) << "the published snapshot stays";
}
