#pragma once

#include "CSpeechSynth.h"
#include "IItemJobs.h"

#include <mutex>
#include <unordered_set>

class CAppServices;
class CRefCounted;
class CVoiceConverter;
class IJobQueue;

// The voice and podcast work of news items: moves an item into a due state with an atomic
// compare-and-exchange (so at most one job per item is ever due) and posts the job that
// state calls for. Page downloads go to list 1 of the download queue, podcasts to list 2,
// conversions to list 1 of the conversion queue.
class CItemJobs : public IItemJobs
{
public:
    // converter may be null (no conversion possible: such items fail).
    CItemJobs(CAppServices& app, IJobQueue& downloadQueue, IJobQueue& conversionQueue,
              CVoiceConverter* converter);

    void RequestConversion(CRssItem& item, ConversionRequest request) override;
    bool RequestPodcast(CRssItem& item, PodcastRequest request) override;
    void ResumePending(CRssItem& item) override;

    // The voice and rate the conversions use; set on the window thread, read by the
    // conversion worker.
    void SetSpeechSettings(const SpeechSettings& settings);
    SpeechSettings Speech() const;

    // The jobs (their argument is the item).
    static void DownloadPageJob(CRefCounted* argument);
    static void ConvertJob(CRefCounted* argument);
    static void PodcastJob(CRefCounted* argument);

    static constexpr int kPageList = 1;
    static constexpr int kConversionList = 1;
    static constexpr int kPodcastList = 2;

private:
    void PostPage(CRssItem& item, bool urgent);
    void PostConversion(CRssItem& item);
    // Whether the item's page was asked for urgently; forgets it.
    bool TakeUrgent(const CRssItem& item);
    void PostPodcast(CRssItem& item, bool urgent);

    CAppServices& m_app;
    IJobQueue& m_downloadQueue;
    IJobQueue& m_conversionQueue;
    CVoiceConverter* m_converter;
    std::mutex m_urgentLock;
    std::unordered_set<const CRssItem*> m_urgentItems;
    mutable std::mutex m_speechLock;
    SpeechSettings m_speech;
};
