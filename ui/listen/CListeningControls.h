#pragma once

#include "CCommandRouter.h"
#include "CListenPositions.h"
#include "RssEvent.h"

#include <QObject>
#include <functional>

class CListeningBar;
class CMprisService;
class CNewsPlayer;
class CPreferences;
class CRefCounted;
class CRssReaderDoc;
class CRssReaderView;
class QMainWindow;
class QToolBar;

// Listening in the main window: the player with its stored positions, the listening bar
// under the panes, the desktop's media controls, and the Listen commands.
class CListeningControls : public QObject, public ICommandTarget
{
    Q_OBJECT
public:
    // newsList gives the news list the Listen command plays from; raise brings the window
    // forward.
    CListeningControls(CRssReaderDoc& document, CPreferences& prefs, QMainWindow& window,
                       std::function<CRssReaderView*()> newsList, std::function<void()> raise);
    ~CListeningControls() override;

    CNewsPlayer& Player() const { return *m_player; }
    CListeningBar& Bar() const { return *m_bar; }
    bool IsBarShown() const;
    void SetBarShown(bool shown);

    // The document's notifications: a news item's voice became ready or failed.
    void OnUpdate(RssEvent code, CRefCounted* object);

    // ICommandTarget
    bool HandlesCommand(Command id) const override;
    void RunCommand(Command id) override;
    void UpdateCommand(Command id, CommandState& state) override;

private:
    void Listen();
    QString PositionsFile() const;

    CRssReaderDoc& m_document;
    CPreferences& m_prefs;
    std::function<CRssReaderView*()> m_newsList;
    CListenPositions m_positions;
    CNewsPlayer* m_player;
    CListeningBar* m_bar;
    QToolBar* m_dock;
    CMprisService* m_mpris;
};
