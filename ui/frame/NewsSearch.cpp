#include "NewsSearch.h"

#include "CFeedContext.h"
#include "CRssReaderDoc.h"
#include "StringTable.h"

namespace {

constexpr int kNoNewsTitle = 167;
constexpr int kNoNewsText = 168;

} // namespace

int RunNewsSearch(CRssReaderDoc& document, const QString& text)
{
    CRssChannel& results = document.SearchResults();
    results.Clear();
    document.RootGroup().Search(text.toLower(), results);
    const int found = results.ChildCount();
    results.Recount(true);
    if (found == 0) {
        CRefPtr<CRssItem> none =
            CRssItem::Create(results.Context(), LoadString(kNoNewsTitle), LoadString(kNoNewsText));
        none->unread = false;
        results.AddChild(none.get());
    }
    results.Notify(RssEvent::ChannelReloaded);
    return found;
}
