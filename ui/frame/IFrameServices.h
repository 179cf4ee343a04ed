#pragma once

#include "CommandIds.h"

class CRssHeader;
class CThemeColors;
class QString;

// What an options page changed, for the frame to bring the windows up to date.
struct OptionChanges
{
    bool preview = false; // the preview lines under the titles
    bool layout = false;  // where the reading pane sits
    bool theme = false;   // the colour theme
    bool buttons = false; // large or small tool bar buttons
};

// What the main frame does for the views and dialogs inside it.
class IFrameServices
{
public:
    virtual ~IFrameServices() = default;

    // Opens a web address in the person's browser; other schemes are refused and logged.
    virtual bool OpenInBrowser(const QString& url) = 0;
    // The folder picker; replaces `path` and returns true when a folder was chosen.
    virtual bool BrowseForFolder(QString& path) = 0;
    virtual void HideSearchBarIfVisible() = 0;
    // The header above the news list, in whichever splitter holds it.
    virtual CRssHeader* RightSideHeader() const = 0;
    // The colours every window of the frame draws with.
    virtual CThemeColors& Theme() const = 0;
    // After the options changed: rebuild the panes, tell the views of the preview change,
    // reload the tool bar images, recolour everything, as changed says.
    virtual void ApplyOptions(const OptionChanges& changed) = 0;
    // Runs a command as the menu would, at whichever view or window carries it.
    virtual bool RouteCommand(Command id)
    {
        (void)id;
        return false;
    }
    // The example feeds of the welcome page, added to the tree as the group "Examples".
    virtual void AddExampleFeeds() {}
};
