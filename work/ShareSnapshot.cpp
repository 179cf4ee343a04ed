#include "ShareSnapshot.h"

#include "CRssGroup.h"
#include "PodcastFeed.h"
#include "ShareSettings.h"

using namespace Qt::Literals::StringLiterals;

namespace {

void AddFiles(const std::vector<PodcastEpisode>& episodes, ShareSnapshot& snapshot)
{
    for (const PodcastEpisode& episode : episodes)
        snapshot.files.insert(episode.fileName, {episode.path, episode.size, episode.mtime});
}

} // namespace

std::shared_ptr<const ShareSnapshot> BuildShareSnapshot(const ShareSource& source)
{
    auto snapshot = std::make_shared<ShareSnapshot>();
    snapshot->secret = source.secret;
    snapshot->iconPng = source.iconPng;
    if (!source.root)
        return snapshot;
    const QString media = source.baseUrl + u"audio/"_s;
    PodcastFeedInfo info;
    info.imageUrl = source.iconPng.isEmpty() ? QString() : source.baseUrl + u"icon.png"_s;

    const std::vector<PodcastEpisode> all =
        CollectEpisodes(*source.root, nullptr, source.savedNews);
    info.title = u"Calvoria"_s;
    info.description = u"The news and podcasts Calvoria prepared as audio."_s;
    info.selfUrl = info.link = source.baseUrl + ShareSettings::FeedFile(0);
    snapshot->feeds.insert(ShareSettings::FeedFile(0), BuildPodcastFeed(info, all, media));
    AddFiles(all, *snapshot);

    for (size_t i = 0; i < source.groups.size(); ++i) {
        const CRssGroup* group = source.groups[i];
        if (!group)
            continue;
        const QString file = ShareSettings::FeedFile(int(i) + 1);
        const std::vector<PodcastEpisode> episodes = CollectEpisodes(*source.root, group);
        info.title = u"Calvoria: "_s + group->Name();
        info.description = u"The news of \u201c%1\u201d that Calvoria prepared as audio."_s.arg(group->Name());
        info.selfUrl = info.link = source.baseUrl + file;
        snapshot->feeds.insert(file, BuildPodcastFeed(info, episodes, media));
        AddFiles(episodes, *snapshot); // the same files as the whole feed's, unless one came meanwhile
    }
    return snapshot;
}
