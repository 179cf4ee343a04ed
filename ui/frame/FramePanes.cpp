#include "FramePanes.h"

#include "CRssHeader.h"
#include "CRssSplitter.h"
#include "CSearchDlg.h"
#include "StringTable.h"

#include <QFrame>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kMyChannels = 132;
constexpr int kMinimumPane = 100;

QWidget* Placeholder(const QString& name)
{
    auto* pane = new QFrame;
    pane->setObjectName(name);
    pane->setFrameShape(QFrame::NoFrame);
    pane->setBackgroundRole(QPalette::Base);
    pane->setAutoFillBackground(true);
    return pane;
}

} // namespace

FramePanes BuildFramePanes(const CThemeColors* theme, int readingPanePosition, QWidget* parent)
{
    if (readingPanePosition < 0 || readingPanePosition > 2)
        return {};
    FramePanes panes;
    panes.outer = new CRssSplitter(theme, parent);
    panes.outer->setObjectName(u"outerSplitter"_s);
    panes.outer->createStatic(1, 2);
    panes.outer->setColumnInfo(0, 250, kMinimumPane);

    panes.channelTree = Placeholder(u"channelTreePane"_s);
    panes.outer->setWindow(CRssSplitter::PaneId(0, 0), panes.channelTree);
    panes.treeHeader = new CRssHeader(theme);
    panes.treeHeader->setText(LoadString(kMyChannels));
    panes.outer->setWindow(CRssSplitter::HeaderId(0, 0), panes.treeHeader);

    panes.searchBar = new CSearchDlg(theme);
    panes.searchBar->setObjectName(u"searchBar"_s);
    panes.outer->setWindow(CRssSplitter::BarId(0, 1), panes.searchBar);
    panes.searchBar->hide();

    panes.newsList = Placeholder(u"newsListPane"_s);
    panes.newsHeader = new CRssHeader(theme);
    if (readingPanePosition == 0) {
        panes.outer->setWindow(CRssSplitter::HeaderId(0, 1), panes.newsHeader);
        panes.outer->setWindow(CRssSplitter::PaneId(0, 1), panes.newsList);
        return panes;
    }
    panes.inner = new CRssSplitter(theme);
    panes.inner->setObjectName(u"innerSplitter"_s);
    panes.readingPane = Placeholder(u"readingPane"_s);
    if (readingPanePosition == 1) {
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
    return panes;
}
