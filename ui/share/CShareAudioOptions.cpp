#include "CShareAudioOptions.h"

#include "QrCodeImage.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kOnlyThisComputer = u"127.0.0.1"_s;
constexpr int kQrModulePixels = 4;

} // namespace

CShareAudioOptions::CShareAudioOptions(QSettings& store, QStringList groups,
                                       std::function<void()> applied,
                                       std::function<QString()> status, QWidget* parent)
    : COptionsPage(parent), m_store(store), m_groupNames(std::move(groups)),
      m_applied(std::move(applied)), m_status(std::move(status)),
      m_enabled(new QCheckBox(u"&Share the prepared audio as a podcast on this network"_s)),
      m_address(new QComboBox), m_port(new QSpinBox), m_groups(new QListWidget),
      m_feed(new QComboBox), m_url(new QLineEdit), m_copy(new QPushButton(u"&Copy"_s)),
      m_newAddress(new QPushButton(u"&New address"_s)), m_qr(new QLabel),
      m_statusLine(new QLabel), m_publishFolder(new QLineEdit), m_publishUrl(new QLineEdit)
{
    setObjectName(u"shareOptions"_s);
    m_enabled->setObjectName(u"shareEnabled"_s);
    m_port->setRange(1024, 65535);
    m_port->setAccessibleName(u"Port"_s);
    m_groups->setAccessibleName(u"Groups with a feed of their own"_s);
    m_groups->setMaximumHeight(90);
    m_url->setReadOnly(true);
    m_url->setObjectName(u"shareUrl"_s);
    m_url->setAccessibleName(u"Feed address"_s);
    m_qr->setObjectName(u"shareQr"_s);
    m_qr->setAccessibleName(u"QR code of the feed address"_s);
    m_qr->setAlignment(Qt::AlignCenter);
    m_statusLine->setObjectName(u"shareStatus"_s);
    m_statusLine->setWordWrap(true);
    m_newAddress->setToolTip(u"Make a new secret address; phones subscribed with the old one "
                             "stop receiving the audio"_s);

    auto* form = new QFormLayout;
    form->addRow(m_enabled);
    auto* where = new QHBoxLayout;
    where->addWidget(m_address, 1);
    where->addWidget(new QLabel(u"&Port"_s));
    where->addWidget(m_port);
    if (auto* portLabel = qobject_cast<QLabel*>(where->itemAt(1)->widget()))
        portLabel->setBuddy(m_port);
    form->addRow(u"&Address"_s, where);
    form->addRow(u"&Groups"_s, m_groups);
    form->addRow(u"&Feed"_s, m_feed);
    auto* url = new QHBoxLayout;
    url->addWidget(m_url, 1);
    url->addWidget(m_copy);
    url->addWidget(m_newAddress);
    form->addRow(u"Subscribe &to"_s, url);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(where)))
        label->setBuddy(m_address);
    if (auto* label = qobject_cast<QLabel*>(form->labelForField(url)))
        label->setBuddy(m_url);

    auto* page = new QVBoxLayout(this);
    page->addLayout(form);
    auto* hint = new QLabel(u"In your phone's podcast app, add a podcast by its address, or "
                            "scan this code with the phone's camera. The phone must be on the "
                            "same network while the audio is fetched."_s);
    hint->setWordWrap(true);
    page->addWidget(hint);
    page->addWidget(m_qr, 1);
    page->addWidget(m_statusLine);

    // For a web server or a synchronised folder of the person's own.
    m_publishFolder->setObjectName(u"publishFolder"_s);
    m_publishUrl->setObjectName(u"publishUrl"_s);
    m_publishUrl->setPlaceholderText(u"https://example.org/podcast/"_s);
    auto* browse = new QPushButton(u"&Browse..."_s);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_publishFolder, 1);
    folderRow->addWidget(browse);
    auto* publish = new QFormLayout;
    publish->addRow(u"Publish to a f&older"_s, folderRow);
    publish->addRow(u"Its &web address"_s, m_publishUrl);
    if (auto* label = qobject_cast<QLabel*>(publish->labelForField(folderRow)))
        label->setBuddy(m_publishFolder);
    page->addLayout(publish);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString folder = QFileDialog::getExistingDirectory(this, u"Publish to a folder"_s,
                                                                 m_publishFolder->text());
        if (!folder.isEmpty())
            m_publishFolder->setText(folder);
    });
    for (QLineEdit* edit : {m_publishFolder, m_publishUrl})
        connect(edit, &QLineEdit::textEdited, this, [this] { MarkChanged(); });
    connect(m_publishFolder, &QLineEdit::textChanged, this, [this] { MarkChanged(); });

    connect(m_enabled, &QCheckBox::toggled, this, [this] {
        UpdateEnables();
        MarkChanged();
    });
    connect(m_address, &QComboBox::currentIndexChanged, this, [this] {
        ShowAddress();
        MarkChanged();
    });
    connect(m_port, &QSpinBox::valueChanged, this, [this] {
        ShowAddress();
        MarkChanged();
    });
    connect(m_groups, &QListWidget::itemChanged, this, [this] {
        ShowAddress();
        MarkChanged();
    });
    connect(m_feed, &QComboBox::currentIndexChanged, this, &CShareAudioOptions::ShowAddress);
    connect(m_copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(m_url->text()); });
    connect(m_newAddress, &QPushButton::clicked, this, [this] {
        const auto answer = QMessageBox::question(
            this, u"New address"_s,
            u"Phones subscribed with the current address will no longer receive the audio; "
            "they must subscribe again with the new one. Make a new address?"_s);
        if (answer != QMessageBox::Yes)
            return;
        m_secret = ShareSettings::NewSecret();
        ShowAddress();
        MarkChanged();
    });
}

