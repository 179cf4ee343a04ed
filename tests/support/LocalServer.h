#pragma once

#include <QString>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// An HTTP server on 127.0.0.1 with an ephemeral port that counts the hits of each path
// and the body bytes it answered them with.
// It starts serving at the first Url(); register every handler before that.
class LocalServer
{
public:
    LocalServer()
    {
        server.set_keep_alive_timeout(1);
        m_port = server.bind_to_any_port("127.0.0.1");
    }
    ~LocalServer()
    {
        released = true;
        Start();
        server.stop();
        m_thread.join();
    }

    QString Url(const char* path)
    {
        Start();
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QString::fromLatin1(path));
    }
    int Port() const { return m_port; }
    // Registers a handler whose hits are counted before it answers.
    void Get(const std::string& path, httplib::Server::Handler handler)
    {
        server.Get(path, [this, path, handler](const httplib::Request& request,
                                               httplib::Response& response) {
            {
                std::lock_guard lock(m_lock);
                ++m_hits[path];
            }
            handler(request, response);
            std::lock_guard lock(m_lock);
            m_bytes[path] += response.body.size();
        });
    }
    // Registers a handler that drips its body, two bytes a second, until the client gives
    // up or the server is released.
    void GetSlowly(const std::string& path, const std::string& contentType = "text/plain")
    {
        Get(path, [this, contentType](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                contentType, [this](size_t, httplib::DataSink& sink) {
                    for (int i = 0; i < 20 && !released; ++i)
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    if (released) {
                        sink.done();
                        return true;
                    }
                    return sink.write("..", 2);
                });
        });
    }
    int Hits(const std::string& path) const
    {
        std::lock_guard lock(m_lock);
        auto it = m_hits.find(path);
        return it == m_hits.end() ? 0 : it->second;
    }

    // Body bytes of the answers set with set_content (not the streamed ones).
    size_t Bytes(const std::string& path) const
    {
        std::lock_guard lock(m_lock);
        auto it = m_bytes.find(path);
        return it == m_bytes.end() ? 0 : it->second;
    }

    httplib::Server server;
    std::atomic<bool> released{false}; // ends the stalling handlers

private:
    void Start()
    {
        std::call_once(m_started, [this] {
            m_thread = std::thread([this] { server.listen_after_bind(); });
            while (!server.is_running())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        });
    }

    int m_port = 0;
    std::once_flag m_started;
    std::thread m_thread;
    mutable std::mutex m_lock;
    std::map<std::string, int> m_hits;
    std::map<std::string, size_t> m_bytes;
};


// A loopback port that refuses connections: bound, never listening.
class RefusingPort
{
public:
    RefusingPort() : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            socklen_t length = sizeof address;
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
            m_port = ntohs(address.sin_port);
        }
    }
    ~RefusingPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    // 0 when no port could be bound.
    int Port() const { return m_port; }
    QString Url(const char* path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(QString::fromLatin1(path));
    }

private:
    int m_fd;
    int m_port = 0;
};
