#include "CAudioSharing.h"

#include "CAppLog.h"
#include "CAudioServer.h"
#include "FolderPublish.h"
#include "CPreferences.h"
#include "CShareAudioOptions.h"
#include "CRssReaderDoc.h"
#include "ShareSettings.h"
#include "ShareSnapshot.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QThreadPool>

using namespace Qt::Literals::StringLiterals;

namespace {

// The picture podcast apps show for the feed.
QByteArray ProgramIconPng()
{
    QByteArray png;
    QBuffer buffer(&png);
    const QIcon icon = QGuiApplication::windowIcon();
    if (!icon.isNull() && buffer.open(QIODevice::WriteOnly))
        icon.pixmap(512, 512).save(&buffer, "PNG");
    return png;
}

} // namespace

CAudioSharing::CAudioSharing(CRssReaderDoc& document, CPreferences& prefs, QObject* parent)
    : QObject(parent), m_document(document), m_prefs(prefs),
      m_server(std::make_unique<CAudioServer>())
{
    m_rebuild.setSingleShot(true);
    m_rebuild.setInterval(kRebuildDelayMs);
    connect(&m_rebuild, &QTimer::timeout, this, &CAudioSharing::Rebuild);
    m_refresh.setInterval(kRefreshMs);
    connect(&m_refresh, &QTimer::timeout, this, &CAudioSharing::Rebuild);
}

CAudioSharing::~CAudioSharing() = default;

bool CAudioSharing::IsSharing() const
{
    return m_server->Running();
}

ShareSettings CAudioSharing::Settings() const
{
    ShareSettings settings = ShareSettings::Load(m_prefs.Store());
    settings.address = CShareAudioOptions::ChosenAddress(m_prefs.Store());
    return settings;
}

void CAudioSharing::ApplySettings()
{
    const ShareSettings settings = Settings();
    const QString where = u"%1:%2"_s.arg(settings.address).arg(settings.port);
    m_error.clear();
    if (!settings.enabled) {
        m_server->Stop();
        m_listening.clear();
    } else if (!m_server->Running() || where != m_listening) {
        m_listening.clear();
        if (m_server->Start(settings.address, settings.port, &m_error))
            m_listening = where;
    }
    m_rebuild.stop();
    if (m_server->Running() || settings.PublishesToFolder()) {
        // New groups or a new secret take effect at once.
        Rebuild();
        m_refresh.start();
    } else {
        m_refresh.stop();
    }
}

std::shared_ptr<const ShareSnapshot> CAudioSharing::Snapshot(const ShareSettings& settings,
                                                             const QString& baseUrl)
{
    if (m_iconPng.isEmpty())
        m_iconPng = ProgramIconPng();
    ShareSource source;
    source.root = &m_document.RootGroup();
    source.savedNews = &m_document.SavedNews();
    const auto top = m_document.RootGroup().ChildrenSnapshot();
    for (const QString& name : settings.groups) {
        const CRssGroup* found = nullptr;
        for (const CRefPtr<CRssNode>& child : top) {
            const auto* group = NodeCast<CRssGroup>(child.get());
            if (group && group->Name() == name) {
                found = group;
                break;
            }
        }
        source.groups.push_back(found);
    }
    source.baseUrl = baseUrl;
    source.secret = settings.secret;
    source.iconPng = m_iconPng;
    return BuildShareSnapshot(source);
}

void CAudioSharing::Rebuild()
{
    const ShareSettings settings = Settings();
    if (m_server->Running())
        m_server->Publish(Snapshot(settings, settings.BaseUrl()));
    if (settings.PublishesToFolder())
        PublishLater(Snapshot(settings, settings.publishUrl), settings.publishFolder);
}

void CAudioSharing::PublishLater(std::shared_ptr<const ShareSnapshot> snapshot,
                                 const QString& folder)
{
    // Copies of long podcasts take a while: one publish at a time, on a worker, the newest
    // waiting for its turn.
    if (m_publishing) {
        m_nextPublish = std::move(snapshot);
        m_nextFolder = folder;
        return;
    }
    m_publishing = true;
    QPointer<CAudioSharing> self(this);
    QThreadPool::globalInstance()->start([self, snapshot, folder] {
        QString error;
        const bool ok = PublishToFolder(*snapshot, folder, &error);
        if (!ok)
            LogFormat("*ERROR: Cannot publish the audio to '%s': %s", qUtf8Printable(folder),
                      qUtf8Printable(error));
        QMetaObject::invokeMethod(
            qApp,
            [self, error] {
                if (!self)
                    return;
                self->m_publishing = false;
                self->m_publishError = error;
                if (auto next = std::exchange(self->m_nextPublish, {}))
                    self->PublishLater(std::move(next), self->m_nextFolder);
            },
            Qt::QueuedConnection);
    });
}

QString CAudioSharing::StatusText() const
{
    QString text;
    if (!m_error.isEmpty())
        text = u"The audio is not shared: %1"_s.arg(m_error);
    else if (!m_server->Running())
        text = u"The audio is not shared."_s;
    else
        text = u"The audio is shared at %1, port %2."_s.arg(m_listening.section(u':', 0, -2))
                   .arg(m_server->Port());
    if (!m_publishError.isEmpty())
        text += u" Publishing to the folder failed: %1"_s.arg(m_publishError);
    return text;
}

void CAudioSharing::OnUpdate(RssEvent hint, CRefCounted*)
{
    // A news that got its audio, a channel read or refreshed, the tree rearranged.
    const bool feedsMayChange = hint == RssEvent::ItemChanged ||
                                hint == RssEvent::ChannelReloaded ||
                                hint == RssEvent::TreeChanged || hint == RssEvent::NewItem;
    if (feedsMayChange && m_refresh.isActive() && !m_rebuild.isActive())
        m_rebuild.start();
}
