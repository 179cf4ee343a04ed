#pragma once

#include "FeedDiscovery.h"

#include <QDialog>

class CRssChannel;
class IFrameServices;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct RssChannelInfo;

// "New Channel": the address, name and options of a channel, for a fresh channel or, in
// properties mode, for one already subscribed. "Verify" fetches the feed on a worker
// thread to show its page and description and to name the channel after its title.
class CNewChannel : public QDialog
{
    Q_OBJECT

public:
    enum class Mode
    {
        NewChannel,
        Properties
    };

    CNewChannel(CRssChannel& channel, Mode mode, IFrameServices& frame, QWidget* parent = nullptr);
    ~CNewChannel() override;

    // Writes name, address and options into the channel.
    void Apply();
    void Verify();
    bool IsModified() const { return m_modified; }
    bool IsVerifying() const { return m_verifying; }

    // OK: applies, and closes only with both an address and a name.
    void accept() override;

private:
    // The voices to choose from, with "Automatic" first, and the channel's own chosen.
    void FillVoices(const QString& current);
    void UpdateButtons();
    // feeds: those a web page offered instead of being a feed itself; error: why none was
    // found, for the person.
    void OnVerified(int ticket, bool ok, const RssChannelInfo& info,
                    const std::vector<DiscoveredFeed>& feeds, const QString& error);

    CRssChannel& m_channel;
    IFrameServices& m_frame;
    QLineEdit* m_url;
    QLineEdit* m_name;
    QLineEdit* m_webpage;
    QLabel* m_description;
    QCheckBox* m_autoUpdate;
    QCheckBox* m_autoConvert;
    QCheckBox* m_fullArticle;
    QComboBox* m_voice;
    QComboBox* m_remoteImages;
    QLabel* m_feedsLabel;
    QComboBox* m_feeds; // the feeds a web page offers, when it offers several
    QPushButton* m_verify;
    QPushButton* m_go;
    QPushButton* m_ok;
    QPushButton* m_apply;
    bool m_modified = false;
    bool m_nameFromFeed = true;
    bool m_verifying = false;
    // Enter in the address field before there is a name: verify, then subscribe.
    bool m_acceptWhenVerified = false;
    int m_verifyTicket = 0; // answers of an earlier Verify are dropped
};
