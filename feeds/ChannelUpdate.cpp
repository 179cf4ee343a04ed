#include "ChannelUpdate.h"

#include "CAppLog.h"
#include "CAppServices.h"
#include "CFeedContext.h"
#include "CHttpSession.h"
#include "CRssChannel.h"
#include "FeedFetcher.h"
#include "FeedMerge.h"
#include "FeedParser.h"
#include "XmlHelpers.h"

using namespace Qt::Literals::StringLiterals;

namespace {

// Server answers that make a channel wait: Retry-After when given (a day at most), else
// half an hour after a 429.
constexpr qint64 kLongestRetryWait = 24 * 3600;
constexpr qint64 kDefaultRetryWait = 1800;

} // namespace

LiveFeed FetchLiveFeed(CRssChannel& channel, const QString& url, XmlLoadError& error)
{
    InitXmlLibrary();
    LiveFeed live;
    const CRefPtr<CHttpSession> session = channel.Context()->App().Session();
    if (!session) {
        error = {0, u"no HTTP session"_s};
        return live;
    }
    FetchOptions options;
    options.etag = channel.ETag();
    options.lastModified = channel.LastModified();
    const FetchResult fetched = FetchUrl(*session, url, options);
    if (fetched.status == 429 || (fetched.status == 503 && fetched.retryAfterSeconds >= 0)) {
        const qint64 wait = fetched.retryAfterSeconds >= 0
                                ? qMin(fetched.retryAfterSeconds, kLongestRetryWait)
                                : kDefaultRetryWait;
        channel.SetRetryAfter(channel.Context()->Now() + wait);
        LogFormat("Channel asks to wait %lld s: '%s'", wait, qUtf8Printable(url));
    }
    if (!fetched.ok) {
        error = {0, fetched.error};
        return live;
    }
    channel.NotePermanentRedirect(fetched.permanentUrl);
    if (fetched.notModified) {
        live.notModified = true;
        return live;
    }
    live.doc = ParseFeedBody(fetched.body, url, error);
    live.etag = fetched.etag;
    live.lastModified = fetched.lastModified;
    return live;
}

RssResult CRssChannel::Download(const QString& source, FeedOrigin origin, ChannelNotice notice)
{
    const bool storedMode = origin == FeedOrigin::Stored;
    const QByteArray sourceText = source.toUtf8();
    LogFormat("Start downloading channel: '%s'", sourceText.constData());
    if (!storedMode && !FileRead()) {
        // Merging now would leave the stored items out of the channel file for good.
        LogFormat("*ERROR: Channel file not read yet: '%s'", sourceText.constData());
        return kGenericFailure;
    }
    try {
        XmlLoadError error;
        LiveFeed live;
        if (storedMode)
            live.doc = LoadFeedDocument(*Context(), source, origin, error);
        else
            live = FetchLiveFeed(*this, source, error);
        if (live.notModified) {
            // A successful download that changes nothing: it ends as every download does.
            LogFormat("Channel not modified: '%s'", sourceText.constData());
            LogFormat("Channel downloading done: '%s'", sourceText.constData());
            return kResultOk;
        }
        if (!live.doc) {
            LogFormat("*ERROR: Cannot load channel: '%s'", sourceText.constData());
            return LoadErrorCode(error);
        }
        const RssResult result = MergeFeedDocument(*this, live.doc.get(), source, origin, notice);
        if (!storedMode && result == kResultOk)
            SetValidators(live.etag, live.lastModified);
        return result;
    } catch (...) {
        LogFormat("Exception in channel downloading: '%s'", sourceText.constData());
    }
    return kGenericFailure;
}

bool CRssChannel::VerifyChannel(CFeedContext& context, const QString& url, RssChannelInfo& info)
{
    try {
        CFeedReader reader;
        if (!reader.IsValid())
            return false;
        XmlLoadError error;
        XmlDocPtr doc = LoadFeedDocument(context, url, FeedOrigin::Live, error);
        if (!doc) {
            LogFormat("Cannot load channel '%s': '%s'", qUtf8Printable(url),
                      qUtf8Printable(error.message));
            return false;
        }
        return reader.ReadChannelInfo(doc.get(), info, context.Now()) == kResultOk;
    } catch (const CXmlQueryError& e) {
        LogFormat("_com_error during CRssChannel::VerifyChannel: '%s' %08X '%s'",
                  qUtf8Printable(url), e.Code(), qUtf8Printable(e.Description()));
    } catch (...) {
        LogFormat("Exception during CRssChannel::VerifyChannel");
    }
    return false;
}
