#include "CNewChannel.h"

#include "CAppServices.h"
#include "CHttpSession.h"

#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CSpeechSynth.h"
#include "IFrameServices.h"
#include "StringTable.h"
#include "TextHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QThreadPool>
#include <QVBoxLayout>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int kWorking = 138;
constexpr int kVerificationFailed = 139;

QLabel* BuddyLabel(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

} // namespace

CNewChannel::CNewChannel(CRssChannel& channel, Mode mode, IFrameServices& frame, QWidget* parent)
    : QDialog(parent), m_channel(channel), m_frame(frame), m_url(new QLineEdit),
      m_name(new QLineEdit), m_webpage(new QLineEdit), m_description(new QLabel),
      m_autoUpdate(new QCheckBox(u"Automaticaly update channel"_s)),
      m_autoConvert(new QCheckBox(u"Convert received news to voice"_s)),
      m_fullArticle(new QCheckBox(u"Show the full a&rticle"_s)), m_voice(new QComboBox),
      m_remoteImages(new QComboBox), m_feedsLabel(nullptr), m_feeds(new QComboBox),
      m_verify(new QPushButton(u"Verify"_s)), m_go(new QPushButton(u"Go"_s))
{
    setObjectName(u"newChannelDialog"_s);
    setWindowTitle(mode == Mode::NewChannel ? u"New Channel"_s : u"Channel Properties"_s);
    m_url->setObjectName(u"urlEdit"_s);
    m_name->setObjectName(u"nameEdit"_s);
    m_webpage->setObjectName(u"webpageEdit"_s);
    m_webpage->setReadOnly(true);
    m_description->setObjectName(u"descriptionText"_s);
    m_description->setWordWrap(true);
    m_description->setTextFormat(Qt::PlainText);
    m_description->setMinimumHeight(m_description->fontMetrics().height() * 3);
    m_description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_autoUpdate->setObjectName(u"autoUpdateBox"_s);
    m_autoConvert->setObjectName(u"autoConvertBox"_s);
    m_fullArticle->setObjectName(u"fullArticleBox"_s);
    m_fullArticle->setToolTip(u"Show this channel's news as the text of their pages, not the "
                              u"feed's text"_s);
    m_verify->setObjectName(u"verifyButton"_s);
    m_go->setObjectName(u"goButton"_s);
    m_verify->setAutoDefault(false);
    m_go->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(BuddyLabel(u"Channel &URL: "_s, m_url), 0, 0);
    grid->addWidget(m_url, 0, 1);
    grid->addWidget(m_verify, 0, 2);
    // A web page given instead of a feed: the feeds it links to.
    m_feeds->setObjectName(u"feedChoice"_s);
    m_feeds->setAccessibleName(u"Feeds on this page"_s);
    m_feedsLabel = BuddyLabel(u"&Feeds on this page:"_s, m_feeds);
    grid->addWidget(m_feedsLabel, 1, 0);
    grid->addWidget(m_feeds, 1, 1, 1, 2);
    m_feedsLabel->hide();
    m_feeds->hide();
    connect(m_feeds, &QComboBox::activated, this, [this](int index) {
        m_url->setText(m_feeds->itemData(index).toString());
        m_modified = true;
        Verify();
    });
    grid->addWidget(BuddyLabel(u"Channel &Name: "_s, m_name), 2, 0);
    grid->addWidget(m_name, 2, 1, 1, 2);
    grid->addWidget(BuddyLabel(u"Channel &Webpage:"_s, m_webpage), 3, 0);
    grid->addWidget(m_webpage, 3, 1);
    grid->addWidget(m_go, 3, 2);
    grid->addWidget(m_description, 4, 0, 1, 3);
    grid->addWidget(m_autoUpdate, 5, 0, 1, 3);
    grid->addWidget(m_autoConvert, 6, 0, 1, 3);
    grid->addWidget(m_fullArticle, 7, 0, 1, 3);
    grid->addWidget(BuddyLabel(u"&Voice:"_s, m_voice), 8, 0);
    grid->addWidget(m_voice, 8, 1, 1, 2);
    m_remoteImages->setObjectName(u"remoteImagesBox"_s);
    m_remoteImages->addItem(u"As in the options"_s, int(CRssChannel::RemoteImages::FollowOption));
    m_remoteImages->addItem(u"Always load"_s, int(CRssChannel::RemoteImages::Always));
    m_remoteImages->addItem(u"Never load"_s, int(CRssChannel::RemoteImages::Never));
    grid->addWidget(BuddyLabel(u"Remote &images:"_s, m_remoteImages), 9, 0);
    grid->addWidget(m_remoteImages, 9, 1, 1, 2);
    grid->setColumnMinimumWidth(1, 320);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel |
                                         QDialogButtonBox::Apply);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_apply = buttons->button(QDialogButtonBox::Apply);
    m_apply->setText(u"Apply"_s);
    connect(buttons, &QDialogButtonBox::accepted, this, &CNewChannel::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNewChannel::reject);
    connect(m_apply, &QPushButton::clicked, this, &CNewChannel::Apply);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(buttons);

    const RssChannelInfo info = channel.Info();
    m_url->setText(channel.Url());
    m_name->setText(channel.Name());
    m_webpage->setText(info.link);
    m_description->setText(info.description);
    m_autoUpdate->setChecked(channel.AutoUpdate());
    m_autoConvert->setChecked(channel.AutoConvert());
    m_fullArticle->setChecked(channel.FullArticle());
    FillVoices(channel.Voice());
    m_remoteImages->setCurrentIndex(
        std::max(0, m_remoteImages->findData(int(channel.RemoteImagesChoice()))));
    if (mode == Mode::NewChannel && m_url->text().isEmpty()) {
        // An address just copied from the browser is what the person means to subscribe.
        QString url;
        if (const QClipboard* clipboard = QGuiApplication::clipboard();
            clipboard && NormalizeFeedUrl(clipboard->text(), url))
            m_url->setText(url);
    }

    connect(m_url, &QLineEdit::textEdited, this, [this] {
        m_modified = true;
        m_acceptWhenVerified = false;
        UpdateButtons();
    });
    connect(m_name, &QLineEdit::textEdited, this, [this] {
        m_modified = true;
        m_nameFromFeed = false;
        UpdateButtons();
    });
    for (QCheckBox* box : {m_autoUpdate, m_autoConvert, m_fullArticle})
        connect(box, &QCheckBox::toggled, this, [this] {
            m_modified = true;
            UpdateButtons();
        });
    for (QComboBox* box : {m_voice, m_remoteImages})
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            m_modified = true;
            UpdateButtons();
        });
    // A person who types an address and presses Enter means "subscribe": the feed is
    // verified for its name first, and the dialog closes once it is.
    connect(m_url, &QLineEdit::returnPressed, this, [this] {
        if (!m_url->text().isEmpty() && m_name->text().isEmpty()) {
            m_acceptWhenVerified = true;
            Verify();
        }
    });
    connect(m_verify, &QPushButton::clicked, this, &CNewChannel::Verify);
    connect(m_go, &QPushButton::clicked, this,
            [this] { m_frame.OpenInBrowser(m_webpage->text()); });
    UpdateButtons();
}

