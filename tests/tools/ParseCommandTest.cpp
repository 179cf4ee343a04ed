// `calvoria-tool parse`: what it prints must be safe for a terminal and a script, name the
// format it read, and say in words why a feed could not be read.
#include "LocalServer.h"
#include "TestSupport.h"
#include "ToolRun.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

ToolRun Parse(const QString& source)
{
    return Tool({u"parse"_s, source});
}

// The item rows: identity, date, title, link (no enclosures here).
QStringList ItemTitles(const ToolRun& run)
{
    QStringList titles;
    for (const QString& line : run.out) {
        const QStringList fields = line.split(u'\t');
        if (fields.size() == 4 && fields[0].size() == 32)
            titles << fields[2];
    }
    return titles;
}

bool HasControls(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || (u >= 0x7F && u <= 0x9F))
            return true;
    }
    return false;
}

class ParseCommandTest : public ::testing::Test
{
protected:
    void Serve(const std::string& path, const QByteArray& body, const char* type)
    {
        server.Get(path, [body, type](const httplib::Request&, httplib::Response& response) {
            response.set_content(body.toStdString(), type);
        });
    }

    ScopedHome home;
    LocalServer server;
};

} // namespace

TEST_F(ParseCommandTest, OutputIsSafeNamesTheFormatAndFailuresAreWords)
{
    // Control characters (ESC sequences, BEL, a C1 control) and a tab in a JSON Feed's texts.
    Serve("/json",
          R"({"version": "https://jsonfeed.org/version/1.1", "title": "Desk\u001b[2J\u0007",
              "items": [{"id": "1", "title": "One\tTwo\u001b]0;owned\u0007\nThree\u0085",
                         "url": "http://example.test/1\u001b[0m", "content_text": "x"},
                        {"id": "2", "title": "Plain", "url": "http://example.test/2"}]})",
          "application/feed+json");
    Serve("/rss",
          "<rss version=\"2.0\"><channel><title>R</title><item><title>A</title></item>"
          "</channel></rss>",
          "application/rss+xml");
    Serve("/atom", "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>A</title></feed>",
          "application/atom+xml");
    Serve("/charset", "<?xml version=\"1.0\" encoding=\"x-foo\"?><rss><channel/></rss>",
          "application/rss+xml");

    const ToolRun json = Parse(server.Url("/json"));
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(json.out.value(0), u"kind\t1 JSON Feed"_s);
    EXPECT_EQ(json.out.value(1), u"title\tDesk[2J"_s);
    // Tabs and line ends are escaped as in every row the companion prints.
    EXPECT_EQ(ItemTitles(json), (QStringList{u"One\\tTwo]0;owned\\nThree"_s, u"Plain"_s}));
    EXPECT_FALSE(HasControls(json.out.join(u'\n'))) << json.out.join(u'\n').toStdString();
    EXPECT_FALSE(HasControls(json.err));

    EXPECT_EQ(Parse(server.Url("/rss")).out.value(0), u"kind\t1 RSS 2.0"_s);
    EXPECT_EQ(Parse(server.Url("/atom")).out.value(0), u"kind\t3 Atom 1.0"_s);

    const ToolRun charset = Parse(server.Url("/charset"));
    EXPECT_EQ(charset.exitCode, 1);
    EXPECT_TRUE(charset.err.endsWith(u"failed: unknown character set 'x-foo'\n"_s))
        << charset.err.toStdString();

    // A file is read as a stored channel file: strictly, so its bad bytes are named.
    const QString file = home.File(u"latin1.xml"_s);
    ASSERT_TRUE(WriteFile(file, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss><channel>"
                                "<title>Caf\xE9</title></channel></rss>"));
    const ToolRun bytes = Parse(file);
    EXPECT_EQ(bytes.exitCode, 1);
    EXPECT_TRUE(bytes.err.endsWith(
        u"failed: the text is not valid UTF-8 (bytes 0xE9 0x3C 0x2F 0x74, line 2)\n"_s))
        << bytes.err.toStdString();
}
