#pragma once

#include "CPreferences.h"
#include "CRssHeader.h"
#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "FeedTestSupport.h"
#include "IFrameServices.h"

#include <QStringList>

// What the news list asks of the main frame, kept for the test to look at.
class FrameStub : public IFrameServices
{
public:
    bool OpenInBrowser(const QString& url) override
    {
        opened << url;
        return true;
    }
    bool BrowseForFolder(QString&) override { return false; }
    void HideSearchBarIfVisible() override { ++searchBarHidden; }
    CRssHeader* RightSideHeader() const override { return header; }
    CThemeColors& Theme() const override { return theme; }
    void ApplyOptions(const OptionChanges&) override {}
    bool RouteCommand(Command id) override
    {
        routed << id;
        return true;
    }
    void AddExampleFeeds() override { ++examplesAdded; }

    mutable CThemeColors theme;
    CRssHeader headerWidget{&theme};
    CRssHeader* header = &headerWidget;
    QStringList opened;
    int searchBarHidden = 0;
    QList<Command> routed;
    int examplesAdded = 0;
};

// A loaded document in a temporary data folder, and channels of numbered news.
class NewsFixture
{
public:
    NewsFixture() { doc.LoadNews(); }

    CPreferences& Prefs() { return *env.app.Prefs(); }

    // Items "<prefix> 0" ... "<prefix> count-1", item i published at first + 60 i.
    CRefPtr<CRssChannel> AddChannel(const QString& name, int count, qint64 first,
                                    const QString& prefix = QStringLiteral("News"))
    {
        CRefPtr<CRssChannel> channel = CRssChannel::Create(&env.context);
        channel->SetNameAndUrl(name, QStringLiteral("http://news.example.com/") + name);
        channel->SetDownloadState(CRssChannel::Downloaded);
        doc.RootGroup().AddChild(channel.get());
        AddItems(*channel, prefix, count, first);
        return channel;
    }

    CRefPtr<CRssItem> AddItem(CRssChannel& channel, const QString& title, qint64 time)
    {
        CRefPtr<CRssItem> item = CRssItem::Create(
            &env.context, title, QStringLiteral("About ") + title + QStringLiteral("."));
        item->SetPublicationTime(time);
        channel.AddChild(item.get(), 0); // downloads put new news first
        channel.Recount(false);
        return item;
    }

    void AddItems(CRssChannel& channel, const QString& prefix, int count, qint64 first)
    {
        for (int i = 0; i < count; ++i)
            AddItem(channel, prefix + u' ' + QString::number(i), first + 60 * i);
    }

    FeedEnvironment env;
    CRssReaderDoc doc{env.context};
    FrameStub frame;
};
