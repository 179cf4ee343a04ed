#include "CStatusPanes.h"

#include "CRssChannel.h"
#include "CRssReaderDoc.h"
#include "CommandIds.h"
#include "StringTable.h"

#include <QLabel>
#include <QStatusBar>

using namespace Qt::Literals::StringLiterals;

CStatusPanes::CStatusPanes(QStatusBar* bar) : QObject(bar)
{
    m_channel = addPane(bar, CommandNumber(Command::NewsCountIndicator));
    m_channel->setAccessibleName(tr("News of the selected channel"));
    m_download = addPane(bar, CommandNumber(Command::DownloadsIndicator));
    m_download->setAccessibleName(tr("Downloads waiting or running"));
    m_conversion = addPane(bar, CommandNumber(Command::ConversionsIndicator));
    m_conversion->setAccessibleName(tr("Conversions waiting or running"));
}

QLabel* CStatusPanes::addPane(QStatusBar* bar, int sizingString)
{
    auto* pane = new QLabel(bar);
    pane->setObjectName(u"statusPane%1"_s.arg(sizingString));
    pane->setAlignment(Qt::AlignCenter);
    pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(LoadString(sizingString)) + 8);
    bar->addPermanentWidget(pane);
    return pane;
}

void CStatusPanes::setQueueCounters(std::function<int()> downloads,
                                    std::function<int()> conversions)
{
    m_downloads = std::move(downloads);
    m_conversions = std::move(conversions);
}

QString CStatusPanes::channelText() const
{
    const CRssChannel* channel = m_document ? m_document->SelectedChannel() : nullptr;
    if (!channel)
        return {};
    QString text = LoadString(CommandNumber(Command::NewsCountText));
    const qsizetype first = text.indexOf(u"%d"_s);
    if (first < 0)
        return text;
    text.replace(first, 2, QString::number(channel->TotalCount()));
    const qsizetype second = text.indexOf(u"%d"_s, first);
    if (second >= 0)
        text.replace(second, 2, QString::number(channel->UnreadCount()));
    return text;
}

QString CStatusPanes::downloadText() const
{
    return m_downloads ? QString::number(m_downloads()) : QString();
}

QString CStatusPanes::conversionText() const
{
    return m_conversions ? QString::number(m_conversions()) : QString();
}

void CStatusPanes::refresh()
{
    m_channel->setText(channelText());
    m_download->setText(downloadText());
    m_conversion->setText(conversionText());
}

bool CStatusPanes::queuesBusy() const
{
    return (m_downloads && m_downloads() > 0) || (m_conversions && m_conversions() > 0);
}
