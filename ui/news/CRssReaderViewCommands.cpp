// The news list's commands: what each does to the selected item, and when it is enabled.

#include "CRssReaderView.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CPreferences.h"
#include "CRssReaderDoc.h"
#include "CommandTable.h"
#include "IFrameServices.h"
#include "NewsColumns.h"
#include "NewsListModel.h"

#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace {

int ArrangeKind(Command id)
{
    switch (id) {
    case Command::ArrangeByRead:
        return NewsColumnRead;
    case Command::ArrangeByState:
        return NewsColumnState;
    case Command::ArrangeByTitle:
        return NewsColumnTitle;
    case Command::ArrangeByDate:
        return NewsColumnDate;
    case Command::ArrangeByAuthor:
        return NewsColumnAuthor;
    case Command::ArrangeByCategory:
        return NewsColumnCategory;
    default:
        return -1;
    }
}

int ColumnKind(Command id)
{
    switch (id) {
    case Command::ColumnRead:
        return NewsColumnRead;
    case Command::ColumnState:
        return NewsColumnState;
    case Command::ColumnDate:
        return NewsColumnDate;
    case Command::ColumnAuthor:
        return NewsColumnAuthor;
    case Command::ColumnCategory:
        return NewsColumnCategory;
    case Command::ColumnSource:
        return NewsColumnSource;
    default:
        return -1;
    }
}

bool HasVoice(const CRssItem& item)
{
    return item.Context() && item.Context()->App().hasVoice;
}

} // namespace

bool CRssReaderView::HandlesCommand(Command id) const
{
    switch (id) {
    case Command::MarkReadUnread:
    case Command::DeleteNews:
    case Command::ConvertToVoice:
    case Command::PreviousUnread:
    case Command::NextUnread:
    case Command::OpenInBrowser:
    case Command::MoveToSaved:
    case Command::SaveVoiceAs:
    case Command::PlayNews:
    case Command::DownloadPodcast:
    case Command::ShowOnlyUnread:
        return true;
    default:
        return ArrangeKind(id) >= 0 || ColumnKind(id) >= 0;
    }
}

void CRssReaderView::UpdateCommand(Command id, CommandState& state)
{
    CRssItem* item = SelectedItem();
    const int sortValue = m_prefs.sortOrder;
    if (const int kind = ArrangeKind(id); kind >= 0) {
        state.enabled = true;
        state.checked = SortKindOf(sortValue) == kind;
        return;
    }
    if (const int kind = ColumnKind(id); kind >= 0) {
        state.enabled = kind != NewsColumnSource;
        state.checked = m_layout.IsShown(kind);
        return;
    }
    switch (id) {
    case Command::MarkReadUnread:
    case Command::OpenInBrowser:
        state.enabled = true;
        break;
    case Command::ShowOnlyUnread:
        state.enabled = true;
        state.checked = m_model->OnlyUnread();
        break;
    case Command::DeleteNews:
        state.enabled = item && hasFocus();
        break;
    case Command::NextUnread:
        state.enabled = UnreadRowFrom(CurrentRow(), +1) >= 0;
        break;
    case Command::PreviousUnread:
        state.enabled = UnreadRowFrom(CurrentRow(), -1) >= 0;
        break;
    case Command::MoveToSaved:
        state.enabled = item && item->Channel().get() != &m_doc.SavedNews();
        break;
    case Command::ConvertToVoice:
        state.enabled = item && HasVoice(*item);
        break;
    case Command::DownloadPodcast:
        state.enabled = item && NewsColumns::HasAudio(*item);
        break;
    case Command::SaveVoiceAs:
    case Command::PlayNews:
        state.enabled = item && NewsColumns::State(*item) == RssItemState::Ready;
        break;
    default:
        break;
    }
}

void CRssReaderView::RunCommand(Command id)
{
    if (const int kind = ArrangeKind(id); kind >= 0) {
        SortByKind(kind);
        return;
    }
    if (const int kind = ColumnKind(id); kind >= 0) {
        if (kind != NewsColumnSource)
            SetColumnShown(kind, !m_layout.IsShown(kind));
        return;
    }
    CRssItem* item = SelectedItem();
    switch (id) {
    case Command::MarkReadUnread:
        ToggleRead();
        break;
    case Command::DeleteNews:
        DeleteSelected();
        break;
    case Command::NextUnread:
        StepUnread(+1);
        break;
    case Command::PreviousUnread:
        StepUnread(-1);
        break;
    case Command::OpenInBrowser:
        OpenSelected();
        break;
    case Command::MoveToSaved:
        MoveToSaved();
        break;
    case Command::ConvertToVoice:
        if (item && HasVoice(*item))
            item->RequestConversion({.retry = true});
        break;
    case Command::DownloadPodcast:
        if (item)
            item->RequestPodcast({.retry = true});
        break;
    case Command::SaveVoiceAs:
        SaveVoice();
        break;
    case Command::PlayNews:
        PlayVoice();
        break;
    case Command::ShowOnlyUnread:
        SetOnlyUnread(!m_model->OnlyUnread());
        break;
    default:
        break;
    }
}

void CRssReaderView::ToggleRead()
{
    CRssItem* item = SelectedItem();
    if (!item)
        return;
    item->SetUnread(!NewsColumns::IsUnread(*item), ChannelCounts::Recount);
    m_model->ItemChanged(item);
}

void CRssReaderView::RemoveRowAndSelectNext(int row)
{
    m_model->RemoveRow(row);
    SelectRow(std::min(row, m_model->rowCount() - 1));
}

