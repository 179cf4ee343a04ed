#include "FramePanes.h"

#include "CRssHeader.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "IFrameServices.h"
#include "StringTable.h"

#include <QFrame>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMyChannels = 132;
constexpr int kMinimumPane = 100;

QWidget* MakePane(const PaneViewMakers::Maker& maker, IFrameServices& frame, const QString& name,
                  const QString& accessibleName)
{
    if (maker)
        if (QWidget* view = maker(frame))
            return view;
    auto* pane = new QFrame;
    pane->setObjectName(name);
    pane->setFrameShape(QFrame::NoFrame);
    pane->setBackgroundRole(QPalette::Base);
    pane->setAutoFillBackground(true);
    pane->setAccessibleName(accessibleName);
    // Reachable with F6 like the views that will take its place.
    pane->setFocusPolicy(Qt::StrongFocus);
    return pane;
}

bool BuildRightSide(FramePanes& panes, IFrameServices& frame, int position,
                    const PaneViewMakers& makers)
{
    const CThemeColors* theme = &frame.Theme();
    if (position < 0 || position > 2)
        return false;
    panes.newsList = MakePane(makers.newsList, frame, u"newsListPane"_s, u"News"_s);
    panes.newsHeader = new CRssHeader(theme);
    panes.newsHeader->setObjectName(u"newsHeader"_s);
    if (position == 0) {
        panes.outer->setWindow(CRssSplitter::HeaderId(0, 1), panes.newsHeader);
        panes.outer->setWindow(CRssSplitter::PaneId(0, 1), panes.newsList);
        return true;
    }
    panes.inner = new CRssSplitter(theme);
    panes.inner->setObjectName(u"innerSplitter"_s);
    panes.readingPane = MakePane(makers.readingPane, frame, u"readingPane"_s, u"Reading pane"_s);
    if (position == 1) {
        panes.inner->createStatic(1, 2);
        panes.inner->setColumnInfo(0, 300, kMinimumPane);
        panes.inner->setWindow(CRssSplitter::PaneId(0, 1), panes.readingPane);
    } else {
        panes.inner->createStatic(2, 1);
        panes.inner->setRowInfo(0, 200, kMinimumPane);
        panes.inner->setWindow(CRssSplitter::PaneId(1, 0), panes.readingPane);
    }
    panes.inner->setWindow(CRssSplitter::HeaderId(0, 0), panes.newsHeader);
    panes.inner->setWindow(CRssSplitter::PaneId(0, 0), panes.newsList);
    panes.outer->setWindow(CRssSplitter::PaneId(0, 1), panes.inner);
    return true;
}

} // namespace

FramePanes BuildFramePanes(IFrameServices& frame, int readingPanePosition,
                           const PaneViewMakers& makers, QWidget* parent)
{
    const CThemeColors* theme = &frame.Theme();
    if (readingPanePosition < 0 || readingPanePosition > 2)
        return {};
    FramePanes panes;
    panes.outer = new CRssSplitter(theme, parent);
    panes.outer->setObjectName(u"outerSplitter"_s);
    panes.outer->createStatic(1, 2);
    panes.outer->setColumnInfo(0, 250, kMinimumPane);

    panes.channelTree = MakePane(makers.channelTree, frame, u"channelTreePane"_s, u"Channels"_s);
    panes.outer->setWindow(CRssSplitter::PaneId(0, 0), panes.channelTree);
    panes.treeHeader = new CRssHeader(theme);
    panes.treeHeader->setObjectName(u"treeHeader"_s);
    panes.treeHeader->setText(LoadString(kMyChannels));
    panes.outer->setWindow(CRssSplitter::HeaderId(0, 0), panes.treeHeader);

    panes.searchBar = new CSearchDlg(theme);
    panes.searchBar->setObjectName(u"searchBar"_s);
    panes.outer->setWindow(CRssSplitter::BarId(0, 1), panes.searchBar);
    panes.searchBar->hide();

    BuildRightSide(panes, frame, readingPanePosition, makers);
    return panes;
}

bool RebuildRightSide(FramePanes& panes, IFrameServices& frame, int readingPanePosition,
                      const PaneViewMakers& makers)
{
    // The outer splitter lets go of the cell first, then its windows go.
    panes.outer->setWindow(CRssSplitter::PaneId(0, 1), nullptr);
    panes.outer->setWindow(CRssSplitter::HeaderId(0, 1), nullptr);
    if (panes.inner) {
        delete panes.inner; // takes the news header, the list and the reading pane with it
    } else {
        delete panes.newsList;
        delete panes.newsHeader;
    }
    panes.inner = nullptr;
    panes.newsList = nullptr;
    panes.newsHeader = nullptr;
    panes.readingPane = nullptr;
    const bool built = BuildRightSide(panes, frame, readingPanePosition, makers);
    panes.outer->recalcLayout();
    return built;
}
