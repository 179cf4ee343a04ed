#include "CAppLog.h"
#include "TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <thread>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

struct LogLine
{
    QString stamp;
    QString text;
};

// The lines of a log file; a line without a well-formed time prefix fails the test.
std::vector<LogLine> ReadLog(const QString& path)
{
    static const QRegularExpression format(
        u"^(\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d) \t(.*)$"_s,
        QRegularExpression::DotMatchesEverythingOption);
    std::vector<LogLine> lines;
    QStringList raw = QString::fromUtf8(ReadFile(path)).split(u'\n');
    EXPECT_TRUE(raw.last().isEmpty()) << "last line not ended";
    raw.removeLast();
    for (const QString& line : raw) {
        const QRegularExpressionMatch match = format.match(line);
        EXPECT_TRUE(match.hasMatch()) << line.toStdString();
        lines.push_back({match.captured(1), match.captured(2)});
    }
    return lines;
}

QStringList Texts(const QString& path)
{
    QStringList texts;
    for (const LogLine& line : ReadLog(path))
        texts << line.text;
    return texts;
}

// Installs a process log for one test.
class ScopedProcessLog
{
public:
    explicit ScopedProcessLog(CAppLog* log) { SetProcessLog(log); }
    ~ScopedProcessLog() { SetProcessLog(nullptr); }
};

class AppLogTest : public ::testing::Test
{
protected:
    QString Path(const QString& relative) const { return m_dir.filePath(relative); }
    static QString Name(int i) { return i == 0 ? u"log.txt"_s : u"log%1.txt"_s.arg(i); }

    QTemporaryDir m_dir;
};

TEST_F(AppLogTest, LinesCarryTheLocalTimeAndUtf8Text)
{
    QString path;
    const QDateTime now = QDateTime::currentDateTime();
    {
        CAppLog log;
        ASSERT_TRUE(log.Open({m_dir.path()}));
        path = log.FileName();
        EXPECT_EQ(path, Path(u"log.txt"_s));
        log.Message(u"Starting queues \u00e9\u65e5 \U0001F600"_s);
    }
    const std::vector<LogLine> lines = ReadLog(path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, u"Log file started"_s);
    EXPECT_EQ(lines[1].text, u"Starting queues \u00e9\u65e5 \U0001F600"_s);
    EXPECT_EQ(lines[2].text, u"Log file closed"_s);
    const QDateTime stamp = QDateTime::fromString(lines[1].stamp, u"yyyy/MM/dd HH:mm:ss"_s);
    ASSERT_TRUE(stamp.isValid());
    EXPECT_LE(qAbs(now.secsTo(stamp)), 2);
}

struct SplitCase
{
    const char16_t* message;
    QStringList lines;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << QString::fromUtf16(c.message).toUtf8().toPercentEncoding(" ").toStdString();
}

class AppLogSplitTest : public AppLogTest, public ::testing::WithParamInterface<SplitCase>
{
};