QStringList CShareAudioOptions::LocalAddresses()
{
    QStringList addresses;
    for (const QNetworkInterface& face : QNetworkInterface::allInterfaces()) {
        const auto flags = face.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : face.addressEntries()) {
            const QHostAddress ip = entry.ip();
            // Phones on the home network reach IPv4 addresses; link-local ones change.
            if (ip.protocol() == QAbstractSocket::IPv4Protocol && !ip.isLinkLocal())
                addresses << ip.toString();
        }
    }
    addresses << kOnlyThisComputer;
    return addresses;
}

QString CShareAudioOptions::ChosenAddress(QSettings& store)
{
    return store.contains(u"Share/Address"_s) ? ShareSettings::Load(store).address
                                              : LocalAddresses().constFirst();
}

void CShareAudioOptions::Initialize()
{
    const ShareSettings settings = ShareSettings::Load(m_store);
    m_secret = settings.secret;
    const QSignalBlocker b1(m_address), b2(m_port), b3(m_groups), b4(m_enabled);
    m_address->clear();
    for (const QString& address : LocalAddresses())
        m_address->addItem(address == kOnlyThisComputer
                               ? u"Only this computer (%1)"_s.arg(address)
                               : address,
                           address);
    const QString chosen = ChosenAddress(m_store);
    int at = m_address->findData(chosen);
    if (at < 0) {
        // An address this computer no longer has: kept, so the person sees what was chosen.
        m_address->addItem(u"%1 (not available now)"_s.arg(chosen), chosen);
        at = m_address->count() - 1;
    }
    m_address->setCurrentIndex(at);
    m_port->setValue(settings.port);
    m_enabled->setChecked(settings.enabled);
    m_publishFolder->setText(settings.publishFolder);
    m_publishUrl->setText(settings.publishUrl);
    m_groups->clear();
    for (const QString& name : m_groupNames) {
        auto* item = new QListWidgetItem(name, m_groups);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(settings.groups.contains(name) ? Qt::Checked : Qt::Unchecked);
    }
    ShowAddress();
    UpdateEnables();
}

ShareSettings CShareAudioOptions::FromControls() const
{
    ShareSettings settings;
    settings.enabled = m_enabled->isChecked();
    settings.address = m_address->currentData().toString();
    settings.port = m_port->value();
    for (int row = 0; row < m_groups->count(); ++row)
        if (m_groups->item(row)->checkState() == Qt::Checked)
            settings.groups << m_groups->item(row)->text();
    settings.secret = m_secret;
    settings.publishFolder = m_publishFolder->text().trimmed();
    settings.publishUrl = m_publishUrl->text().trimmed();
    if (!settings.publishUrl.isEmpty() && !settings.publishUrl.endsWith(u'/'))
        settings.publishUrl += u'/';
    return settings;
}

QString CShareAudioOptions::FeedUrl() const
{
    return FromControls().BaseUrl() + ShareSettings::FeedFile(m_feed->currentData().toInt());
}

void CShareAudioOptions::ShowAddress()
{
    // The feeds offered follow the groups ticked.
    const ShareSettings settings = FromControls();
    const int chosen = m_feed->currentData().toInt();
    {
        const QSignalBlocker block(m_feed);
        m_feed->clear();
        m_feed->addItem(u"All shared audio"_s, 0);
        for (int i = 0; i < settings.groups.size(); ++i)
            m_feed->addItem(u"Group \u201c%1\u201d"_s.arg(settings.groups[i]), i + 1);
        m_feed->setCurrentIndex(std::max(0, m_feed->findData(chosen)));
    }
    const QString url = FeedUrl();
    m_url->setText(url);
    m_url->setCursorPosition(0);
    const QImage code = QrCodeImage(url, kQrModulePixels);
    m_qr->setPixmap(QPixmap::fromImage(code));
    m_qr->setToolTip(url);
    QString status = m_status ? m_status() : QString();
    if (settings.address == kOnlyThisComputer)
        status += (status.isEmpty() ? u""_s : u" "_s) +
                  u"Only programs on this computer can reach this address; choose a network "
                  "address for a phone."_s;
    m_statusLine->setText(status);
}

QString CShareAudioOptions::Problem() const
{
    const ShareSettings settings = FromControls();
    if (settings.publishFolder.isEmpty())
        return {};
    const QUrl url(settings.publishUrl, QUrl::StrictMode);
    if (!url.isValid() || (url.scheme() != u"http"_s && url.scheme() != u"https"_s) ||
        url.host().isEmpty())
        return u"Give the web address the folder is reached at, such as "
               "https://example.org/podcast/, so that the feed can name its episodes."_s;
    return {};
}

void CShareAudioOptions::UpdateEnables()
{
    const bool on = m_enabled->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_address, m_port, m_groups, m_feed, m_url, m_copy, m_newAddress, m_qr})
        control->setEnabled(on);
}

void CShareAudioOptions::ApplyPage()
{
    FromControls().Save(m_store);
    if (m_applied)
        m_applied();
    ShowAddress();
}
