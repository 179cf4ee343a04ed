#include "CMainFrame.h"

#include "StringTable.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kAppAbout = 57664;
constexpr int kAppExit = 57665;

// The status-bar prompt of a command is the first line of its string.
QString Prompt(int id)
{
    return LoadString(id).section(u'\n', 0, 0);
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(u"MainWindowCalvoria"_s);
    setWindowTitle(u"Calvoria"_s);
    resize(900, 600);

    QMenu* file = menuBar()->addMenu(u"&File"_s);
    QAction* exit = file->addAction(u"E&xit"_s);
    exit->setShortcut(QKeySequence(u"Alt+X"_s));
    exit->setStatusTip(Prompt(kAppExit));
    connect(exit, &QAction::triggered, this, &CMainFrame::exitRequested);

    QMenu* help = menuBar()->addMenu(u"&Help"_s);
    QAction* about = help->addAction(u"&About Calvoria..."_s);
    about->setStatusTip(Prompt(kAppAbout));
    connect(about, &QAction::triggered, this, &CMainFrame::aboutRequested);

    auto* label = new QLabel(u"Calvoria"_s, this);
    label->setAlignment(Qt::AlignCenter);
    setCentralWidget(label);
}

void CMainFrame::StartNewsCheckTimer(std::function<int()> periodMinutes)
{
    m_periodMinutes = std::move(periodMinutes);
    m_newsCheckTimer.setSingleShot(true);
    connect(&m_newsCheckTimer, &QTimer::timeout, this, [this] {
        Q_EMIT newsCheckDue();
        RestartNewsCheckTimer();
    });
    RestartNewsCheckTimer();
}

void CMainFrame::RestartNewsCheckTimer()
{
    // A period of 0 (only the options page corrects it) would spin: check every minute.
    const int minutes = std::max(1, m_periodMinutes());
    m_newsCheckTimer.start(std::chrono::minutes(minutes));
}

void CMainFrame::ShowFromTray()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // Until the program has a tray icon the close box ends it, so it can never become
    // unreachable.
    event->ignore();
    Q_EMIT exitRequested();
}