void CRssReaderView::DeleteSelected()
{
    const int row = CurrentRow();
    CRefPtr<CRssItem> item(m_model->ItemAt(row));
    if (!item)
        return;
    item->Delete(true);
    RemoveRowAndSelectNext(row);
}

void CRssReaderView::MoveToSaved()
{
    const int row = CurrentRow();
    CRefPtr<CRssItem> item(m_model->ItemAt(row));
    CRefPtr<CRssChannel> channel = item ? item->Channel() : CRefPtr<CRssChannel>();
    CRssChannel& saved = m_doc.SavedNews();
    if (!item || channel.get() == &saved)
        return;
    // A copy takes the item's place in its channel and is deleted there, so the channel
    // keeps a deleted marker that stops the next download bringing the news back.
    CRefPtr<CRssItem> copy = item->Copy();
    copy->SetIdentity(item->Identity());
    if (channel) {
        std::lock_guard lock(channel->ChildrenLock());
        const CRssNode::Children& children = channel->LockedChildren();
        const auto at =
            std::find_if(children.begin(), children.end(),
                         [&](const CRefPtr<CRssNode>& n) { return n.get() == item.get(); });
        channel->AddChild(copy.get(), int(at - children.begin()));
        channel->RemoveChild(item.get());
    }
    m_model->ReplaceItem(row, copy.get(), channel.get());
    item->SetUnread(true, ChannelCounts::Leave);
    saved.AddChild(item.get());
    saved.Recount(true);
    QString error;
    if (saved.SaveFile(m_doc.SavedNewsFile(), &error) != kResultOk)
        LogMessage(error);
    if (channel)
        copy->Delete(false);
    RemoveRowAndSelectNext(row);
}

void CRssReaderView::OpenSelected()
{
    if (CRssItem* item = SelectedItem())
        m_frame.OpenInBrowser(NewsColumns::Link(*item));
}

int CRssReaderView::UnreadRowFrom(int row, int step) const
{
    const int rows = m_model->rowCount();
    for (int r = row + step; r >= 0 && r < rows; r += step)
        if (NewsColumns::IsUnread(*m_model->ItemAt(r)))
            return r;
    return -1;
}

void CRssReaderView::StepUnread(int step)
{
    const int row = CurrentRow();
    const int found = UnreadRowFrom(row, step);
    if (found < 0)
        return;
    CRefPtr<CRssItem> before(m_model->ItemAt(row));
    SelectRow(found);
    if (before && NewsColumns::IsUnread(*before)) {
        before->SetUnread(false, ChannelCounts::Recount);
        m_model->ItemChanged(before.get());
    }
}

void CRssReaderView::SaveVoice()
{
    CRssItem* item = SelectedItem();
    if (!item)
        return;
    item->ResumeJobs(true);
    if (NewsColumns::State(*item) != RssItemState::Ready)
        return;
    const QString source = item->Mp3File();
    QString target;
    if (m_chooseSavePath) {
        target = m_chooseSavePath(source);
    } else {
        QFileDialog dialog(this, u"Save voice as"_s, source);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(u"mp3"_s);
        dialog.setNameFilters({u"MP3 files (*.mp3)"_s, u"All files (*.*)"_s});
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            target = dialog.selectedFiles().constFirst();
    }
    if (target.isEmpty() || target == source)
        return;
    if (QFile::exists(target))
        QFile::remove(target);
    if (!QFile::copy(source, target))
        LogFormat("*ERROR: Cannot copy the voice file to '%s'", qUtf8Printable(target));
}

void CRssReaderView::PlayVoice()
{
    CRssItem* item = SelectedItem();
    if (!item)
        return;
    item->ResumeJobs(true);
    if (NewsColumns::State(*item) == RssItemState::Ready)
        QDesktopServices::openUrl(QUrl::fromLocalFile(item->Mp3File()));
}

QMenu* CRssReaderView::CreateItemMenu(QWidget* parent)
{
    auto* menu = new QMenu(parent);
    menu->setAccessibleName(u"News item"_s);
    const Command lines[] = {Command::OpenInBrowser,  Command::MarkReadUnread,  Command::None,
                             Command::MoveToSaved,    Command::DeleteNews,      Command::None,
                             Command::ConvertToVoice, Command::DownloadPodcast, Command::PlayNews,
                             Command::SaveVoiceAs};
    for (Command id : lines) {
        if (id == Command::None) {
            menu->addSeparator();
            continue;
        }
        const CommandEntry* entry = FindCommand(id);
        const QString text =
            entry ? QString::fromUtf16(entry->text.data(), qsizetype(entry->text.size()))
                  : QString::number(CommandNumber(id));
        QAction* action = menu->addAction(text.section(u'\t', 0, 0));
        if (text.contains(u'\t'))
            action->setShortcut(QKeySequence(text.section(u'\t', 1)));
        action->setShortcutVisibleInContextMenu(true);
        CommandState state;
        UpdateCommand(id, state);
        action->setEnabled(state.enabled);
        connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
    return menu;
}

void CRssReaderView::contextMenuEvent(QContextMenuEvent* event)
{
    QPoint at = event->pos();
    QModelIndex index = indexAt(at);
    if (event->reason() == QContextMenuEvent::Keyboard) {
        index = currentIndex();
        at = visualRect(index).center();
    }
    if (!index.isValid() || !m_model->ItemAt(index.row()))
        return;
    if (index.row() != CurrentRow())
        SelectRow(index.row());
    QMenu* menu = CreateItemMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(viewport()->mapToGlobal(at));
}

void CRssReaderView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid() && index.row() == CurrentRow())
        OpenSelected();
}
