#include "CSyncDlg.h"

#include "CPreferences.h"
#include "CThemeColors.h"
#include "CDeviceFolder.h"
#include "TextHelpers.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kDeviceNameKey = u"Options/DefaultDeviceName"_s;
const QString kDeviceFolderKey = u"Options/DefaultDeviceFolder"_s;

QLabel* LabelFor(const QString& text, QWidget* buddy)
{
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

// A value label that reads with its caption.
QLabel* ValueLabel(const char* name, const QString& caption)
{
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setAccessibleName(caption);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

void SetRed(QLabel* label, bool red)
{
    label->setStyleSheet(red ? u"color: rgb(255, 0, 0);"_s : QString());
}

} // namespace

CSyncDlg::CSyncDlg(std::vector<SyncRow> rows, CPreferences& prefs, CThemeColors& theme,
                   SystemRoots roots, QWidget* parent)
    : QDialog(parent), m_prefs(prefs), m_theme(theme), m_devices(std::move(roots)),
      m_model(new SyncListModel(std::move(rows), this))
{
    setWindowTitle(u"Please select news that you want to copy to your removable device"_s);
    BuildControls();
    ApplyTheme();
    connect(&m_theme, &CThemeColors::changed, this, &CSyncDlg::ApplyTheme);

    m_clean->setChecked(m_prefs.cleanDeviceFolder);
    m_folder->setText(m_prefs.Store().value(kDeviceFolderKey).toString());
    RefreshDevices();
    m_changed = false;
    UpdateStatus();
}

void CSyncDlg::BuildControls()
{
    m_list = new QTableView;
    m_list->setObjectName(u"newsList"_s);
    m_list->setAccessibleName(u"News to copy"_s);
    m_list->setModel(m_model);
    m_list->setShowGrid(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setWordWrap(false);
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 6);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->viewport()->installEventFilter(this);
    QPalette white = m_list->palette();
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Text, Qt::black);
    m_list->setPalette(white);
    for (int row = 0; row < m_model->rowCount(); ++row)
        if (m_model->IsHeading(row))
            m_list->setSpan(row, 0, 1, 3);
    connect(m_model, &SyncListModel::tickEdited, this, &CSyncDlg::TickEdited);

    m_deviceBox = new QComboBox;
    m_deviceBox->setObjectName(u"deviceBox"_s);
    m_deviceBox->setAccessibleName(u"Device"_s);
    m_deviceBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_deviceBox->setMinimumContentsLength(24);
    auto* refresh = new QPushButton(u"&Refresh"_s);
    refresh->setObjectName(u"refreshButton"_s);
    m_folder = new QLineEdit;
    m_folder->setObjectName(u"folderEdit"_s);
    m_folder->setAccessibleName(u"Folder"_s);
    m_clean = new QCheckBox(u"C&lean destination folder before Copy"_s);
    m_clean->setObjectName(u"cleanBox"_s);
    m_required = ValueLabel("requiredSpace", u"Required space"_s);
    m_available = ValueLabel("availableSpace", u"Available space"_s);
    m_existing = ValueLabel("existingFiles", u"Existing files"_s);
    m_status = new QLabel;
    m_status->setObjectName(u"status"_s);
    m_status->setWordWrap(true);
    m_status->setAccessibleName(u"Status"_s);

    auto* buttons = new QDialogButtonBox;
    m_copy = buttons->addButton(u"&Copy"_s, QDialogButtonBox::AcceptRole);
    m_copy->setObjectName(u"copyButton"_s);
    m_copy->setDefault(true);
    buttons->addButton(QDialogButtonBox::Cancel);
    m_apply = buttons->addButton(QDialogButtonBox::Apply);
    m_apply->setObjectName(u"applyButton"_s);
    connect(m_copy, &QPushButton::clicked, this, &CSyncDlg::Copy);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_apply, &QPushButton::clicked, this, &CSyncDlg::Apply);

    auto* where = new QGridLayout;
    where->addWidget(LabelFor(u"&Device:"_s, m_deviceBox), 0, 0);
    where->addWidget(m_deviceBox, 0, 1);
    where->addWidget(refresh, 0, 2);
    where->addWidget(LabelFor(u"&Folder:"_s, m_folder), 1, 0);
    where->addWidget(m_folder, 1, 1, 1, 2);
    where->addWidget(m_clean, 2, 1, 1, 2);
    where->setColumnStretch(1, 1);

    auto* sizes = new QGridLayout;
    const QList<QPair<QString, QLabel*>> values = {{u"Required space :"_s, m_required},
                                                   {u"Available space :"_s, m_available},
                                                   {u"Existing files :"_s, m_existing}};
    for (int i = 0; i < values.size(); ++i) {
        sizes->addWidget(new QLabel(values[i].first), i, 0);
        sizes->addWidget(values[i].second, i, 1);
    }
    sizes->setColumnStretch(2, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_list, 1);
    layout->addLayout(where);
    layout->addLayout(sizes);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    connect(m_deviceBox, &QComboBox::currentIndexChanged, this, &CSyncDlg::DeviceOrFolderChanged);
    connect(m_folder, &QLineEdit::textEdited, this, &CSyncDlg::DeviceOrFolderChanged);
    connect(m_clean, &QCheckBox::toggled, this, &CSyncDlg::DeviceOrFolderChanged);
    connect(refresh, &QPushButton::clicked, this, [this] {
        RefreshDevices();
        m_changed = true;
        UpdateStatus();
    });
    resize(640, 480);
    m_list->setFocus();
    if (m_model->rowCount() > 1)
        m_list->setCurrentIndex(m_model->index(m_model->IsHeading(0) ? 1 : 0, 0));
}