CNewChannel::~CNewChannel() = default;

void CNewChannel::FillVoices(const QString& current)
{
    m_voice->setObjectName(u"voiceBox"_s);
    // "Automatic": the voice of the options, or one of the article's own language.
    m_voice->addItem(u"Automatic"_s, QString());
    for (const SpeechVoice& voice : CSpeechSynth::Voices())
        m_voice->addItem(u"%1 (%2)"_s.arg(voice.name, voice.language), voice.id);
    int index = m_voice->findData(current);
    if (index < 0) {
        // A voice no longer installed stays chosen until the person picks another.
        m_voice->addItem(u"%1 (not installed)"_s.arg(current), current);
        index = m_voice->count() - 1;
    }
    m_voice->setCurrentIndex(index);
}

void CNewChannel::UpdateButtons()
{
    const bool complete = !m_url->text().isEmpty() && !m_name->text().isEmpty();
    m_go->setEnabled(!m_webpage->text().isEmpty());
    m_verify->setEnabled(!m_url->text().isEmpty());
    m_ok->setEnabled(complete);
    m_apply->setEnabled(m_modified && complete);
}

void CNewChannel::Verify()
{
    const QString url = m_url->text();
    if (url.isEmpty() || !m_channel.Context())
        return;
    m_webpage->clear();
    m_description->setText(LoadString(kWorking));
    m_verifying = true;
    UpdateButtons();
    const int ticket = ++m_verifyTicket;
    CFeedContext* context = m_channel.Context();
    QPointer<CNewChannel> dialog(this);
    // The fetch may take many seconds: the dialog stays usable meanwhile.
    QThreadPool::globalInstance()->start([context, url, dialog, ticket] {
        RssChannelInfo info;
        bool ok = CRssChannel::VerifyChannel(*context, url, info);
        // Not a feed: perhaps a web page that links to its feeds.
        FeedDiscovery found;
        if (!ok) {
            found = DiscoverFeeds(*context->App().Session(), url);
            if (found.ok && !found.isFeed)
                ok = CRssChannel::VerifyChannel(*context, found.feeds.front().url, info);
            else
                found.feeds.clear();
        }
        QMetaObject::invokeMethod(
            qApp,
            [dialog, ticket, ok, info, feeds = found.feeds, error = found.error] {
                if (dialog)
                    dialog->OnVerified(ticket, ok, info, feeds, error);
            },
            Qt::QueuedConnection);
    });
}

