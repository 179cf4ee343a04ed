#pragma once

#include "CRssChannel.h"

#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

class QObject;

// Reads the files of channels that data.opml named, after the window is shown: two worker
// threads parse each file into a channel outside the tree, and the thread that created
// the reader (the window thread) adopts the result into the tree channel. Workers never
// touch a tree channel; everything but the worker loop runs on the creating thread.
class CChannelFileReader
{
public:
    explicit CChannelFileReader(CFeedContext& context);
    // Stop().
    ~CChannelFileReader();
    CChannelFileReader(const CChannelFileReader&) = delete;
    CChannelFileReader& operator=(const CChannelFileReader&) = delete;

    // arrived: after each adoption; done: once every channel is read (at once when there is
    // none). Both run on the creating thread. Reads the channels in the given order.
    void Start(std::vector<CRefPtr<CRssChannel>> channels,
               std::function<void(CRssChannel&)> arrived, std::function<void()> done);
    // The channel's file is read next, unless a worker has it already.
    void MoveToFront(const CRssChannel& channel);
    bool Running() const { return m_running; }
    // Adopts the results as they come until every channel is read.
    void Wait();
    // Drops the channels not yet started, waits for the files being read and drops their
    // results: those channels stay unread (never saved). done is not called.
    void Stop();

private:
    struct Result {
        size_t index;
        CRefPtr<CRssChannel> detached;
    };

    void Work();
    void Deliver();

    CFeedContext& m_context;
    std::unique_ptr<QObject> m_receiver; // lives on the creating thread

    // Creating thread only.
    std::vector<CRefPtr<CRssChannel>> m_channels;
    std::unordered_map<const CRssChannel*, size_t> m_indexes;
    std::function<void(CRssChannel&)> m_arrived;
    std::function<void()> m_done;
    size_t m_remaining = 0;
    bool m_running = false;

    // Shared with the workers under m_lock.
    std::mutex m_lock;
    std::condition_variable m_resultReady;
    struct Pending {
        size_t index;
        QString path;
        bool favorite;
    };
    std::deque<Pending> m_waiting;
    std::vector<Result> m_results;
    bool m_stopping = false;

    std::vector<std::thread> m_threads;
};
