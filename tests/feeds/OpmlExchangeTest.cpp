// Subscriptions brought in from other readers' OPML files and taken out again.
#include "CRssReaderDoc.h"
#include "FeedTestSupport.h"
#include "OpmlExchange.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace {

QString ImportData(const char* name)
{
    return FeedEnvironment::TestData(u"import/"_s + QString::fromLatin1(name));
}

// One line per node: groups end with "/", channels show "name = url", two blanks a level.
void Dump(CRssNode& node, QStringList& lines, int depth = 0)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        const QString indent(depth * 2, u' ');
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            lines << indent + channel->Name() + u" = "_s + channel->Url();
        } else if (auto* group = NodeCast<CRssGroup>(child.get())) {
            lines << indent + group->Name() + u"/"_s;
            Dump(*group, lines, depth + 1);
        }
    }
}

QStringList Dump(CRssNode& node)
{
    QStringList lines;
    Dump(node, lines);
    return lines;
}

const QStringList kDesktopTree = {
    u"Tech/"_s,
    u"  Kernel News = http://kernel.example/rss.xml"_s,
    u"  Compilers Weekly = https://compilers.example/atom.xml"_s,
    u"  Deep/"_s,
    u"    Deeper/"_s,
    u"      http://untitled.example/feed = http://untitled.example/feed"_s,
    u"Caf\u00e9 culture/"_s,
    u"  Beans & Brews = http://beans.example/feed"_s,
    u"Loose = http://loose.example/rss"_s,
};

} // namespace

TEST(OpmlExchange, OtherReadersFilesMergeWithoutDuplicatesAndRoundTrip)
{
    FeedEnvironment env;
    CRssReaderDoc doc(env.context);
    CRssGroup& root = doc.RootGroup();

    // A desktop reader: nested folders without a type, a title-only name, an Atom feed, a
    // feed with no name, a duplicate in another spelling, a link, a nameless folder.
    OpmlImportResult first = ImportOpml(ImportData("desktop-reader.opml"), root, doc);
    ASSERT_TRUE(first.ok) << first.error.toStdString();
    EXPECT_EQ(Dump(root), kDesktopTree);
    EXPECT_EQ(first.added, 5);
    EXPECT_EQ(first.skipped, 1) << "HTTP://KERNEL.example:80/rss.xml#top is Kernel News again";
    EXPECT_EQ(first.rejected, 1) << "a mailto: address is no feed";
    EXPECT_EQ(first.groupsAdded, 4);
    EXPECT_EQ(first.skippedFeeds.first(), u"HTTP://KERNEL.example:80/rss.xml#top\talready subscribed"_s);
    EXPECT_EQ(env.Count(RssEvent::TreeChanged), 1) << "one change for the whole import";

    // The same file again adds nothing, not even its folders.
    OpmlImportResult again = ImportOpml(ImportData("desktop-reader.opml"), root, doc);
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(again.added + again.groupsAdded, 0);
    EXPECT_EQ(again.skipped, 6);
    EXPECT_EQ(Dump(root), kDesktopTree);

    // A web reader's OPML 2.0 under a chosen group: empty titles, a feed subscribed
    // elsewhere in the tree with its host in capitals.
    auto web = CRssGroup::Create(&env.context);
    web->Rename(u"Web"_s);
    root.AddChild(web.get());
    OpmlImportResult second = ImportOpml(ImportData("web-reader.opml"), *web, doc);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.added, 2);
    EXPECT_EQ(second.skipped, 1);
    EXPECT_EQ(Dump(*web), (QStringList{u"News/"_s,
                                       u"  Harbour Daily = http://harbour.example/rss"_s,
                                       u"  https://empty-title.example/atom = https://empty-title.example/atom"_s}));

    // Out and back in: the same tree, with the pages' addresses.
    const QString exported = env.home.File(u"exported.opml"_s);
    QString error;
    ASSERT_TRUE(ExportOpml(root, exported, &error)) << error.toStdString();
    const QString text = QString::fromUtf8(ReadFile(exported));
    EXPECT_TRUE(text.contains(u"<opml version=\"2.0\">"_s));
    EXPECT_TRUE(text.contains(u"<title>Calvoria: My Feeds</title>"_s));
    EXPECT_TRUE(text.contains(u"<dateCreated>14 Nov 2023 22:13:20 GMT</dateCreated>"_s));
    EXPECT_TRUE(text.contains(u"<outline type=\"rss\" text=\"Kernel News\" title=\"Kernel News\" "
                              "xmlUrl=\"http://kernel.example/rss.xml\" htmlUrl=\"http://kernel.example/\"/>"_s))
        << text.toStdString();
    QProcess lint;
    lint.start(u"xmllint"_s, {u"--noout"_s, exported});
    ASSERT_TRUE(lint.waitForFinished(30000));
    EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();

    FeedEnvironment other;
    CRssReaderDoc fresh(other.context);
    OpmlImportResult back = ImportOpml(exported, fresh.RootGroup(), fresh);
    ASSERT_TRUE(back.ok);
    EXPECT_EQ(Dump(fresh.RootGroup()), Dump(root));
    EXPECT_EQ(back.added, 7);
    auto tech = NodeCast<CRssGroup>(fresh.RootGroup().ChildrenSnapshot().at(0));
    auto kernel = NodeCast<CRssChannel>(tech->ChildrenSnapshot().at(0));
    EXPECT_EQ(kernel->Info().link, u"http://kernel.example/"_s);

    // Another reader's importer takes every address.
    const QString newsboat = QStandardPaths::findExecutable(u"newsboat"_s);
    if (newsboat.isEmpty()) {
        std::cout << "[ SKIPPED  ] newsboat is not installed: the other reader's import is not checked\n";
        return;
    }
    const QString urls = env.home.File(u"urls"_s);
    QProcess reader;
    reader.start(newsboat, {u"-u"_s, urls, u"-c"_s, env.home.File(u"cache.db"_s), u"-C"_s,
                            env.home.File(u"config"_s), u"-i"_s, exported});
    ASSERT_TRUE(reader.waitForFinished(30000));
    EXPECT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().toStdString();
    const QString read = QString::fromUtf8(ReadFile(urls));
    for (const char* url : {"http://kernel.example/rss.xml", "https://compilers.example/atom.xml",
                            "http://untitled.example/feed", "http://beans.example/feed",
                            "http://loose.example/rss", "http://harbour.example/rss",
                            "https://empty-title.example/atom"})
        EXPECT_TRUE(read.contains(QString::fromLatin1(url))) << url << "\n" << read.toStdString();
}

