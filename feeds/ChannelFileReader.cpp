#include "ChannelFileReader.h"

#include "CAppLog.h"

#include <QElapsedTimer>
#include <QObject>
#include <algorithm>
#include <system_error>

namespace {

constexpr int kReaderThreads = 2;
// How long one delivery of read files may keep the window thread.
constexpr qint64 kDeliverSliceMs = 8;

} // namespace

CChannelFileReader::CChannelFileReader(CFeedContext& context)
    : m_context(context), m_receiver(std::make_unique<QObject>())
{
}

CChannelFileReader::~CChannelFileReader()
{
    Stop();
    // Deliveries still posted go with the receiver.
    m_receiver.reset();
}

void CChannelFileReader::Start(std::vector<CRefPtr<CRssChannel>> channels,
                               std::function<void(CRssChannel&)> arrived,
                               std::function<void()> done)
{
    Stop();
    m_channels = std::move(channels);
    m_arrived = std::move(arrived);
    m_done = std::move(done);
    m_remaining = m_channels.size();
    {
        std::lock_guard lock(m_lock);
        m_stopping = false;
        for (size_t i = 0; i < m_channels.size(); ++i) {
            m_indexes.emplace(m_channels[i].get(), i);
            m_waiting.push_back({i, m_channels[i]->FilePath(), m_channels[i]->Favorite()});
        }
    }
    m_running = true;
    if (m_remaining == 0) {
        Deliver();
        return;
    }
    const size_t threads = std::min<size_t>(kReaderThreads, m_remaining);
    try {
        for (size_t i = 0; i < threads; ++i)
            m_threads.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        LogMessage(QStringLiteral("*ERROR: Cannot start the channel file readers"));
    }
    if (m_threads.empty())
        Work(); // read them here rather than never
}

void CChannelFileReader::MoveToFront(const CRssChannel& channel)
{
    const auto found = m_indexes.find(&channel);
    if (found == m_indexes.end())
        return;
    std::lock_guard lock(m_lock);
    const auto it = std::find_if(m_waiting.begin(), m_waiting.end(),
                                 [&](const Pending& p) { return p.index == found->second; });
    if (it == m_waiting.end() || it == m_waiting.begin())
        return;
    Pending pending = std::move(*it);
    m_waiting.erase(it);
    m_waiting.push_front(std::move(pending));
}

void CChannelFileReader::Wait()
{
    while (m_running) {
        {
            std::unique_lock lock(m_lock);
            m_resultReady.wait(lock, [this] { return !m_results.empty(); });
        }
        Deliver();
    }
}

void CChannelFileReader::Stop()
{
    {
        std::lock_guard lock(m_lock);
        m_stopping = true;
        m_waiting.clear();
    }
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    std::vector<Result> dropped;
    {
        std::lock_guard lock(m_lock);
        dropped.swap(m_results);
    }
    dropped.clear();
    m_channels.clear();
    m_indexes.clear();
    m_arrived = nullptr;
    m_done = nullptr;
    m_remaining = 0;
    m_running = false;
}

void CChannelFileReader::Work()
{
    for (;;) {
        Pending pending;
        {
            std::lock_guard lock(m_lock);
            if (m_stopping || m_waiting.empty())
                return;
            pending = std::move(m_waiting.front());
            m_waiting.pop_front();
        }
        CRefPtr<CRssChannel> detached = CRssChannel::CreateForFileRead(&m_context, pending.favorite);
        try {
            detached->LoadStoredFile(pending.path);
        } catch (...) {
            // Nothing half read is adopted: the channel stays unread and its file untouched.
            LogFormat("Exception in channel downloading: '%s'", qUtf8Printable(pending.path));
            detached.reset();
        }
        bool post = false;
        {
            std::lock_guard lock(m_lock);
            post = m_results.empty();
            m_results.push_back({pending.index, std::move(detached)});
        }
        m_resultReady.notify_all();
        if (post)
            QMetaObject::invokeMethod(m_receiver.get(), [this] { Deliver(); }, Qt::QueuedConnection);
    }
}

void CChannelFileReader::Deliver()
{
    std::vector<Result> results;
    {
        std::lock_guard lock(m_lock);
        results.swap(m_results);
    }
    // A slice at a time: a window thread that was busy finds many files waiting, and input
    // and painting must not wait for all of them.
    QElapsedTimer slice;
    slice.start();
    for (size_t i = 0; i < results.size(); ++i) {
        Result& result = results[i];
        if (!m_running || result.index >= m_channels.size())
            return;
        if (i > 0 && slice.elapsed() >= kDeliverSliceMs) {
            {
                std::lock_guard lock(m_lock);
                m_results.insert(m_results.begin(), std::make_move_iterator(results.begin() + i),
                                 std::make_move_iterator(results.end()));
            }
            QMetaObject::invokeMethod(m_receiver.get(), [this] { Deliver(); }, Qt::QueuedConnection);
            return;
        }
        const CRefPtr<CRssChannel> channel = m_channels[result.index];
        if (result.detached)
            channel->AdoptStoredFile(*result.detached);
        result.detached.reset();
        --m_remaining;
        if (m_arrived)
            m_arrived(*channel);
    }
    if (!m_running || m_remaining != 0)
        return;
    // Every file is read: the workers have found nothing left to take.
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
    m_running = false;
    m_channels.clear();
    m_indexes.clear();
    m_arrived = nullptr;
    if (std::function<void()> done = std::exchange(m_done, nullptr))
        done();
}
