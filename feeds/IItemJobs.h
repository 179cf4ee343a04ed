#pragma once

class CRssItem;

// How a podcast download is asked for. retry: also an item whose MP3 is made or has gone
// (never one whose podcast failed). urgent: the job goes to the head of its list.
struct PodcastRequest
{
    bool retry = false;
    bool urgent = false;
};

// How an MP3 is asked for by either path. retry: also an item whose last attempt failed or
// whose MP3 is made or has gone. preferPodcast: an MP3 enclosure is downloaded rather than
// the page spoken.
struct ConversionRequest
{
    bool retry = false;
    bool urgent = false;
    bool preferPodcast = false;
};

// Posts the voice and podcast jobs of news items (page download, conversion, podcast).
class IItemJobs
{
public:
    virtual ~IItemJobs() = default;
    virtual void RequestConversion(CRssItem& item, ConversionRequest request) = 0;
    // True when a job was posted.
    virtual bool RequestPodcast(CRssItem& item, PodcastRequest request) = 0;
    // Re-posts the job of an item left in a pending state by the last run.
    virtual void ResumePending(CRssItem& item) = 0;
};
