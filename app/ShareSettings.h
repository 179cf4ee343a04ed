#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class QSettings;

// What the person chose on the "Share audio" page, shared by the window and the companion:
// whether the audio is served, on which address and port, which groups get a feed of their
// own, and the secret every address carries.
struct ShareSettings
{
    static constexpr int kDefaultPort = 8765;

    bool enabled = false;
    QString address = QStringLiteral("127.0.0.1");
    int port = kDefaultPort;
    QStringList groups; // names of the top-level groups with a feed of their own
    QByteArray secret;  // 32 lower-case hexadecimal digits (128 random bits)
    // Published to a folder too (whatever enabled says) when both are set: the folder and
    // the address it is reached at, ending with "/".
    QString publishFolder;
    QString publishUrl;

    // A missing or damaged secret is replaced by a new one, which is stored.
    static ShareSettings Load(QSettings& store);
    void Save(QSettings& store) const;
    static QByteArray NewSecret();
    static bool IsSecret(const QByteArray& text);
    bool PublishesToFolder() const { return !publishFolder.isEmpty() && !publishUrl.isEmpty(); }
    // "http://ADDRESS:PORT/SECRET/" (IPv6 addresses in brackets).
    QString BaseUrl() const;
    // The feed of all shared audio ("podcast.xml") for group 0, else that of groups[group - 1]
    // ("group-N.xml"), relative to BaseUrl().
    static QString FeedFile(int group);
};
