#pragma once

#include <functional>

class CRssHeader;
class CRssSplitter;
class CSearchDlg;
class CThemeColors;
class IFrameServices;
class QWidget;

// Makes the views that fill the panes, given the frame they live in. A maker left empty
// gives an empty stand-in pane.
struct PaneViewMakers
{
    using Maker = std::function<QWidget*(IFrameServices& frame)>;
    Maker channelTree;
    Maker newsList;
    Maker readingPane;
};

// The windows of the main frame's client area: the channel tree at the left, the search
// bar, the news list and (unless hidden) the reading pane at the right, each pane under
// its header.
struct FramePanes
{
    CRssSplitter* outer = nullptr;
    CRssSplitter* inner = nullptr; // only while the reading pane is shown
    CRssHeader* treeHeader = nullptr;
    CRssHeader* newsHeader = nullptr;
    CSearchDlg* searchBar = nullptr;
    QWidget* channelTree = nullptr;
    QWidget* newsList = nullptr;
    QWidget* readingPane = nullptr; // null while hidden
};

// Builds the panes for reading-pane position 0 (hidden), 1 (right) or 2 (bottom) as
// children of `parent`; any other position builds nothing (all members null).
FramePanes BuildFramePanes(IFrameServices& frame, int readingPanePosition,
                           const PaneViewMakers& makers, QWidget* parent);

// Removes the news header, the news list and the reading pane (with the inner splitter)
// from the outer splitter, and builds them again for another reading-pane position. False,
// with the right side empty, for a position other than 0, 1 and 2.
bool RebuildRightSide(FramePanes& panes, IFrameServices& frame, int readingPanePosition,
                      const PaneViewMakers& makers);