TEST(OpmlExchange, EntitiesAreRefusedUnexpandedAndHugeFilesImportWhole)
{
    FeedEnvironment env;
    CRssReaderDoc doc(env.context);
    CRssGroup& root = doc.RootGroup();

    for (const char* name : {"external-entity.opml", "billion-laughs.opml"}) {
        OpmlImportResult result = ImportOpml(ImportData(name), root, doc);
        EXPECT_FALSE(result.ok) << name;
        EXPECT_TRUE(result.error.contains(u"entities"_s)) << result.error.toStdString();
    }
    // In UTF-16 a scan of the bytes cannot see the declaration: the parsed document's
    // declarations refuse it, even when the entity stands where the parser leaves it be.
    const QString hidden = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><!DOCTYPE opml ["
                           "<!ENTITY secret SYSTEM \"file:///etc/passwd\">]><opml version=\"2.0\">"
                           "<head><title>&secret;</title></head><body><outline type=\"rss\" "
                           "text=\"Leak\" xmlUrl=\"http://evil.example/feed\"/></body></opml>"_s;
    QByteArray utf16("\xFF\xFE");
    utf16.append(reinterpret_cast<const char*>(hidden.utf16()), hidden.size() * 2);
    OpmlImportResult wide = ImportOpmlBytes(utf16, root, doc);
    EXPECT_FALSE(wide.ok);
    EXPECT_TRUE(wide.error.contains(u"entities"_s)) << wide.error.toStdString();
    EXPECT_EQ(root.ChildCount(), 0) << "nothing of a refused file is taken";

    // 5,000 feeds in 50 folders, each feed listed twice.
    QByteArray huge = "<opml version=\"1.0\"><body>";
    for (int g = 0; g < 50; ++g) {
        huge += "<outline text=\"Folder " + QByteArray::number(g) + "\">";
        for (int f = 0; f < 100; ++f) {
            const QByteArray n = QByteArray::number(g * 100 + f);
            huge += "<outline type=\"rss\" text=\"Feed " + n + "\" xmlUrl=\"http://f" + n +
                    ".example/rss\"/><outline text=\"Copy\" xmlUrl=\"http://F" + n + ".example/rss\"/>";
        }
        huge += "</outline>";
    }
    huge += "</body></opml>";
    OpmlImportResult many = ImportOpmlBytes(huge, root, doc);
    ASSERT_TRUE(many.ok);
    EXPECT_EQ(many.added, 5000);
    EXPECT_EQ(many.skipped, 5000);
    EXPECT_EQ(root.ChildCount(), 50);
    EXPECT_EQ(NodeCast<CRssGroup>(root.ChildrenSnapshot().at(49))->ChildCount(), 100);
}
