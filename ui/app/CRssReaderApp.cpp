#include "CRssReaderApp.h"

#include "AppStartup.h"
#include "CAboutDialog.h"
#include "CFeedContext.h"
#include "CItemJobs.h"
#include "CItemView.h"
#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "CMainFrame.h"
#include "CLeftView.h"
#include "CNewsAnnouncer.h"
#include "CNewsPopups.h"
#include "CRssReaderView.h"
#include "CRSSFeedOptions.h"
#include "CRSSGeneralOptions.h"
#include "CRSSPropSht.h"
#include "CRSSVisualOptions.h"
#include "CRSSVoiceOptions.h"
#include "CAudioSharing.h"
#include "CShareAudioOptions.h"
#include "CStatusPanes.h"
#include "CFeedHandoff.h"
#include "CSingleInstance.h"
#include "CSystemTray.h"
#include "CUpdateRounds.h"
#include "CVoiceConverter.h"
#include "SpeechEngineCheck.h"
#include "SubscriptionFiles.h"
#include "Synchronize.h"
#include "WebEngineSetup.h"

#include <QMessageBox>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

bool AnyChannelDownloading(const CRssGroup& group)
{
    for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            if (channel->DownloadState() == CRssChannel::Downloading)
                return true;
        } else if (auto* subgroup = NodeCast<CRssGroup>(child.get())) {
            if (AnyChannelDownloading(*subgroup))
                return true;
        }
    }
    return false;
}

void CollectFavorites(const CRssGroup& group, std::vector<CRssChannel*>& favorites)
{
    for (const CRefPtr<CRssNode>& child : group.ChildrenSnapshot()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            if (channel->Favorite())
                favorites.push_back(channel);
        } else if (auto* subgroup = NodeCast<CRssGroup>(child.get())) {
            CollectFavorites(*subgroup, favorites);
        }
    }
}

} // namespace

CRssReaderApp::CRssReaderApp(int& argc, char** argv)
    : QApplication(argc, argv), m_services(applicationDirPath()),
      m_feedContext(std::make_unique<CFeedContext>(m_services))
{
    m_feedContext->SetDownloadQueue(&m_downloadQueue);
    setApplicationName(u"Calvoria"_s);
    setOrganizationName(u"Trevane Labs"_s);
    // Lets the desktop match the windows with the menu entry and its icon.
    setDesktopFileName(u"org.calvoria.calvoria"_s);
    setQuitOnLastWindowClosed(false);
    m_services.SetNotifier([this](RssEvent code, CRefPtr<CRefCounted> object) {
        m_notifications.Post(code, std::move(object));
    });
    m_services.SetDispatcher([this](RssEvent code, CRefCounted* object) {
        m_notifications.Dispatch(code, object);
    });
}

CRssReaderApp::~CRssReaderApp()
{
    m_updateRounds.reset();
    m_feedContext->SetItemJobs(nullptr);
    m_services.SetNotifier({});
    m_services.SetDispatcher({});
    if (m_frame)
        m_notifications.RemoveView(m_frame);
    m_announcer.reset();
    m_popups.reset(); // they paint in the frame's theme colours
    delete m_frame;
    m_doc.reset();
    SetProcessLog(nullptr);
}

bool CRssReaderApp::Start()
{
    return RunStartup(m_services, *this);
}

int CRssReaderApp::Run()
{
    if (m_endRequested)
        return 0;
    m_inMainLoop = true;
    const int result = exec();
    m_inMainLoop = false;
    return result;
}

void CRssReaderApp::EndForSession()
{
    m_endRequested = true;
    if (m_inMainLoop) {
        quit(); // the windows close in order, as after Exit
        return;
    }
    // quit() does nothing before the main loop runs; a message box of the start waits in
    // a loop of its own, which must end too.
    exit(1);
}

void CRssReaderApp::ShowLaunchError(const QString& text)
{
    if (!IsHeadless())
        QMessageBox::warning(nullptr, u"Calvoria"_s, text);
}

bool CRssReaderApp::Exit()
{
    // No more audio served from a tree that is about to close.
    if (m_sharing) {
        m_notifications.RemoveView(m_sharing.get());
        m_sharing.reset();
    }
    // The document saves the tree and the saved news as it closes with the main window.
    if (m_frame)
        m_frame->CloseForExit();
    if (m_doc)
        m_doc->CloseNews();
    return RunExit(m_services, *this);
}

void CRssReaderApp::OnInstanceCommand(int command)
{
    if (!m_frame)
        return;
    if (command == CSingleInstance::ShowMainWindow)
        m_frame->ShowFromTray();
    else if (command == CSingleInstance::UpdateAllGroups)
        m_updateRounds->Request();
}

void CRssReaderApp::OnFeedAddress(const QString& address)
{
    if (m_handoff)
        m_handoff->Add(address);
}

bool CRssReaderApp::event(QEvent* event)
{
    // Quitting first asks every window to close; the main window must then agree instead
    // of going to the tray, or the program would never end.
    if (event->type() == QEvent::Quit && m_frame)
        m_frame->AllowClose();
    return QApplication::event(event);
}

