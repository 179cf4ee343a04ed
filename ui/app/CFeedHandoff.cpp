#include "CFeedHandoff.h"

#include "CAppLog.h"
#include "CMainFrame.h"
#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssReaderDoc.h"
#include "OpmlExchange.h"
#include "TreeDialogs.h"

#include <QStatusBar>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace {

CRefPtr<CRssChannel> FindSubscribed(CRssNode& node, const QString& key)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (auto* channel = NodeCast<CRssChannel>(child.get())) {
            if (FeedUrlKey(channel->Url()) == key)
                return CRefPtr<CRssChannel>(channel);
        } else if (child->IsGroup()) {
            if (CRefPtr<CRssChannel> found = FindSubscribed(*child, key))
                return found;
        }
    }
    return {};
}

} // namespace

CFeedHandoff::CFeedHandoff(CMainFrame& frame, CRssReaderDoc& document)
    : QObject(&frame), m_frame(frame), m_document(document)
{
}

void CFeedHandoff::Add(const QString& address)
{
    LogMessage(u"Feed handed over: '%1'"_s.arg(address));
    m_frame.ShowFromTray();
    m_pending << address;
    if (!m_running)
        QTimer::singleShot(0, this, &CFeedHandoff::RunPending);
}

void CFeedHandoff::RunPending()
{
    if (m_running)
        return;
    m_running = true;
    // Addresses that arrive while a dialog is open wait for it here.
    while (!m_pending.isEmpty()) {
        const QString address = m_pending.takeFirst();
        const QString key = FeedUrlKey(address);
        if (CRefPtr<CRssChannel> known =
                key.isEmpty() ? CRefPtr<CRssChannel>() : FindSubscribed(m_document.RootGroup(), key)) {
            m_document.Select(known.get(), true);
            m_frame.statusBar()->showMessage(
                u"You already subscribe to %1 as \"%2\""_s.arg(address, known->Name()), 15000);
            continue;
        }
        CRssGroup* group = m_document.SelectedGroup();
        RunNewChannel(&m_frame, m_document, group ? *group : m_document.RootGroup(), m_frame,
                      address);
    }
    m_running = false;
}