TEST_P(AppLogSplitTest, OneMessageGivesOneLinePerLineFeedWithOneStamp)
{
    CAppLog log;
    ASSERT_TRUE(log.Open({m_dir.path()}));
    log.Message(QString::fromUtf16(GetParam().message));
    std::vector<LogLine> lines = ReadLog(log.FileName());
    ASSERT_FALSE(lines.empty());
    lines.erase(lines.begin());
    QStringList texts;
    for (const LogLine& line : lines) {
        texts << line.text;
        EXPECT_EQ(line.stamp, lines.front().stamp);
    }
    EXPECT_EQ(texts, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(AppLog, AppLogSplitTest,
                         ::testing::Values(SplitCase{u"X\r\nY", {u"X"_s, u"Y"_s}},
                                           SplitCase{u"A\n", {u"A"_s}},
                                           SplitCase{u"\nB", {QString(), u"B"_s}},
                                           SplitCase{u"A\n\n", {u"A"_s, QString()}},
                                           SplitCase{u"", {}}, SplitCase{u"\n", {QString()}},
                                           SplitCase{u"\r\n", {QString()}},
                                           SplitCase{u"A\n\nB\r\n", {u"A"_s, QString(), u"B"_s}},
                                           SplitCase{u"A\rB\r", {u"A\rB\r"_s}}));

TEST_F(AppLogTest, FreeFunctionsWriteToTheProcessLogOnly)
{
    CAppLog log;
    ASSERT_TRUE(log.Open({m_dir.path()}));
    LogMessage(u"dropped"_s);
    LogFormat("dropped %d", 1);
    {
        ScopedProcessLog installed(&log);
        LogMessage(u"message"_s);
        LogFormat("%d items in '%s'", 3, qUtf8Printable(u"Gr\u00fc\u00dfe"_s));
        LogResource(105);
    }
    LogMessage(u"dropped"_s);
    EXPECT_EQ(Texts(log.FileName()),
              QStringList({u"Log file started"_s, u"message"_s, u"3 items in 'Gr\u00fc\u00dfe'"_s,
                           u"MP3 encoder initialization failed."_s}));
}

TEST_F(AppLogTest, FormattedMessageIsCutAt1024Characters)
{
    const QString smiley = u"\U0001F600"_s;
    const QString wide = QString(3000, QChar(0x65e5));
    const struct
    {
        QString input, logged;
    } cases[] = {
        {QString(1500, u'a'), QString(1024, u'a')},
        {wide, wide.left(1024)},
        {QString(1022, u'a') + smiley + u"b"_s, QString(1022, u'a') + smiley},
        {QString(1023, u'a') + smiley, QString(1023, u'a')},
    };
    CAppLog log;
    ASSERT_TRUE(log.Open({m_dir.path()}));
    ScopedProcessLog installed(&log);
    QStringList expected{u"Log file started"_s};
    for (const auto& c : cases) {
        LogFormat("%s", qUtf8Printable(c.input));
        expected << c.logged;
    }
    EXPECT_EQ(Texts(log.FileName()), expected);
}

TEST_F(AppLogTest, NameHeldByAnotherLogIsLeftAloneForTheNextName)
{
    CAppLog first;
    ASSERT_TRUE(first.Open({m_dir.path()}));
    first.Message(u"first"_s);

    CAppLog second;
    ASSERT_TRUE(second.Open({m_dir.path()}));
    EXPECT_EQ(second.FileName(), Path(u"log1.txt"_s));
    second.Message(u"second"_s);
    EXPECT_EQ(Texts(Path(u"log.txt"_s)), QStringList({u"Log file started"_s, u"first"_s}));

    first.Close();
    CAppLog third;
    ASSERT_TRUE(third.Open({m_dir.path()}));
    EXPECT_EQ(third.FileName(), Path(u"log.txt"_s));
}

TEST_F(AppLogTest, WithoutAnUsableNameTheLogStaysClosedAndDropsWrites)
{
    std::vector<std::unique_ptr<CAppLog>> holders;
    for (int i = 0; i < 10; ++i) {
        if (i % 2) {
            ASSERT_TRUE(QDir(m_dir.path()).mkdir(Name(i)));
            continue;
        }
        holders.push_back(std::make_unique<CAppLog>());
        ASSERT_TRUE(holders.back()->Open({m_dir.path()}));
        ASSERT_EQ(holders.back()->FileName(), Path(Name(i)));
    }
    CAppLog log;
    EXPECT_FALSE(log.Open({m_dir.path()}));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_TRUE(log.FileName().isEmpty());
    log.Message(u"dropped"_s);
    ScopedProcessLog installed(&log);
    LogFormat("dropped");
    log.Close();
    for (const auto& holder : holders)
        EXPECT_EQ(Texts(holder->FileName()), QStringList{u"Log file started"_s});
}

TEST_F(AppLogTest, FallbackFolderIsCreatedWhenTheFirstCannotHoldALog)
{
    const QString fallback = Path(u"state/Calvoria"_s);
    ASSERT_TRUE(WriteFile(Path(u"file"_s), "x"));
    for (int i = 0; i < 10; ++i)
        ASSERT_TRUE(QDir().mkpath(Path(u"full/"_s + Name(i))));

    for (const QString& first : {Path(u"full"_s), Path(u"file/bin"_s)}) {
        SCOPED_TRACE(first.toStdString());
        CAppLog log;
        ASSERT_TRUE(log.Open({first, fallback}));
        EXPECT_EQ(log.FileName(), fallback + u"/log.txt"_s);
    }
}

TEST_F(AppLogTest, OpeningEmptiesThePreviousLog)
{
    ASSERT_TRUE(WriteFile(Path(u"log.txt"_s), QByteArray("old run\n").repeated(1000)));
    CAppLog log;
    ASSERT_TRUE(log.Open({m_dir.path()}));
    log.Message(u"new run"_s);
    log.Close();
    log.Message(u"after close"_s);
    EXPECT_EQ(Texts(Path(u"log.txt"_s)),
              QStringList({u"Log file started"_s, u"new run"_s, u"Log file closed"_s}));

    ASSERT_TRUE(log.Open({m_dir.path()}));
    EXPECT_EQ(Texts(Path(u"log.txt"_s)), QStringList{u"Log file started"_s});
}

TEST_F(AppLogTest, ConcurrentMessagesKeepTheirLinesTogether)
{
    constexpr int kThreads = 8;
    constexpr int kMessages = 200;
    CAppLog log;
    ASSERT_TRUE(log.Open({m_dir.path()}));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&log, t] {
            for (int m = 0; m < kMessages; ++m)
                log.Message(u"%1 %2 a\r\n%1 %2 b\n%1 %2 c"_s.arg(t).arg(m));
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<LogLine> lines = ReadLog(log.FileName());
    ASSERT_EQ(lines.size(), size_t(1 + kThreads * kMessages * 3));
    std::vector<int> next(kThreads, 0);
    for (size_t i = 1; i < lines.size(); i += 3) {
        const QStringList words = lines[i].text.split(u' ');
        ASSERT_EQ(words.size(), 3);
        const int t = words[0].toInt();
        ASSERT_TRUE(t >= 0 && t < kThreads);
        ASSERT_EQ(words[1].toInt(), next[t]++);
        const QString head = words[0] + u' ' + words[1];
        ASSERT_EQ(lines[i].text, head + u" a"_s);
        ASSERT_EQ(lines[i + 1].text, head + u" b"_s);
        ASSERT_EQ(lines[i + 2].text, head + u" c"_s);
        ASSERT_EQ(lines[i + 2].stamp, lines[i].stamp);
    }
}

} // namespace
