#include "LaunchRequest.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

TEST(LaunchRequest, TakesWhatBrowsersAndTheDesktopHandOver)
{
    const LaunchRequest plain = ParseLaunchArguments({});
    EXPECT_FALSE(plain.hidden || plain.refreshAll);
    EXPECT_TRUE(plain.feedAddress.isEmpty() && plain.error.isEmpty());

    const LaunchRequest both =
        ParseLaunchArguments({u"--hidden"_s, u"--refresh-all"_s, u"feed://news.example/rss"_s});
    EXPECT_TRUE(both.hidden && both.refreshAll);
    EXPECT_EQ(both.feedAddress, u"http://news.example/rss"_s);
    EXPECT_EQ(ParseLaunchArguments({u"feed:https://news.example/atom"_s}).feedAddress,
              u"https://news.example/atom"_s);

    // A feed a browser saved: the address it gives for itself, else its site's.
    QTemporaryDir dir;
    const QString atom = dir.filePath(u"feed (1).xml"_s);
    ASSERT_TRUE(WriteFile(atom, R"(<?xml version="1.0"?>
<feed xmlns="http://www.w3.org/2005/Atom"><title>T</title>
<link rel="alternate" href="https://news.example/"/>
<link rel="self" href="https://news.example/feed.atom"/>
<entry><link rel="self" href="https://news.example/entry"/></entry></feed>)"));
    EXPECT_EQ(ParseLaunchArguments({atom}).feedAddress, u"https://news.example/feed.atom"_s);
    const QString rss = dir.filePath(u"rss.xml"_s);
    ASSERT_TRUE(WriteFile(rss, "<rss version=\"2.0\"><channel><title>T</title>"
                               "<link>https://site.example/</link><item><link>https://site.example/1"
                               "</link></item></channel></rss>"));
    EXPECT_EQ(ParseLaunchArguments({u"file://"_s + rss}).feedAddress, u"https://site.example/"_s);
    // One that names no address has nothing to refresh from: refused at once, saying so,
    // rather than handed to New Channel as a file: address it cannot verify.
    const QString bare = dir.filePath(u"bare.xml"_s);
    ASSERT_TRUE(WriteFile(bare, "<rss version=\"2.0\"><channel><title>T</title>"
                                "<link>file:///home/me/site.html</link></channel></rss>"));
    for (const QString& argument : {bare, u"file://"_s + bare}) {
        const LaunchRequest saved = ParseLaunchArguments({argument});
        EXPECT_TRUE(saved.feedAddress.isEmpty()) << saved.feedAddress.toStdString();
        EXPECT_TRUE(saved.error.contains(u"names no address of its own"_s)) << saved.error.toStdString();
    }

    // Options of the web engine are left to it; bad usage is refused with a reason.
    const LaunchRequest engine = ParseLaunchArguments({u"--disable-gpu"_s, u"feed://a.example/"_s});
    EXPECT_TRUE(engine.error.isEmpty());
    EXPECT_EQ(engine.feedAddress, u"http://a.example/"_s);
    EXPECT_FALSE(ParseLaunchArguments({u"mailto:a@b.example"_s}).error.isEmpty());
    EXPECT_FALSE(ParseLaunchArguments({dir.filePath(u"missing.xml"_s)}).error.isEmpty());
    EXPECT_EQ(ParseLaunchArguments({u"http://a.example/"_s, u"http://b.example/"_s}).error,
              u"give at most one feed"_s);
}
