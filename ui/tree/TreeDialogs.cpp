#include "TreeDialogs.h"

#include "CNewChannel.h"
#include "CNewGroup.h"
#include "CRssReaderDoc.h"
#include "UpdateSchedule.h"

namespace {

void SaveIfLoaded(CRssReaderDoc& document)
{
    // A new subscription must not depend on the next timed save to survive a crash.
    if (document.IsLoaded())
        document.SaveNews();
}

} // namespace

CRefPtr<CRssChannel> RunNewChannel(QWidget* parent, CRssReaderDoc& document, CRssGroup& group,
                                   IFrameServices& frame, const QString& address)
{
    CRefPtr<CRssChannel> channel = CRssChannel::Create(group.Context());
    if (!address.isEmpty())
        channel->SetNameAndUrl({}, address);
    CNewChannel dialog(*channel, CNewChannel::Mode::NewChannel, frame, parent);
    if (!address.isEmpty())
        dialog.Verify();
    if (dialog.exec() != QDialog::Accepted)
        return {};
    group.AddChild(channel.get());
    RequestUpdate(*channel, true);
    document.Select(channel.get(), true);
    SaveIfLoaded(document);
    return channel;
}

CRefPtr<CRssGroup> RunNewGroup(QWidget* parent, CRssReaderDoc& document, CRssGroup& group)
{
    CNewGroup dialog(parent);
    if (dialog.exec() != QDialog::Accepted || dialog.Name().isEmpty())
        return {};
    CRefPtr<CRssGroup> created = CRssGroup::Create(group.Context());
    created->Rename(dialog.Name());
    group.AddChild(created.get());
    document.Select(created.get(), true);
    SaveIfLoaded(document);
    return created;
}

bool RunChannelProperties(QWidget* parent, CRssChannel& channel, IFrameServices& frame)
{
    CNewChannel dialog(channel, CNewChannel::Mode::Properties, frame, parent);
    return dialog.exec() == QDialog::Accepted;
}

CRssGroup& SelectedFeedGroup(CRssReaderDoc& document)
{
    CRssGroup* root = &document.RootGroup();
    for (CRefPtr<CRssNode> node(document.SelectedGroup()); node; node = node->Parent())
        if (node.get() == root)
            return *document.SelectedGroup();
    return *root;
}
