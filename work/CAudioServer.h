#pragma once

#include "ShareSnapshot.h"

#include <QString>
#include <memory>

// Serves the shared audio over HTTP/1.1 (GET and HEAD, single ranges, ETag and
// Last-Modified validators) on threads of its own, from the snapshot last published. Every
// address carries the snapshot's secret; a wrong secret gets the very answer a missing file
// gets. Only the files the snapshot names are served, never a path made from a request.
class CAudioServer
{
public:
    CAudioServer();
    ~CAudioServer(); // stops
    CAudioServer(const CAudioServer&) = delete;
    CAudioServer& operator=(const CAudioServer&) = delete;

    // Listens on address ("0.0.0.0", "192.168.1.5", "::1") and port (0: any free one).
    // False, with the reason in error and in the log, when it cannot. Stops first when
    // running.
    bool Start(const QString& address, int port, QString* error = nullptr);
    // Returns once every connection is closed and every thread ended; a download under way
    // ends at its next piece.
    void Stop();
    bool Running() const;
    // The port listened on; 0 when stopped.
    int Port() const;

    // Any thread. Requests from now on see this snapshot; those under way finish with theirs.
    void Publish(std::shared_ptr<const ShareSnapshot> snapshot);

    // Limits: worker threads (each serves one connection at a time; others wait), seconds
    // a connection may stay silent or stall a write, requests per connection.
    static constexpr int kThreads = 8;
    static constexpr int kTimeoutSeconds = 10;
    static constexpr int kKeepAliveSeconds = 5;
    static constexpr int kRequestsPerConnection = 100;

private:
    struct State;
    std::shared_ptr<State> m_state;
};
