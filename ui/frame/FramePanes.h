#pragma once

class CRssHeader;
class CRssSplitter;
class CSearchDlg;
class CThemeColors;
class QWidget;

// The windows of the main frame's client area: the channel tree at the left, the search
// bar, the news list and (unless hidden) the reading pane at the right, each pane under
// its header. The panes are empty stand-ins until the views exist.
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
FramePanes BuildFramePanes(const CThemeColors* theme, int readingPanePosition, QWidget* parent);