void CNewChannel::OnVerified(int ticket, bool ok, const RssChannelInfo& info,
                             const std::vector<DiscoveredFeed>& feeds, const QString& error)
{
    if (ticket != m_verifyTicket)
        return;
    m_verifying = false;
    if (!feeds.empty()) {
        // The page's first feed is taken; the others are offered beside it.
        const QSignalBlocker quiet(m_feeds);
        m_feeds->clear();
        for (const DiscoveredFeed& feed : feeds)
            m_feeds->addItem(feed.title.isEmpty() ? feed.url
                                                  : feed.title + u"  ("_s + feed.url + u')',
                             feed.url);
        m_feeds->setCurrentIndex(0);
        m_feedsLabel->setVisible(feeds.size() > 1);
        m_feeds->setVisible(feeds.size() > 1);
        m_url->setText(feeds.front().url);
        m_modified = true;
    }
    if (ok) {
        m_webpage->setText(info.link);
        m_description->setText(info.description);
        if (m_name->text().isEmpty() || m_nameFromFeed) {
            m_name->setText(info.title);
            m_nameFromFeed = true;
        }
        if (std::exchange(m_acceptWhenVerified, false)) {
            UpdateButtons();
            accept();
            return;
        }
    } else {
        m_acceptWhenVerified = false;
        m_description->setText(error.isEmpty() ? LoadString(kVerificationFailed)
                                               : LoadString(kVerificationFailed) + u'\n' + error);
    }
    UpdateButtons();
}

void CNewChannel::Apply()
{
    m_channel.SetNameAndUrl(m_name->text(), m_url->text());
    m_channel.SetAutoUpdate(m_autoUpdate->isChecked());
    m_channel.SetAutoConvert(m_autoConvert->isChecked());
    m_channel.SetFullArticle(m_fullArticle->isChecked());
    if (m_voice->currentData().toString() != m_channel.Voice())
        m_channel.SetVoice(m_voice->currentData().toString());
    m_channel.SetRemoteImagesChoice(
        CRssChannel::RemoteImages(m_remoteImages->currentData().toInt()));
    m_modified = false;
    UpdateButtons();
}

void CNewChannel::accept()
{
    Apply();
    if (!m_url->text().isEmpty() && !m_name->text().isEmpty())
        QDialog::accept();
}
