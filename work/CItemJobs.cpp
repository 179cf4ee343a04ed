#include "CItemJobs.h"

#include "ArticleCache.h"
#include "CArticleReader.h"
#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CRssChannel.h"
#include "CRssItem.h"
#include "CVoiceConverter.h"
#include "IJobQueue.h"
#include "PodcastDownload.h"
#include "SpokenText.h"

#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace {

using State = RssItemState;

void LogItem(const char* format, const CRssItem& item)
{
    LogFormat(format, qUtf8Printable(item.Link()));
}

// The item a job was posted for, when it still waits in the state the job serves.
CRssItem* DueItem(CRefCounted* argument, State served)
{
    auto* item = NodeCast<CRssItem>(static_cast<CRssNode*>(argument));
    return item && item->State() == served ? item : nullptr;
}

CItemJobs& JobsOf(const CRssItem& item)
{
    return *static_cast<CItemJobs*>(item.Context()->ItemJobs());
}

} // namespace

CItemJobs::CItemJobs(CAppServices& app, IJobQueue& downloadQueue, IJobQueue& conversionQueue,
                     CVoiceConverter* converter)
    : m_app(app), m_downloadQueue(downloadQueue), m_conversionQueue(conversionQueue),
      m_converter(converter)
{
}

void CItemJobs::SetSpeechSettings(const SpeechSettings& settings)
{
    std::lock_guard lock(m_speechLock);
    m_speech = settings;
}

SpeechSettings CItemJobs::Speech() const
{
    std::lock_guard lock(m_speechLock);
    return m_speech;
}

void CItemJobs::PostPage(CRssItem& item, bool urgent)
{
    if (urgent) {
        std::lock_guard lock(m_urgentLock);
        m_urgentItems.insert(&item);
    }
    m_downloadQueue.Post(DownloadPageJob, &item, kPageList, urgent);
}

bool CItemJobs::TakeUrgent(const CRssItem& item)
{
    std::lock_guard lock(m_urgentLock);
    return m_urgentItems.erase(&item) > 0;
}

void CItemJobs::PostConversion(CRssItem& item)
{
    // A page fetched in a hurry is spoken in a hurry too: someone waits to hear it.
    m_conversionQueue.Post(ConvertJob, &item, kConversionList, TakeUrgent(item));
}

void CItemJobs::PostPodcast(CRssItem& item, bool urgent)
{
    m_downloadQueue.Post(PodcastJob, &item, kPodcastList, urgent);
}

void CItemJobs::RequestConversion(CRssItem& item, ConversionRequest request)
{
    if (request.preferPodcast && item.HasMp3Enclosure() &&
        RequestPodcast(item, {.retry = request.retry, .urgent = request.urgent}))
        return;
    bool due = item.TrySetState(State::None, State::DownloadPending);
    if (!due && request.retry)
        for (State from : {State::Failed, State::Ready, State::FileMissing})
            if ((due = item.TrySetState(from, State::DownloadPending)))
                break;
    if (due)
        PostPage(item, request.urgent);
}

bool CItemJobs::RequestPodcast(CRssItem& item, PodcastRequest request)
{
    // A failed podcast is retried only by a conversion request, which takes the page path.
    bool due = item.TrySetState(State::None, State::PodcastPending);
    if (!due && request.retry)
        for (State from : {State::Ready, State::FileMissing})
            if ((due = item.TrySetState(from, State::PodcastPending)))
                break;
    if (due)
        PostPodcast(item, request.urgent);
    return due;
}

void CItemJobs::ResumePending(CRssItem& item)
{
    switch (item.State()) {
    case State::PageCached:
        if (!m_app.hasVoice) {
            item.SetState(State::Failed);
            LogItem("*ITEM: No SAPI: '%s'", item);
        } else if (!QFile::exists(item.HtmlFile())) {
            item.SetState(State::DownloadPending);
            PostPage(item, false);
        } else {
            PostConversion(item);
        }
        break;
    case State::DownloadPending:
        if (m_app.hasVoice) {
            PostPage(item, false);
        } else {
            item.SetState(State::Failed);
            LogItem("*ITEM: Downloading, No SAPI: '%s'", item);
        }
        break;
    case State::PodcastPending:
        PostPodcast(item, false);
        break;
    default:
        break;
    }
}

void CItemJobs::DownloadPageJob(CRefCounted* argument)
{
    CRssItem* item = DueItem(argument, State::DownloadPending);
    if (!item)
        return;
    CItemJobs& jobs = JobsOf(*item);
    // The job's own reference: the transfer may outlive the application's at exit.
    const CRefPtr<CHttpSession> session = jobs.m_app.Session();
    // A page the article view has read is spoken as it was shown, without a second download.
    const QString viewed = ArticlePageFile(*item);
    QFile::remove(item->HtmlFile());
    if ((QFileInfo::exists(viewed) && QFile::copy(viewed, item->HtmlFile())) ||
        (session && WriteArticleCache(*session, item->Link(), item->HtmlFile()))) {
        item->SetState(State::PageCached);
        jobs.PostConversion(*item);
    } else {
        jobs.TakeUrgent(*item);
        item->SetState(State::Failed);
        LogItem("*ITEM: Cannot download item: '%s'", *item);
    }
}

void CItemJobs::ConvertJob(CRefCounted* argument)
{
    CRssItem* item = DueItem(argument, State::PageCached);
    if (!item)
        return;
    CItemJobs& jobs = JobsOf(*item);
    const QString html = item->HtmlFile(), wav = item->WavFile(), mp3 = item->Mp3File();
    if (!jobs.m_converter) {
        QFile::remove(html);
        item->SetState(State::Failed);
        LogItem("*ITEM: No convertor: '%s'", *item);
        return;
    }
    bool done = false;
    try {
        const CRefPtr<CRssChannel> channel = item->Channel();
        SpeechSettings speech = jobs.Speech();
        if (channel && !channel->Voice().isEmpty())
            speech.voice = channel->Voice();
        const QString opening =
            speech.opening
                ? SpokenOpening(channel ? channel->Name() : QString(), item->DisplayTitle())
                : QString();
        if (!jobs.m_converter->PageToWav(html, wav, speech, opening)) {
            LogItem("*ITEM: Cannot convert to text: '%s'", *item);
        } else {
            Mp3Tag tag;
            tag.title = item->DisplayTitle();
            if (channel)
                tag.artist = channel->Name();
            tag.comment = item->Link();
            tag.time = item->publicationTime;
            done = jobs.m_converter->WavToMp3(wav, mp3, tag);
            if (!done)
                LogItem("*ITEM: Cannot convert to MP3: '%s'", *item);
        }
    } catch (...) {
        LogMessage(u"*ITEM: Exception in toWAV convertion"_s);
        done = false;
    }
    QFile::remove(html);
    QFile::remove(wav);
    if (done) {
        item->SetState(State::Ready);
    } else {
        QFile::remove(mp3);
        item->SetState(State::Failed);
    }
}

void CItemJobs::PodcastJob(CRefCounted* argument)
{
    CRssItem* item = DueItem(argument, State::PodcastPending);
    if (!item)
        return;
    CItemJobs& jobs = JobsOf(*item);
    const CRefPtr<CHttpSession> session = jobs.m_app.Session();
    if (session && DownloadPodcast(*session, item->Enclosure().url, item->Enclosure().length,
                                   item->Mp3File())) {
        item->SetState(State::Ready);
    } else {
        item->SetState(State::Failed);
        LogItem("*ITEM: Cannot podcast item: '%s'", *item);
    }
}