bool CRssReaderApp::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        LogMessage(u"*ERROR: Exception during Message pump"_s);
        return false;
    }
}

int CRssReaderApp::ShowCommand() const
{
    // Launchers pass the window's start state the way the desktop does elsewhere: 1
    // normal, 2, 6, 7 or 11 minimised (in the tray), 3 maximised.
    if (m_startHidden)
        return 2;
    bool ok = false;
    const int command = qEnvironmentVariableIntValue("CALVORIA_SHOW_COMMAND", &ok);
    return ok ? command : 1;
}

bool CRssReaderApp::ReadBrowserEngineVersion(int& major, int& minor)
{
    return ReadWebEngineVersion(major, minor);
}

bool CRssReaderApp::CheckSpeechEngine()
{
    return ::CheckSpeechEngine();
}

bool CRssReaderApp::IsHeadless() const
{
    return platformName() == u"offscreen"_s || platformName() == u"minimal"_s;
}

void CRssReaderApp::ShowError(const QString& text)
{
    // A modal box on a screen nobody sees would hold the process for ever.
    if (IsHeadless()) {
        std::fprintf(stderr, "Calvoria: %s\n", qUtf8Printable(text));
        return;
    }
    QMessageBox::critical(nullptr, u"Calvoria"_s, text);
}

bool CRssReaderApp::CreateConverter()
{
    m_converter = std::make_unique<CVoiceConverter>(m_services.ProgramFolder());
    if (!m_converter->Initialize())
        return false;
    return true;
}

bool CRssReaderApp::DestroyConverter()
{
    // A conversion still running on a worker that would not stop keeps its converter: the
    // process ends right after the exit steps.
    if (!m_converter || !m_queuesStopped)
        return false;
    m_converter->Unload();
    return true;
}

bool CRssReaderApp::CreateDocumentAndFrame()
{
    // The item jobs exist before the document loads: stored items resume their work.
    m_itemJobs = std::make_unique<CItemJobs>(m_services, m_downloadQueue, m_conversionQueue,
                                             m_converter.get());
    m_itemJobs->SetSpeechSettings(SpeechSettings::FromStore(m_services.Prefs()->Store()));
    m_feedContext->SetItemJobs(m_itemJobs.get());
    m_doc = std::make_unique<CRssReaderDoc>(*m_feedContext);
    if (!m_doc->LoadNews()) {
        if (!m_doc->LoadError().isEmpty())
            ShowError(m_doc->LoadError());
        return false;
    }
    PaneViewMakers views;
    views.channelTree = [this](IFrameServices& frame) -> QWidget* {
        return new CLeftView(*m_doc, frame.Theme(), frame);
    };
    views.newsList = [this](IFrameServices& frame) -> QWidget* {
        return new CRssReaderView(*m_doc, frame.Theme(), frame, *m_services.Prefs());
    };
    views.readingPane = [this](IFrameServices& frame) -> QWidget* {
        return new CItemView(*m_doc, m_services, frame);
    };
    m_frame = new CMainFrame(m_doc.get(), m_services, &QSystemTrayIcon::isSystemTrayAvailable,
                             std::move(views));
    m_notifications.AddView(m_frame);
    // The shared audio, served while the program runs, in the window or in the tray.
    m_sharing = std::make_unique<CAudioSharing>(*m_doc, *m_services.Prefs());
    m_notifications.AddView(m_sharing.get());
    m_sharing->ApplySettings();
    m_frame->StatusPanes().setQueueCounters(
        [this] { return m_downloadQueue.PendingCount() + m_downloadQueue.RunningCount(); },
        [this] { return m_conversionQueue.PendingCount() + m_conversionQueue.RunningCount(); });
    // Problems of data.opml and the saved news now, those of the channel files once they
    // are all read.
    const QStringList early = m_doc->LoadProblems();
    if (!early.isEmpty())
        ShowLoadProblems(early);
    m_doc->SetChannelsReadHandler([this, early] {
        QStringList later = m_doc->LoadProblems();
        for (const QString& shown : early)
            later.removeOne(shown);
        if (!later.isEmpty())
            ShowLoadProblems(later);
    });
    connect(m_frame, &CMainFrame::newsCheckDue, this, [this] { m_doc->PeriodicUpdate(); });
    connect(m_frame, &CMainFrame::exitRequested, this, &QCoreApplication::quit);
    connect(m_frame, &CMainFrame::aboutRequested, this, &CRssReaderApp::ShowAbout);
    m_frame->SetOptionsSheet([this] { RunOptions(); });
    m_frame->SetSynchronization([this] {
        RunSynchronization(*m_doc, *m_services.Prefs(), m_frame->Theme(), m_frame);
    });
    m_frame->SetSubscriptionExchange([this] { ImportSubscriptions(*m_doc, m_frame); },
                                     [this] { ExportSubscriptions(*m_doc, m_frame); });
    // No selection is stored: the tree starts on "My Feeds", and before the first channel
    // the keyboard starts on the welcome page's first step.
    m_doc->Select(&m_doc->RootGroup(), true);
    if (auto* pane = dynamic_cast<CItemView*>(m_frame->Panes().readingPane);
        pane && pane->WelcomeDue())
        pane->setFocus();
    m_handoff = new CFeedHandoff(*m_frame, *m_doc);
    m_updateRounds = std::make_unique<CUpdateRounds>(
        [this] {
            if (m_frame)
                m_frame->Router().route(Command::UpdateAllGroups);
        },
        [this] { return m_doc && AnyChannelDownloading(m_doc->RootGroup()); });
    ConnectNewsPopups();
    return true;
}

