#include "CPageRenderer.h"
#include "NewsTestSupport.h"
#include "Newspaper.h"
#include "NewspaperPage.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr qint64 kPageT0 = 1700000000;

std::vector<xmlNode*> Elements(const xmlNode* node, const char* name)
{
    std::vector<xmlNode*> out;
    for (xmlNode* child = node ? node->children : nullptr; child; child = child->next)
        if (child->type == XML_ELEMENT_NODE &&
            qstrcmp(reinterpret_cast<const char*>(child->name), name) == 0)
            out.push_back(child);
    return out;
}

class ChannelPageTest : public ::testing::Test, public NewsFixture
{
protected:
    XmlDocPtr Newspaper(CRssNode& node)
    {
        XmlDocPtr paper = NewXmlDocument();
        BuildNewspaper(node, paper.get(), reinterpret_cast<xmlNode*>(paper.get()));
        return paper;
    }

    static QString ReadPage(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QByteArray bytes = file.readAll().mid(2);
        return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                  bytes.size() / 2);
    }

    static QString Style(const QString& name) { return SourceDir() + u"/Options/"_s + name; }
};

TEST_F(ChannelPageTest, BigChannelAndGroupPagesHoldTheNewestNewsAndSayHowManyMore)
{
    // News 0 is the oldest; every third is read, and news 5 is deleted.
    CRefPtr<CRssChannel> big = AddChannel(u"Big"_s, 1000, kPageT0, u"Big"_s);
    for (const CRefPtr<CRssNode>& node : big->ChildrenSnapshot()) {
        auto* item = static_cast<CRssItem*>(node.get());
        const int n = int(item->publicationTime - kPageT0) / 60;
        item->unread = n % 3 != 0;
        item->deleted = n == 5;
    }
    XmlDocPtr paper = Newspaper(*big);
    xmlNode* channel = Elements(xmlDocGetRootElement(paper.get()), "channel").at(0);
    const std::vector<xmlNode*> items = Elements(channel, "item");
    ASSERT_EQ(items.size(), size_t(kNewspaperNewsLimit));
    // The newest first (the default order), down to news 700.
    EXPECT_EQ(NodeText(Elements(items.front(), "title").at(0)), u"Big 999"_s);
    EXPECT_EQ(NodeText(Elements(items.back(), "title").at(0)), u"Big 700"_s);
    // 0..699 but the deleted one; of them every third (0, 3, ... 699) is read.
    EXPECT_EQ(Attribute(channel, "more"), u"699"_s);
    EXPECT_EQ(Attribute(channel, "moreunread"), QString::number(699 - 234));

    // A group shares the page among its channels by age: the small, newer one whole.
    CRefPtr<CRssChannel> small = AddChannel(u"Small"_s, 10, kPageT0 + 60 * 2000, u"Small"_s);
    XmlDocPtr groupPaper = Newspaper(doc.RootGroup());
    const std::vector<xmlNode*> channels =
        Elements(xmlDocGetRootElement(groupPaper.get()), "channel");
    ASSERT_EQ(channels.size(), 2u);
    EXPECT_EQ(Elements(channels[0], "item").size() + Elements(channels[1], "item").size(),
              size_t(kNewspaperNewsLimit));
    EXPECT_EQ(Elements(channels[1], "item").size(), 10u);
    EXPECT_FALSE(xmlHasProp(channels[1], reinterpret_cast<const xmlChar*>("more")));
    EXPECT_EQ(Attribute(channels[0], "more"), u"709"_s);

    // Every reading style tells of the news left out and counts them all.
    QTemporaryDir dir;
    for (const QString& style : {u"Default.xsl"_s, u"Compact.xsl"_s, u"Dark.xsl"_s}) {
        const QString page = dir.filePath(style + u".html"_s);
        ASSERT_TRUE(WriteStyledPage(paper.get(), Style(style), page)) << qPrintable(style);
        const QString html = ReadPage(page);
        EXPECT_TRUE(html.contains(u"699 older news are in the news list."_s)) << qPrintable(style);
        EXPECT_TRUE(html.contains(u"999 news, "_s + QString::number(699 - 234 + 200)))
            << qPrintable(style);
        EXPECT_FALSE(html.contains(u"Big 699<"_s)) << qPrintable(style);
    }
}

TEST_F(ChannelPageTest, OnlyTheNewestRequestsPageTakesThePageFileAndNoPartIsLeft)
{
    CRefPtr<CRssChannel> big = AddChannel(u"Big"_s, 2000, kPageT0, u"Big"_s);
    CRefPtr<CRssChannel> small = AddChannel(u"Small"_s, 1, kPageT0, u"Small"_s);
    QTemporaryDir dir;
    const QString pageFile = dir.filePath(u"rssPAGE.tmp.html"_s);
    std::vector<quint64> finished;
    {
        CPageRenderer renderer(pageFile);
        QObject::connect(&renderer, &CPageRenderer::finished, [&](quint64 ticket, bool ok) {
            if (ok)
                finished.push_back(ticket);
        });
        // The big page is still being made when the small one is asked for.
        const quint64 early = renderer.Render(Newspaper(*big), Style(u"Default.xsl"_s));
        const quint64 late = renderer.Render(Newspaper(*small), Style(u"Default.xsl"_s));
        ASSERT_NE(early, late);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !finished.empty(); }, 10000));
        QTest::qWait(300);
        EXPECT_EQ(finished, std::vector<quint64>{late});
        EXPECT_TRUE(ReadPage(pageFile).contains(u"Small 0"_s));
        EXPECT_FALSE(ReadPage(pageFile).contains(u"Big 1"_s));
        EXPECT_EQ(QFile(pageFile).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

        // A request whose result is still on its way when the pane goes leaves nothing.
        renderer.Render(Newspaper(*big), Style(u"Default.xsl"_s));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"rssPAGE.tmp.html"_s});
}

} // namespace
