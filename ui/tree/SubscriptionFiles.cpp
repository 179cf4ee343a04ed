#include "SubscriptionFiles.h"

#include "CRssChannel.h"
#include "CRssGroup.h"
#include "CRssReaderDoc.h"
#include "OpmlExchange.h"
#include "TreeDialogs.h"
#include "UpdateSchedule.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kFilter = u"OPML files (*.opml *.xml);;All files (*)"_s;

int CountChannels(CRssNode& node)
{
    int count = 0;
    for (const CRefPtr<CRssNode>& child : node.ChildrenSnapshot())
        count += child->IsChannel() ? 1 : child->IsGroup() ? CountChannels(*child) : 0;
    return count;
}

} // namespace

void ImportSubscriptions(CRssReaderDoc& doc, QWidget* parent)
{
    const QString title = u"Import subscriptions"_s;
    const QString file =
        QFileDialog::getOpenFileName(parent, title, QDir::homePath(), kFilter);
    if (file.isEmpty())
        return;
    // Every subscription counts when telling new feeds from known ones.
    doc.WaitForChannels();
    CRssGroup& group = SelectedFeedGroup(doc);
    const OpmlImportResult result = ImportOpml(file, group, doc);
    if (!result.ok) {
        QMessageBox::warning(parent, title, result.error);
        return;
    }
    const bool saved = result.added == 0 || doc.SaveNews();
    QString text = u"%1 new feeds were added to \"%2\"."_s.arg(result.added).arg(group.Name());
    if (result.skipped)
        text += u"\n%1 feeds were already subscribed."_s.arg(result.skipped);
    if (result.rejected)
        text += u"\n%1 entries were not feed addresses and were left out."_s.arg(
            result.rejected);
    if (!saved)
        text += u"\n\nThe subscriptions could not all be saved: "_s +
                doc.SaveErrors().join(u"; "_s);
    QMessageBox box(saved ? QMessageBox::Information : QMessageBox::Warning, title, text,
                    QMessageBox::Ok, parent);
    QStringList details;
    for (const QString& line : result.addedFeeds)
        details << u"Added: "_s + QString(line).replace(u'\t', u"  "_s);
    for (const QString& line : result.skippedFeeds)
        details << u"Left out: "_s + QString(line).replace(u'\t', u"  "_s);
    box.setDetailedText(details.join(u'\n'));
    box.exec();
    // The new channels are due at once: they come in with the next check.
    if (result.added)
        doc.PeriodicUpdate();
}

void ExportSubscriptions(CRssReaderDoc& doc, QWidget* parent)
{
    const QString title = u"Export subscriptions"_s;
    CRssGroup& group = SelectedFeedGroup(doc);
    const QString suggested = QDir::home().filePath(
        &group == &doc.RootGroup() ? u"subscriptions.opml"_s : group.Name() + u".opml"_s);
    const QString file = QFileDialog::getSaveFileName(parent, title, suggested, kFilter);
    if (file.isEmpty())
        return;
    doc.WaitForChannels();
    QString error;
    if (!ExportOpml(group, file, &error)) {
        QMessageBox::warning(parent, title, error);
        return;
    }
    QMessageBox::information(parent, title,
                             u"%1 subscriptions were saved to \"%2\"."_s.arg(CountChannels(group))
                                 .arg(QDir::toNativeSeparators(file)));
}

QString ExampleFeedsFile(const QString& stylesFolder)
{
    // Lets a test point the examples at feeds it serves itself.
    const QString other = qEnvironmentVariable("CALVORIA_EXAMPLE_FEEDS");
    return other.isEmpty() ? QDir(stylesFolder).filePath(u"Examples.opml"_s) : other;
}

CRssGroup* AddExampleFeeds(CRssReaderDoc& doc, const QString& file, QWidget* parent)
{
    doc.WaitForChannels();
    CRssGroup& root = doc.RootGroup();
    const OpmlImportResult result = ImportOpml(file, root, doc);
    CRssGroup* examples = nullptr;
    for (const CRefPtr<CRssNode>& child : root.ChildrenSnapshot())
        if (auto* group = NodeCast<CRssGroup>(child.get()); group && group->Name() == u"Examples"_s)
            examples = group;
    if (!result.ok || !examples) {
        QMessageBox::warning(parent, u"Add example feeds"_s,
                             result.ok ? u"The example feeds could not be read."_s : result.error);
        return nullptr;
    }
    if (result.added && !doc.SaveNews())
        QMessageBox::warning(parent, u"Add example feeds"_s,
                             u"The example feeds could not all be saved: "_s +
                                 doc.SaveErrors().join(u"; "_s));
    doc.Select(examples, true);
    UpdateGroup(*examples, false);
    return examples;
}