void CRssReaderApp::ConnectNewsPopups()
{
    m_popups = std::make_unique<CNewsPopups>(&m_frame->Theme());
    m_popups->setDisplayTime(
        [this] { return std::max(1, int(m_services.Prefs()->popupSeconds)) * 1000; });
    m_announcer = std::make_unique<CNewsAnnouncer>(
        *m_popups,
        [this] {
            return m_services.Prefs()->AnnounceNewsWith() ==
                   CPreferences::NewsAnnouncer::DesktopNotifications;
        },
        [this] { return m_doc && AnyChannelDownloading(m_doc->RootGroup()); });
    m_announcer->setDisplayTime(
        [this] { return std::max(1, int(m_services.Prefs()->popupSeconds)) * 1000; });
    connect(m_frame, &CMainFrame::newsPopupRequested, m_announcer.get(),
            [this](CRefCounted* object) {
                if (auto* item = NodeCast<CRssItem>(dynamic_cast<CRssNode*>(object)))
                    m_announcer->Announce(item);
            });
    connect(m_announcer.get(), &CNewsAnnouncer::opened, this, &CRssReaderApp::OpenFromPopup);
}

void CRssReaderApp::OpenFromPopup(CRssChannel* channel, CRssItem* item)
{
    if (!m_frame)
        return;
    m_frame->RunCommand(Command::ShowWindow);
    // A channel deleted while its popup showed is no longer in the tree to select.
    if (!m_doc || !channel || !channel->Parent())
        return;
    m_doc->Select(channel, false);
    if (item && item->Channel().get() == channel)
        m_doc->Select(item, false);
}

void CRssReaderApp::HideMainWindow()
{
    if (m_frame)
        m_frame->hide();
}

void CRssReaderApp::RestorePlacementAndShow(int startShowState)
{
    if (!m_frame)
        return;
    m_frame->RestorePlacement(startShowState);
    // The window is up; the channel files come in behind it, favourites first, and their
    // counts and lists fill in as they arrive.
    std::vector<CRssChannel*> first;
    CollectFavorites(m_doc->RootGroup(), first);
    m_doc->StartReadingChannels(first);
}

void CRssReaderApp::StartQueues()
{
    m_conversionQueue.Start(1, 0, false);
    m_downloadQueue.Start(3, 2, true);
}

bool CRssReaderApp::StopQueues()
{
    const bool downloads = m_downloadQueue.Stop();
    const bool conversions = m_conversionQueue.Stop();
    m_queuesStopped = downloads && conversions;
    return m_queuesStopped;
}

void CRssReaderApp::ShowLoadProblems(const QStringList& problems)
{
    const QString text = problems.join(u"\n\n"_s);
    if (IsHeadless()) {
        std::fprintf(stderr, "Calvoria: %s\n", qUtf8Printable(text));
        return;
    }
    // Not modal: the start goes on, and the window comes up behind the message.
    auto* box = new QMessageBox(QMessageBox::Warning, u"Calvoria"_s, text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void CRssReaderApp::RunOptions()
{
    CPreferences& prefs = *m_services.Prefs();
    CRSSPropSht sheet(m_frame);
    sheet.AddPage(new CRSSGeneralOptions(prefs, *m_frame,
                                         [this](const QString& path, DataRootChange change,
                                                QString* error) {
                                             return m_doc->ChangeDataRoot(path, change, error);
                                         }),
                  u"General"_s);
    sheet.AddPage(new CRSSVisualOptions(m_services, *m_frame), u"Appearance"_s);
    sheet.AddPage(new CRSSFeedOptions(m_services, *m_frame), u"RSS News"_s);
    if (m_services.hasVoice)
        sheet.AddPage(new CRSSVoiceOptions(prefs.Store(),
                                           [this] {
                                               m_itemJobs->SetSpeechSettings(
                                                   SpeechSettings::FromStore(
                                                       m_services.Prefs()->Store()));
                                           }),
                      u"Voice"_s);
    QStringList groups;
    for (const CRefPtr<CRssNode>& child : m_doc->RootGroup().ChildrenSnapshot())
        if (const auto* group = NodeCast<CRssGroup>(child.get()))
            groups << group->Name();
    sheet.AddPage(new CShareAudioOptions(
                      prefs.Store(), groups, [this] { m_sharing->ApplySettings(); },
                      [this] { return m_sharing->StatusText(); }),
                  u"Share audio"_s);
    sheet.exec();
}

void CRssReaderApp::ShowAbout()
{
    CAboutDialog dialog(m_frame);
    dialog.exec();
}
