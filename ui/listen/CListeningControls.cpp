#include "CListeningControls.h"

#include "CListeningBar.h"
#include "CMprisService.h"
#include "CNewsPlayer.h"
#include "NewsListModel.h"
#include "CPreferences.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"
#include "CRssReaderView.h"

#include <QMainWindow>
#include <QSettings>
#include <QToolBar>

using namespace Qt::StringLiterals;

namespace {

const QString kBarShownKey = u"Listen/BarShown"_s;

} // namespace

CListeningControls::CListeningControls(CRssReaderDoc& document, CPreferences& prefs,
                                       QMainWindow& window,
                                       std::function<CRssReaderView*()> newsList,
                                       std::function<void()> raise)
    : QObject(&window), m_document(document), m_prefs(prefs), m_newsList(std::move(newsList))
{
    m_positions.Load(PositionsFile());
    m_player = new CNewsPlayer(document, m_positions, &prefs.Store(), this);
    m_bar = new CListeningBar(*m_player);
    m_dock = new QToolBar(u"Listening bar"_s, &window);
    m_dock->setObjectName(u"listeningBarDock"_s);
    m_dock->setMovable(false);
    m_dock->setFloatable(false);
    m_dock->addWidget(m_bar);
    window.addToolBar(Qt::BottomToolBarArea, m_dock);
    m_dock->setVisible(prefs.Store().value(kBarShownKey, false).toBool());
    // Playback that starts shows the bar that controls it.
    connect(m_player, &CNewsPlayer::stateChanged, this, [this] {
        if (m_player->PlayState() != CNewsPlayer::State::Stopped && !IsBarShown())
            SetBarShown(true);
    });
    // The list follows what is heard when it shows it, without taking the keyboard.
    connect(m_player, &CNewsPlayer::itemChanged, this, [this] {
        CRssItem* item = m_player->CurrentItem();
        CRssReaderView* list = m_newsList ? m_newsList() : nullptr;
        if (item && list && item != m_document.SelectedItem() && list->Model().RowOf(item) >= 0)
            m_document.Select(item, true);
    });
    m_mpris = new CMprisService(*m_player, std::move(raise), this);
}

CListeningControls::~CListeningControls()
{
    // Whatever uses the player goes before it; the player lets the sound device go last,
    // which runs events that must find nothing of it.
    delete m_dock;
    delete m_mpris;
    delete m_player;
}

QString CListeningControls::PositionsFile() const
{
    return m_prefs.DataRoot() + u"/listening.txt"_s;
}

bool CListeningControls::IsBarShown() const
{
    return !m_dock->isHidden();
}

void CListeningControls::SetBarShown(bool shown)
{
    m_dock->setVisible(shown);
    m_prefs.Store().setValue(kBarShownKey, shown);
}

void CListeningControls::OnUpdate(RssEvent code, CRefCounted* object)
{
    if (code == RssEvent::ItemChanged)
        m_player->ItemChanged(dynamic_cast<CRssItem*>(object));
}

void CListeningControls::Listen()
{
    CRssReaderView* list = m_newsList ? m_newsList() : nullptr;
    if (!list)
        return;
    // The data folder may have changed since the positions were read.
    if (m_positions.Path() != PositionsFile()) {
        m_positions.Save();
        m_positions.Load(PositionsFile());
    }
    m_player->Listen(list->ItemsToListen(), list->ShownName());
}

bool CListeningControls::HandlesCommand(Command id) const
{
    switch (id) {
    case Command::Listen:
    case Command::ListeningBar:
    case Command::PlayPause:
    case Command::PreviousNews:
    case Command::NextNews:
    case Command::SkipBack:
    case Command::SkipForward:
        return true;
    default:
        return false;
    }
}

void CListeningControls::RunCommand(Command id)
{
    switch (id) {
    case Command::Listen:
        Listen();
        break;
    case Command::ListeningBar:
        SetBarShown(!IsBarShown());
        break;
    case Command::PlayPause:
        m_player->PlayPause();
        break;
    case Command::PreviousNews:
        m_player->Previous();
        break;
    case Command::NextNews:
        m_player->Next();
        break;
    case Command::SkipBack:
        m_player->SeekBy(-CNewsPlayer::kBackStepMs);
        break;
    case Command::SkipForward:
        m_player->SeekBy(CNewsPlayer::kForwardStepMs);
        break;
    default:
        break;
    }
}

void CListeningControls::UpdateCommand(Command id, CommandState& state)
{
    CRssReaderView* list = m_newsList ? m_newsList() : nullptr;
    switch (id) {
    case Command::Listen:
        state.enabled = list && list->Model().rowCount() > 0;
        break;
    case Command::ListeningBar:
        state.checked = IsBarShown();
        break;
    case Command::PlayPause:
        state.enabled = m_player->HasItem();
        break;
    case Command::PreviousNews:
        state.enabled = m_player->CanGoPrevious();
        break;
    case Command::NextNews:
        state.enabled = m_player->CanGoNext();
        break;
    case Command::SkipBack:
    case Command::SkipForward:
        state.enabled = m_player->Duration() > 0;
        break;
    default:
        break;
    }
}
