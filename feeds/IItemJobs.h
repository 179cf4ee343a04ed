#pragma once

class CRssItem;

// Posts the voice and podcast jobs of news items (page download, conversion, podcast).
class IItemJobs
{
public:
    virtual ~IItemJobs() = default;
    virtual void RequestConversion(CRssItem& item, bool retry, bool urgent, bool preferPodcast) = 0;
    // True when a job was posted.
    virtual bool RequestPodcast(CRssItem& item, bool retry, bool urgent) = 0;
    // Re-posts the job of an item left in a pending state by the last run.
    virtual void ResumePending(CRssItem& item) = 0;
};
