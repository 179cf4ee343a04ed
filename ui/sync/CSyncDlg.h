#pragma once

#include "RemovableDeviceList.h"
#include "SyncListModel.h"
#include "SyncStatus.h"

#include <QDialog>

class CPreferences;
class CThemeColors;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// Chooses the prepared news to take along, the device and the folder on it, and shows
// whether the ticked files fit. Closes with Accepted on Copy, with the device root set.
class CSyncDlg : public QDialog
{
    Q_OBJECT
public:
    CSyncDlg(std::vector<SyncRow> rows, CPreferences& prefs, CThemeColors& theme,
             SystemRoots roots = {}, QWidget* parent = nullptr);

    // After Copy: where the files go, and which.
    QString ResultRoot() const { return m_resultRoot; }
    // The device number of the chosen device's file system when it was chosen.
    quint64 ResultFileSystem() const { return m_resultFileSystem; }
    QString Folder() const;
    std::vector<const SyncRow*> Ticked() const { return m_model->Ticked(); }

    SyncListModel& Model() const { return *m_model; }
    SyncSpace Space() const { return m_space; }
    bool Changed() const { return m_changed; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void RefreshDevices();
    void DeviceOrFolderChanged();
    void TickEdited(int row, bool ticked);
    // Available and existing space on the device chosen now, and the folder's check.
    void MeasureDevice();
    void UpdateStatus();
    void Apply();
    void Copy();
    void FitColumns();
    void ApplyTheme();

    CPreferences& m_prefs;
    CThemeColors& m_theme;
    RemovableDeviceList m_devices;
    SyncListModel* m_model;
    SyncSpace m_space;
    bool m_changed = false;
    bool m_spreadingTick = false;
    QString m_resultRoot;
    quint64 m_resultFileSystem = 0;

    QTableView* m_list = nullptr;
    QComboBox* m_deviceBox = nullptr;
    QLineEdit* m_folder = nullptr;
    QCheckBox* m_clean = nullptr;
    QLabel* m_required = nullptr;
    QLabel* m_available = nullptr;
    QLabel* m_existing = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_copy = nullptr;
    QPushButton* m_apply = nullptr;
};
