#pragma once

#include "CRssReaderDoc.h"
#include "CThemeColors.h"
#include "FeedTestSupport.h"
#include "IFrameServices.h"

#include <QStringList>

// The frame's services as the tree's dialogs use them: the pages asked for are noted.
class RecordingFrame : public IFrameServices
{
public:
    bool OpenInBrowser(const QString& url) override
    {
        opened << url;
        return true;
    }
    bool BrowseForFolder(QString&) override { return false; }
    void HideSearchBarIfVisible() override {}
    CRssHeader* RightSideHeader() const override { return nullptr; }
    CThemeColors& Theme() const override { return theme; }
    void ApplyOptions(const OptionChanges&) override {}

    mutable CThemeColors theme;
    QStringList opened;
};

// The names of a group's channels and groups, in order.
QStringList ChildNames(const CRssNode& group);

// A loaded document on the environment's data folder.
struct TreeWorld
{
    TreeWorld();
    CRssChannel* AddChannel(CRssGroup& group, const QString& name, int unread = 0);
    CRssGroup* AddGroup(CRssGroup& parent, const QString& name);
    // Hands the notifications posted so far to `view` as the frame would, in order.
    template <class View> void Deliver(View& view)
    {
        const auto notes = env.Notifications();
        env.ClearNotifications();
        for (const auto& note : notes)
            view.OnUpdate(note.code, note.object.get());
    }

    FeedEnvironment env;
    CRssReaderDoc doc{env.context};
    RecordingFrame frame;
};
