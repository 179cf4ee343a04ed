#pragma once

#include "CAppServices.h"
#include "CMainFrame.h"
#include "CNotificationDispatcher.h"
#include "CWorkQueue.h"
#include "IStartupHost.h"
#include "RssEvent.h"

#include <QApplication>
#include <QPointer>

// The application object: owns the services, runs start-up and exit around the message
// loop, and carries notifications from any thread to the views on the window thread.
class CAudioSharing;
class CFeedContext;
class CFeedHandoff;
class CItemJobs;
class CNewsAnnouncer;
class CNewsPopups;
class CRssChannel;
class CRssItem;
class CRssReaderDoc;
class CUpdateRounds;
class CVoiceConverter;

class CRssReaderApp : public QApplication, public IStartupHost
{
    Q_OBJECT
public:
    CRssReaderApp(int& argc, char** argv);
    ~CRssReaderApp() override;

    CAppServices& Services() { return m_services; }
    CRssReaderDoc* Document() const { return m_doc.get(); }
    CWorkQueue& DownloadQueue() { return m_downloadQueue; }
    CWorkQueue& ConversionQueue() { return m_conversionQueue; }
    CMainFrame* MainFrame() const { return m_frame; }

    // Start-up after the single-instance check; false ends the program.
    bool Start();
    // The main loop; at once 0 when the session asked the program to end meanwhile.
    int Run();
    // Closes the document, then runs the exit sequence. False when a worker could not be
    // stopped: the process must then end without tearing anything down.
    bool Exit();

    CNotificationDispatcher& Notifications() { return m_notifications; }

    // Handles a command from a second copy of the program: show the window, or update
    // every channel.
    void OnInstanceCommand(int command);
    // A feed handed over on the command line or by a second copy: subscribed to through
    // the New Channel dialog.
    void OnFeedAddress(const QString& address);
    // Starts hidden in the tray whatever the launcher asks (the session's autostart).
    void SetStartHidden(bool hidden) { m_startHidden = hidden; }
    // The session's terminate signal: in the main loop the program ends as after Exit;
    // before it, every loop (a message box of the start) ends and the start stops.
    void EndForSession();
    // A command line the program cannot take, shown where no terminal may be read (the
    // program started from a file manager or a browser).
    void ShowLaunchError(const QString& text);

    bool notify(QObject* receiver, QEvent* event) override;

    // IStartupHost
    int ShowCommand() const override;
    bool EndRequested() const override { return m_endRequested; }
    bool ReadBrowserEngineVersion(int& major, int& minor) override;
    bool CheckSpeechEngine() override;
    void ShowError(const QString& text) override;
    bool CreateDocumentAndFrame() override;
    void HideMainWindow() override;
    void RestorePlacementAndShow(int startShowState) override;
    void StartQueues() override;
    bool StopQueues() override;
    bool CreateConverter() override;
    bool DestroyConverter() override;

protected:
    bool event(QEvent* event) override;

private:
    void ShowAbout();
    // The options sheet, modal, with the Voice page where a voice was found at start.
    void RunOptions();
    // True where nobody can see a window (the offscreen and minimal platforms).
    bool IsHeadless() const;
    // Stored files that did not read whole: told to the person once the window exists.
    void ShowLoadProblems(const QStringList& problems);
    // News popups or desktop notifications for the frame's new items; a click brings the
    // window back with the channel (and the clicked news) selected.
    void ConnectNewsPopups();
    void OpenFromPopup(CRssChannel* channel, CRssItem* item);

    CAppServices m_services;
    std::unique_ptr<CFeedContext> m_feedContext;
    CWorkQueue m_downloadQueue;
    CWorkQueue m_conversionQueue;
    std::unique_ptr<CVoiceConverter> m_converter;
    std::unique_ptr<CItemJobs> m_itemJobs;
    bool m_queuesStopped = true;
    std::unique_ptr<CRssReaderDoc> m_doc;
    CNotificationDispatcher m_notifications;
    QPointer<CMainFrame> m_frame;
    std::unique_ptr<CNewsPopups> m_popups;
    std::unique_ptr<CNewsAnnouncer> m_announcer;
    QPointer<CFeedHandoff> m_handoff; // a child of the frame
    std::unique_ptr<CUpdateRounds> m_updateRounds;
    std::unique_ptr<CAudioSharing> m_sharing;
    bool m_startHidden = false;
    bool m_inMainLoop = false;
    bool m_endRequested = false;
};
