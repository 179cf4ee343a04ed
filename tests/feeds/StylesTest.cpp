#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssItem.h"
#include "FeedTestSupport.h"
#include "Newspaper.h"
#include "XmlHelpers.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <gtest/gtest.h>
#include <libxml/HTMLparser.h>
#include <libxslt/transform.h>
#include <libxslt/xsltutils.h>

using namespace Qt::Literals::StringLiterals;

// The reading styles installed beside the program turn every kind of newspaper into one
// page that shows the news and keeps the feed's own HTML from running anything.

namespace {

QString OptionsDir()
{
    return SourceDir() + u"/Options"_s;
}

struct StyleDeleter
{
    void operator()(xsltStylesheet* style) const { xsltFreeStylesheet(style); }
};
using StylePtr = std::unique_ptr<xsltStylesheet, StyleDeleter>;

// The page a style makes of the node's newspaper, as the reading pane gets it.
QByteArray Render(xsltStylesheet* style, CRssNode& node)
{
    XmlDocPtr paper = NewXmlDocument();
    if (BuildNewspaper(node, paper.get(), reinterpret_cast<xmlNode*>(paper.get())) != kResultOk)
        return {};
    XmlDocPtr page(xsltApplyStylesheet(style, paper.get(), nullptr));
    xmlChar* text = nullptr;
    int length = 0;
    if (!page || xsltSaveResultToString(&text, &length, page.get(), style) != 0)
        return {};
    QByteArray html(reinterpret_cast<const char*>(text), length);
    xmlFree(text);
    return html;
}

const xmlNode* FirstElement(const xmlNode* node, const char* name = nullptr)
{
    for (const xmlNode* child = node ? node->children : nullptr; child; child = child->next) {
        if (child->type == XML_ELEMENT_NODE &&
            (!name || xmlStrcasecmp(child->name, BAD_CAST name) == 0))
            return child;
    }
    return nullptr;
}

// The policy of the page's first head element, directive by directive; empty when that
// element is not a Content-Security-Policy meta element.
QMap<QString, QString> FirstHeadPolicy(const QByteArray& html)
{
    XmlDocPtr doc(htmlReadMemory(html.constData(), int(html.size()), nullptr, "UTF-8",
                                 HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
    const xmlNode* first = FirstElement(FirstElement(xmlDocGetRootElement(doc.get()), "head"));
    QMap<QString, QString> policy;
    if (!first || NodeName(first) != u"meta"_s ||
        Attribute(first, "http-equiv").compare(u"Content-Security-Policy"_s, Qt::CaseInsensitive))
        return policy;
    for (const QString& directive : Attribute(first, "content").split(u';', Qt::SkipEmptyParts)) {
        const QString text = directive.simplified();
        policy.insert(text.section(u' ', 0, 0), text.section(u' ', 1));
    }
    return policy;
}

class StylesTest : public ::testing::Test
{
protected:
    CRefPtr<CRssChannel> MakeChannel(const QString& title, const QString& link)
    {
        auto channel = CRssChannel::Create(&env.context);
        RssChannelInfo info;
        info.title = title;
        info.link = link;
        info.imageUrl = link + u"logo.png"_s;
        info.imageTitle = title;
        info.imageLink = link;
        channel->SetInfo(info);
        return channel;
    }

    CRefPtr<CRssItem> AddItem(CRssChannel& channel, const QString& title, const QString& link,
                              const QString& description, bool unread)
    {
        CRefPtr<CRssItem> item = CRssItem::Create(&env.context);
        item->title = title;
        item->SetLink(link);
        item->SetDescription(description);
        item->SetPubDate(u"05 Jun 2005 14:05:09 GMT"_s);
        item->unread = unread;
        item->inFeed = true;
        item->UpdateIdentity();
        channel.AddChild(item.get());
        return item;
    }

    FeedEnvironment env;
};

} // namespace

TEST_F(StylesTest, OptionsFolderHoldsTheDefaultStyleAndTheNoEnginePage)
{
    EXPECT_TRUE(QFile::exists(OptionsDir() + u"/Default.xsl"_s));
    const QByteArray noEngine = ReadFile(OptionsDir() + u"/noIE6.htm"_s);
    EXPECT_TRUE(noEngine.contains("Qt WebEngine"));
    EXPECT_FALSE(noEngine.contains("<script"));
}

TEST_F(StylesTest, EveryStyleMakesOnePageThatShowsTheNewsAndRunsNothing)
{
    auto gazette = MakeChannel(u"Harbour Gazette"_s, u"https://gazette.example.org/"_s);
    const QString hostileHtml = u"<p>Hello <b>world</b></p><script>alert(1)</script>"
                                u"<iframe src=\"http://x\"></iframe>"
                                u"<a href=\"javascript:alert(1)\" onclick=\"x()\">l</a>"_s;
    auto hostile = AddItem(*gazette, u"Ferry timetable changes"_s,
                           u"https://gazette.example.org/ferry"_s, hostileHtml, true);
    hostile->SetAuthor(u"Ann Berg"_s);
    auto podcast = AddItem(*gazette, u"Harbour Talk, episode 12"_s,
                           u"https://gazette.example.org/talk12"_s, u"The lighthouse."_s, false);
    podcast->SetEnclosure({u"https://gazette.example.org/talk12.mp3"_s, 12897484, u"audio/mpeg"_s});
    podcast->SetState(RssItemState::Ready);
    AddItem(*gazette, u"Market day moves"_s, u"https://gazette.example.org/market"_s,
            u"Stalls open at nine."_s, false);
    auto radio = MakeChannel(u"Valley Radio"_s, u"http://radio.example.net/"_s);
    AddItem(*radio, u"Morning show"_s, u"http://radio.example.net/morning"_s, u"Talk."_s, true);
    auto group = CRssGroup::Create(&env.context);
    group->Rename(u"Local"_s);
    group->AddChild(gazette.get());
    group->AddChild(radio.get());

    const QStringList styles = QDir(OptionsDir()).entryList({u"*.xsl"_s}, QDir::Files);
    EXPECT_GE(styles.size(), 3) << styles.join(u' ').toStdString();
    for (const QString& name : styles) {
        SCOPED_TRACE(name.toStdString());
        StylePtr style(xsltParseStylesheetFile(
            BAD_CAST QFile::encodeName(OptionsDir() + u'/' + name).constData()));
        ASSERT_TRUE(style);
        const QByteArray item = Render(style.get(), *hostile);
        const QByteArray channel = Render(style.get(), *gazette);
        const QByteArray groupPage = Render(style.get(), *group);
        for (const QByteArray& page : {item, channel, groupPage}) {
            EXPECT_EQ(page.count("<html"), 1);
            EXPECT_EQ(page.count("<body"), 1);
            const QMap<QString, QString> policy = FirstHeadPolicy(page);
            EXPECT_EQ(policy.value(u"default-src"_s), u"'none'"_s);
            EXPECT_EQ(policy.value(u"script-src"_s), u"'none'"_s);
            EXPECT_EQ(policy.value(u"frame-src"_s), u"'none'"_s);
            EXPECT_EQ(policy.value(u"object-src"_s), u"'none'"_s);
        }
        for (const QByteArray& page : {item, channel}) {
            EXPECT_TRUE(page.contains("Ferry timetable changes"));
            EXPECT_TRUE(page.contains("Ann Berg"));
            EXPECT_TRUE(page.contains("href=\"https://gazette.example.org/ferry\""));
            EXPECT_TRUE(page.contains("src=\"https://gazette.example.org/logo.png\""));
        }
        EXPECT_TRUE(item.contains("<b>world</b>")); // the feed's markup, not its text
        EXPECT_TRUE(channel.contains("12.3 MB"));
        EXPECT_TRUE(channel.contains("Harbour Talk, episode 12"));
        EXPECT_TRUE(groupPage.contains("Harbour Gazette"));
        EXPECT_TRUE(groupPage.contains("Valley Radio"));
        EXPECT_TRUE(groupPage.contains("Morning show"));
        EXPECT_TRUE(groupPage.contains("12.3 MB"));
    }
}