QString CSyncDlg::Folder() const
{
    return m_folder->text();
}

void CSyncDlg::RefreshDevices()
{
    const int selected = m_deviceBox->currentIndex();
    const QString key = selected >= 0 ? m_devices.At(selected).key
                                      : m_prefs.Store().value(kDeviceNameKey).toString();
    const QSignalBlocker quiet(m_deviceBox);
    m_deviceBox->clear();
    m_devices.Refresh();
    int select = -1;
    for (int i = 0; i < m_devices.Count(); ++i) {
        const RemovableDevice& device = m_devices.At(i);
        m_deviceBox->addItem(device.name + u"  ("_s + device.root + u')');
        if (select < 0 && device.key == key)
            select = i;
    }
    m_deviceBox->setCurrentIndex(select);
    MeasureDevice();
}

void CSyncDlg::MeasureDevice()
{
    const int selected = m_deviceBox->currentIndex();
    m_space.devices = m_devices.Count();
    m_space.deviceSelected = selected >= 0;
    m_space.available = 0;
    m_space.existing = 0;
    m_space.folderError.clear();
    if (selected < 0)
        return;
    const RemovableDevice& device = m_devices.At(selected);
    m_space.available = RemovableDeviceList::GetFreeSpace(device.root);
    CDeviceFolder folder;
    if (folder.Open(device.root, m_folder->text(), device.fileSystem,
                    CDeviceFolder::Missing::Leave, &m_space.folderError))
        m_space.existing = folder.Mp3Bytes();
}

void CSyncDlg::DeviceOrFolderChanged()
{
    m_changed = true;
    MeasureDevice();
    UpdateStatus();
}

void CSyncDlg::TickEdited(int row, bool ticked)
{
    // Ticking one of several selected rows ticks them all.
    if (!m_spreadingTick && m_list->selectionModel()->isRowSelected(row, {})) {
        m_spreadingTick = true;
        for (const QModelIndex& other : m_list->selectionModel()->selectedRows())
            m_model->SetTicked(other.row(), ticked);
        m_spreadingTick = false;
    }
    UpdateStatus();
}

void CSyncDlg::UpdateStatus()
{
    m_space.entries = m_model->EntryCount();
    m_space.required = m_model->RequiredBytes();
    m_space.clean = m_clean->isChecked();
    const QString status = SyncStatusText(m_space);
    m_status->setText(status);
    m_copy->setEnabled(status.isEmpty());
    m_apply->setEnabled(m_changed);

    m_required->setText(FormatSize(m_space.required));
    m_available->setText(FormatSize(m_space.available));
    m_existing->setText(m_space.clean ? FormatSize(m_space.existing) : QString());
    SetRed(m_required, !SyncFits(m_space));
    SetRed(m_available, m_space.available == 0);
}

void CSyncDlg::Apply()
{
    QSettings& store = m_prefs.Store();
    store.setValue(kDeviceFolderKey, m_folder->text());
    const int selected = m_deviceBox->currentIndex();
    if (selected >= 0)
        store.setValue(kDeviceNameKey, m_devices.At(selected).key);
    store.sync();
    m_changed = false;
    UpdateStatus();
}

void CSyncDlg::Copy()
{
    if (m_changed)
        Apply();
    const int selected = m_deviceBox->currentIndex();
    if (selected < 0 || !m_copy->isEnabled())
        return;
    const RemovableDevice& device = m_devices.At(selected);
    if (CDeviceFolder::FileSystemOf(device.root) != device.fileSystem) {
        // Unplugged while the dialog was open: the list shows what is there now.
        RefreshDevices();
        UpdateStatus();
        return;
    }
    m_resultRoot = device.root;
    m_resultFileSystem = device.fileSystem;
    if (m_prefs.cleanDeviceFolder != m_clean->isChecked()) {
        m_prefs.cleanDeviceFolder = m_clean->isChecked();
        m_prefs.SaveAll();
    }
    accept();
}

bool CSyncDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize)
        FitColumns();
    return QDialog::eventFilter(watched, event);
}

void CSyncDlg::FitColumns()
{
    const int w = m_list->viewport()->width();
    m_list->setColumnWidth(0, std::max(40, w - w / 4 - w / 6 - 20));
    m_list->setColumnWidth(1, w / 4);
    m_list->setColumnWidth(2, w / 6);
}

void CSyncDlg::ApplyTheme()
{
    m_model->SetHeadingColors(m_theme.color(CThemeColors::HeaderTop),
                              m_theme.color(CThemeColors::SelectionText));
}
