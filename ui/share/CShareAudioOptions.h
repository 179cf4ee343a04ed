#pragma once

#include "COptionsPage.h"
#include "ShareSettings.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSettings;
class QSpinBox;

// "Share audio": the prepared audio as a private podcast for the person's phone. On or off,
// the address and port it is served on, the groups with a feed of their own, and the
// address to subscribe to, as text and as a QR code for the phone's camera; "New address"
// replaces the secret in it, which ends every subscription made with the old one.
class CShareAudioOptions : public COptionsPage
{
    Q_OBJECT
public:
    // groups: the names of the top-level groups. applied: the settings were written (the
    // sharing starts, stops or moves). status: one line on how sharing goes now.
    CShareAudioOptions(QSettings& store, QStringList groups, std::function<void()> applied,
                       std::function<QString()> status, QWidget* parent = nullptr);

    // The addresses offered: this computer's network addresses, then only this computer.
    static QStringList LocalAddresses();
    // The stored address, or before one is stored the first address offered: what a phone
    // can reach.
    static QString ChosenAddress(QSettings& store);
    // The address of the feed chosen in the page, as it would be once applied.
    QString FeedUrl() const;
    // A folder to publish to without the address it is reached at, or an address that is no
    // web address, cannot be applied.
    QString Problem() const override;

protected:
    void Initialize() override;
    void ApplyPage() override;

private:
    ShareSettings FromControls() const;
    void ShowAddress();
    void UpdateEnables();

    QSettings& m_store;
    QStringList m_groupNames;
    std::function<void()> m_applied;
    std::function<QString()> m_status;
    QByteArray m_secret;
    QCheckBox* m_enabled;
    QComboBox* m_address;
    QSpinBox* m_port;
    QListWidget* m_groups;
    QComboBox* m_feed;
    QLineEdit* m_url;
    QPushButton* m_copy;
    QPushButton* m_newAddress;
    QLabel* m_qr;
    QLabel* m_statusLine;
    QLineEdit* m_publishFolder;
    QLineEdit* m_publishUrl;
};
