// calvoria-tool load DATA-ROOT [--save] [--touch-one | --touch-all]
#include "ToolCommands.h"
#include "ToolSupport.h"

#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CRssReaderDoc.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <sys/resource.h>

using namespace Qt::Literals::StringLiterals;

namespace {

struct TreeCounts {
    int groups = 0;
    int channels = 0;
    qint64 items = 0;
};

void Count(CRssNode& node, TreeCounts& counts, std::vector<CRssChannel*>& channels)
{
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot()) {
        if (child->IsGroup()) {
            ++counts.groups;
            Count(*child, counts, channels);
        } else if (child->IsChannel()) {
            ++counts.channels;
            counts.items += child->ChildCount();
            channels.push_back(static_cast<CRssChannel*>(child.get()));
        }
    }
}

long PeakMemoryKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long ResidentMemoryKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return 0;
}

int RunLoadCommand(const QStringList& args)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QString root;
    bool save = false, touchOne = false, touchAll = false;
    for (const QString& arg : args) {
        if (arg == u"--save"_s)
            save = true;
        else if (arg == u"--touch-one"_s)
            save = touchOne = true;
        else if (arg == u"--touch-all"_s)
            save = touchAll = true;
        else if (root.isEmpty())
            root = arg;
    }
    if (root.isEmpty()) {
        err << "usage: calvoria-tool load DATA-ROOT [--save] [--touch-one | --touch-all]\n";
        return 2;
    }

    CToolServices services;
    if (!services.UseDataRoot(root, err))
        return 1;
    CFeedContext context(services.App());
    CRssReaderDoc doc(context);

    // As at start: the tree first (the window shows then), the channel files after it.
    QElapsedTimer timer;
    timer.start();
    if (!doc.LoadNews()) {
        err << doc.LoadError() << '\n';
        return 1;
    }
    const qint64 treeMs = timer.elapsed();
    doc.WaitForChannels();
    const qint64 loadMs = timer.elapsed();
    TreeCounts counts;
    std::vector<CRssChannel*> channels;
    Count(doc.RootGroup(), counts, channels);
    out << "groups\t" << counts.groups << "\nchannels\t" << counts.channels << "\nitems\t"
        << counts.items << "\ntree ms\t" << treeMs << "\nload ms\t" << loadMs
        << "\npeak memory KB\t" << PeakMemoryKb() << "\nresident memory KB\t"
        << ResidentMemoryKb() << '\n';
    out.flush();
    for (const QString& problem : doc.LoadProblems())
        err << problem << '\n';
    if (!doc.LoadProblems().isEmpty())
        return 1;
    if (!save)
        return 0;

    for (CRssChannel* channel : channels) {
        const CRssNode::Children items = channel->ChildrenSnapshot();
        if (!items.empty() && (touchAll || (touchOne && channel == channels.front()))) {
            auto* item = static_cast<CRssItem*>(items.front().get());
            item->SetUnread(!item->unread, ChannelCounts::Recount);
        }
    }
    timer.restart();
    const bool saved = doc.SaveNews();
    out << "save ms\t" << timer.elapsed() << "\npeak memory KB\t" << PeakMemoryKb() << '\n';
    for (const QString& error : doc.SaveErrors())
        err << error << '\n';
    return saved ? 0 : 1;
}

const ToolCommandRegistration kLoadCommand{
    {"load",
     "DATA-ROOT [--save] [--touch-one|--touch-all]\n                 load a data folder as the "
     "program does; time it and the save",
     RunLoadCommand}};

} // namespace
