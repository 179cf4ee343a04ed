#include "CAudioServer.h"

#include "CAppLog.h"
#include "DateHelpers.h"
#include "PodcastFeed.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <httplib.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace {

// The bytes of one request's line and headers a connection may send: a long address is
// answered 414 well below this, and nothing grows without bound.
constexpr qint64 kRequestHeadLimit = 256 * 1024;
constexpr size_t kPieceSize = 256 * 1024;

const char kNotFound[] = "Not found\n";

QString HostPort(const QString& address, int port)
{
    return (address.contains(u':') ? u'[' + address + u']' : address) + u':' + QString::number(port);
}

// Why binding address:port fails, found by trying it the same way.
QString BindFailure(const QString& address, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const QByteArray host = address.toUtf8();
    const QByteArray service = QByteArray::number(port);
    if (const int error = ::getaddrinfo(host.constData(), service.constData(), &hints, &found))
        return QString::fromLocal8Bit(::gai_strerror(error));
    QString reason = u"the address cannot be listened on"_s;
    for (addrinfo* at = found; at; at = at->ai_next) {
        const int fd = ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC, at->ai_protocol);
        if (fd < 0) {
            reason = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, at->ai_addr, at->ai_addrlen) != 0 || ::listen(fd, 1) != 0)
            reason = QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return reason;
}

// One connection's socket for the library: reads are buffered and bounded per request,
// waits are polls that Stop() ends by shutting the socket down, and writes never raise
// SIGPIPE.
class ConnectionStream final : public httplib::Stream
{
public:
    explicit ConnectionStream(int fd) : m_fd(fd) {}

    void StartRequest() { m_requestBytes = 0; }
    // Whether a request begins within the keep-alive time.
    bool WaitForRequest() const
    {
        return m_begin < m_end || Wait(POLLIN, CAudioServer::kKeepAliveSeconds * 1000);
    }

    bool is_readable() const override
    {
        return m_begin < m_end || Wait(POLLIN, CAudioServer::kTimeoutSeconds * 1000);
    }
    bool is_writable() const override { return Wait(POLLOUT, CAudioServer::kTimeoutSeconds * 1000); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (m_begin == m_end) {
            if (m_requestBytes >= kRequestHeadLimit || !is_readable())
                return -1;
            ssize_t got;
            do
                got = ::recv(m_fd, m_buffer, sizeof m_buffer, 0);
            while (got < 0 && errno == EINTR);
            if (got <= 0)
                return got;
            m_requestBytes += got;
            m_begin = 0;
            m_end = size_t(got);
        }
        const size_t n = std::min(size, m_end - m_begin);
        std::memcpy(ptr, m_buffer + m_begin, n);
        m_begin += n;
        return ssize_t(n);
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!is_writable())
            return -1;
        ssize_t sent;
        do
            sent = ::send(m_fd, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        while (sent < 0 && errno == EINTR);
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return 0; // the library writes the rest after the next wait
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        AddressOf(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        AddressOf(::getsockname, ip, port);
    }
    socket_t socket() const override { return m_fd; }

private:
    bool Wait(short events, int ms) const
    {
        pollfd p{m_fd, events, 0};
        int ready;
        do
            ready = ::poll(&p, 1, ms);
        while (ready < 0 && errno == EINTR);
        return ready > 0;
    }

    template <class Get> void AddressOf(Get get, std::string& ip, int& port) const
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        char host[NI_MAXHOST] = {};
        char service[NI_MAXSERV] = {};
        if (get(m_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0 &&
            ::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, service,
                          sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(service);
        }
    }

    const int m_fd;
    char m_buffer[4096];
    size_t m_begin = 0;
    size_t m_end = 0;
    qint64 m_requestBytes = 0;
};

// What validates a representation, and when it last changed.
struct Validators
{
    QByteArray etag; // quoted
    qint64 modified = 0;
};

// A published snapshot with the validators of its feeds and picture.
struct Published
{
    std::shared_ptr<const ShareSnapshot> snapshot;
    QHash<QString, Validators> feeds;
    Validators icon;
};

Validators ValidatorsOf(const QByteArray& bytes, const Validators* before, qint64 now)
{
    const QByteArray etag =
        '"' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex().left(24) + '"';
    return {etag, before && before->etag == etag ? before->modified : now};
}

// Splits the path of a request target into its segments. False for what no address of
// ours looks like and no client should send: a relative or absolute-form target, "." and
// ".." segments, encoded slashes, backslashes and NUL, bad escapes.
bool PathSegments(const std::string& target, std::vector<std::string>& segments)
{
    const size_t end = std::min(target.find('?'), target.find('#'));
    const std::string_view path = std::string_view(target).substr(0, end);
    if (path.empty() || path.front() != '/')
        return false;
    std::string segment;
    const auto finish = [&] {
        if (segment == "." || segment == "..")
            return false;
        segments.push_back(std::move(segment));
        segment.clear();
        return true;
    };
    for (size_t i = 1; i < path.size(); ++i) {
        char c = path[i];
        if (c == '/') {
            if (!finish())
                return false;
            continue;
        }
        if (c == '%') {
            const auto hex = [&](size_t at) {
                const char h = at < path.size() ? path[at] : 'x';
                return h >= '0' && h <= '9' ? h - '0'
                       : h >= 'a' && h <= 'f' ? h - 'a' + 10
                       : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                              : -1;
            };
            const int high = hex(i + 1), low = hex(i + 2);
            if (high < 0 || low < 0)
                return false;
            c = char(high * 16 + low);
            i += 2;
            if (c == '/')
                return false;
        }
        if (c == '\\' || c == '\0')
            return false;
        segment += c;
    }
    return finish();
}

// Compares all 32 digits whatever the guess, so that the time of an answer tells nothing
// about how much of a guessed secret was right.
bool SecretMatches(const QByteArray& secret, const std::string& guess)
{
    if (secret.isEmpty())
        return false;
    unsigned difference = unsigned(secret.size()) ^ unsigned(guess.size());
    for (qsizetype i = 0; i < secret.size(); ++i) {
        const unsigned char g = size_t(i) < guess.size() ? guess[size_t(i)] : 0;
        difference |= unsigned(uchar(secret[i])) ^ g;
    }
    return difference == 0;
}

bool EtagListMatches(const std::string& list, const QByteArray& etag)
{
    for (QByteArray tag : QByteArray::fromStdString(list).split(',')) {
        tag = tag.trimmed();
        if (tag == "*")
            return true;
        if (tag.startsWith("W/"))
            tag = tag.mid(2);
        if (tag == etag)
            return true;
    }
    return false;
}

qint64 HeaderDate(const std::string& text)
{
    qint64 time = 0;
    return ParseRfc822Date(QString::fromStdString(text), time) ? time : -1;
}

bool NotModified(const httplib::Request& req, const Validators& validators)
{
    if (req.has_header("If-None-Match"))
        return EtagListMatches(req.get_header_value("If-None-Match"), validators.etag);
    if (req.has_header("If-Modified-Since")) {
        const qint64 since = HeaderDate(req.get_header_value("If-Modified-Since"));
        return since >= 0 && validators.modified <= since;
    }
    return false;
}

enum class RangeAsked { Whole, Slice, Unsatisfiable };

// One range of "bytes=FIRST-LAST", "bytes=FIRST-" or "bytes=-SUFFIX"; anything else (several
// ranges, other units, nonsense) is ignored and the whole is sent, as HTTP allows.
RangeAsked ReadRange(const httplib::Request& req, const Validators& validators, qint64 size,
                     qint64& first, qint64& last)
{
    if (!req.has_header("Range"))
        return RangeAsked::Whole;
    if (req.has_header("If-Range")) {
        const std::string condition = req.get_header_value("If-Range");
        const bool current = condition.starts_with('"')
                                 ? QByteArray::fromStdString(condition) == validators.etag
                                 : HeaderDate(condition) == validators.modified;
        if (!current)
            return RangeAsked::Whole;
    }
    const QByteArray value = QByteArray::fromStdString(req.get_header_value("Range")).trimmed();
    if (!value.startsWith("bytes=") || value.contains(','))
        return RangeAsked::Whole;
    const QByteArray range = value.mid(6).trimmed();
    const qsizetype dash = range.indexOf('-');
    const QByteArray from = range.left(dash).trimmed(), to = range.mid(dash + 1).trimmed();
    const auto number = [](const QByteArray& digits, qint64& n) {
        bool ok = digits.size() <= 18 && !digits.isEmpty() &&
                  std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (ok)
            n = digits.toLongLong(&ok);
        return ok;
    };
    qint64 a = 0, b = 0;
    if (dash < 0 || (from.isEmpty() && to.isEmpty()))
        return RangeAsked::Whole;
    if (from.isEmpty()) { // the last b bytes
        if (!number(to, b))
            return RangeAsked::Whole;
        if (b == 0 || size == 0)
            return RangeAsked::Unsatisfiable;
        first = std::max<qint64>(0, size - b);
        last = size - 1;
        return RangeAsked::Slice;
    }
    if (!number(from, a) || (!to.isEmpty() && (!number(to, b) || b < a)))
        return RangeAsked::Whole;
    if (a >= size)
        return RangeAsked::Unsatisfiable;
    first = a;
    last = to.isEmpty() ? size - 1 : std::min(b, size - 1);
    return RangeAsked::Slice;
}

void Plain(httplib::Response& res, int status, const char* text)
{
    res.status = status;
    res.set_content(text, std::strlen(text), "text/plain; charset=utf-8");
}

// The answer to every address that names nothing: a wrong secret gets exactly this too.
void NotFound(httplib::Response& res)
{
    Plain(res, 404, kNotFound);
}

struct FileCloser
{
    int fd;
    ~FileCloser() { ::close(fd); }
};

} // namespace

// The library's server with connections of our own making (see ConnectionStream), so that
// Stop() can end each at once.
class AudioHttpServer final : public httplib::Server
{
public:
    explicit AudioHttpServer(std::atomic<bool>& stopping) : m_stopping(stopping) {}

    // Shuts every open connection down; connections that come later close at once.
    void EndConnections()
    {
        std::lock_guard guard(m_lock);
        m_ending = true;
        for (int fd : m_connections)
            ::shutdown(fd, SHUT_RDWR);
    }

private:
    bool process_and_close_socket(socket_t sock) override
    {
        bool ok = false;
        if (Register(sock)) {
            ConnectionStream stream(sock);
            for (int left = CAudioServer::kRequestsPerConnection;
                 left > 0 && !m_stopping && stream.WaitForRequest(); --left) {
                stream.StartRequest();
                bool closed = false;
                ok = process_request(stream, left == 1, closed, nullptr);
                if (!ok || closed)
                    break;
            }
            std::lock_guard guard(m_lock);
            m_connections.erase(sock);
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    bool Register(int fd)
    {
        std::lock_guard guard(m_lock);
        if (m_ending)
            return false;
        m_connections.insert(fd);
        return true;
    }

    std::atomic<bool>& m_stopping;
    std::mutex m_lock;
    std::set<int> m_connections;
    bool m_ending = false;
};

struct CAudioServer::State
{
    std::unique_ptr<AudioHttpServer> server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<int> port{0};
    QString address;

    mutable std::mutex publishedLock;
    std::shared_ptr<const Published> published;

    std::shared_ptr<const Published> Current() const
    {
        std::lock_guard guard(publishedLock);
        return published;
    }

    void Handle(const httplib::Request& req, httplib::Response& res) const;
    void Serve(const httplib::Request& req, httplib::Response& res, const Validators& validators,
               qint64 size, const char* type,
               std::function<bool(qint64 at, qint64 length, httplib::DataSink&)> piece) const;
    void ServeFile(const httplib::Request& req, httplib::Response& res,
                   const ShareFileEntry& entry) const;
};

void CAudioServer::State::Handle(const httplib::Request& req, httplib::Response& res) const
{
    // The library would cut the body to a Range itself, unchecked against the size: ranges
    // are answered here.
    const_cast<httplib::Request&>(req).ranges.clear();
    std::vector<std::string> segments;
    if (!PathSegments(req.target, segments))
        return Plain(res, 400, "Bad request\n");
    const std::shared_ptr<const Published> current = Current();
    if (!current || segments.size() < 2 || !SecretMatches(current->snapshot->secret, segments[0]))
        return NotFound(res);
    const ShareSnapshot& snapshot = *current->snapshot;
    const QString name = QString::fromStdString(segments[1]);
    if (segments.size() == 2) {
        const auto feed = snapshot.feeds.constFind(name);
        if (feed != snapshot.feeds.cend()) {
            res.set_header("Cache-Control", "no-cache");
            const QByteArray bytes = *feed; // shared, not copied
            return Serve(req, res, current->feeds.value(name), bytes.size(),
                         "application/rss+xml; charset=utf-8",
                         [bytes](qint64 at, qint64 length, httplib::DataSink& sink) {
                             return sink.write(bytes.constData() + at, size_t(length));
                         });
        }
        if (name == u"icon.png"_s && !snapshot.iconPng.isEmpty()) {
            const QByteArray bytes = snapshot.iconPng;
            return Serve(req, res, current->icon, bytes.size(), "image/png",
                         [bytes](qint64 at, qint64 length, httplib::DataSink& sink) {
                             return sink.write(bytes.constData() + at, size_t(length));
                         });
        }
    } else if (segments.size() == 3 && name == u"audio"_s) {
        const auto file = snapshot.files.constFind(QString::fromStdString(segments[2]));
        if (file != snapshot.files.cend())
            return ServeFile(req, res, *file);
    }
    NotFound(res);
}

void CAudioServer::State::ServeFile(const httplib::Request& req, httplib::Response& res,
                                    const ShareFileEntry& entry) const
{
    // The file as it is now: it may have been replaced or removed since the snapshot.
    const int fd = ::open(QFile::encodeName(entry.path).constData(),
                          O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return NotFound(res);
    auto file = std::make_shared<FileCloser>(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return NotFound(res);
    const Validators validators{
        '"' + QByteArray::number(qint64(st.st_size), 16) + '-' +
            QByteArray::number(qint64(st.st_mtim.tv_sec), 16) + '.' +
            QByteArray::number(qint64(st.st_mtim.tv_nsec), 16) + '"',
        st.st_mtim.tv_sec};
    const std::atomic<bool>* stopping = &this->stopping;
    Serve(req, res, validators, st.st_size, "audio/mpeg",
          [file, stopping](qint64 at, qint64 length, httplib::DataSink& sink) {
              thread_local std::unique_ptr<char[]> buffer(new char[kPieceSize]);
              if (*stopping)
                  return false;
              ssize_t got;
              do
                  got = ::pread(file->fd, buffer.get(), std::min<size_t>(size_t(length), kPieceSize), at);
              while (got < 0 && errno == EINTR);
              // A file cut short meanwhile ends the connection: its length was promised.
              return got > 0 && sink.write(buffer.get(), size_t(got));
          });
}

void CAudioServer::State::Serve(
    const httplib::Request& req, httplib::Response& res, const Validators& validators,
    qint64 size, const char* type,
    std::function<bool(qint64 at, qint64 length, httplib::DataSink&)> piece) const
{
    res.set_header("ETag", validators.etag.toStdString());
    res.set_header("Last-Modified", Rfc822Date(validators.modified).toStdString());
    res.set_header("Accept-Ranges", "bytes");
    if (NotModified(req, validators)) {
        res.status = 304;
        return;
    }
    qint64 first = 0, last = size - 1;
    switch (ReadRange(req, validators, size, first, last)) {
    case RangeAsked::Unsatisfiable:
        res.status = 416;
        res.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    case RangeAsked::Slice:
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(first) + '-' +
                                            std::to_string(last) + '/' + std::to_string(size));
        break;
    case RangeAsked::Whole:
        res.status = 200;
        break;
    }
    if (size == 0)
        return res.set_content("", 0, type);
    res.set_content_provider(size_t(last - first + 1), type,
                             [piece = std::move(piece), first](size_t offset, size_t length,
                                                               httplib::DataSink& sink) {
                                 return piece(first + qint64(offset),
                                              std::min<qint64>(qint64(length), kPieceSize), sink);
                             });
}

CAudioServer::CAudioServer() : m_state(std::make_shared<State>()) {}

CAudioServer::~CAudioServer()
{
    Stop();
}

bool CAudioServer::Start(const QString& address, int port, QString* error)
{
    Stop();
    State& state = *m_state;
    state.stopping = false;
    state.server = std::make_unique<AudioHttpServer>(state.stopping);
    httplib::Server& server = *state.server;
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    server.set_keep_alive_max_count(kRequestsPerConnection);
    server.set_keep_alive_timeout(kKeepAliveSeconds);
    server.set_read_timeout(kTimeoutSeconds);
    server.set_write_timeout(kTimeoutSeconds);
    server.set_payload_max_length(16 * 1024);
    // Not the library's SO_REUSEPORT: a second server on the port must fail, not share it.
    server.set_socket_options([](socket_t sock) {
        const int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.method == "GET" || req.method == "HEAD")
            return httplib::Server::HandlerResponse::Unhandled;
        res.set_header("Allow", "GET, HEAD");
        Plain(res, 405, "Method not allowed\n");
        return httplib::Server::HandlerResponse::Handled;
    });
    const State* handler = &state;
    server.Get(".*", [handler](const httplib::Request& req, httplib::Response& res) {
        handler->Handle(req, res);
    });

    const std::string host = address.toStdString();
    const int bound = port == 0 ? server.bind_to_any_port(host)
                                : (server.bind_to_port(host, port) ? port : -1);
    if (bound <= 0) {
        const QString why = BindFailure(address, port);
        LogFormat("*ERROR: Cannot share audio on %s: %s", qUtf8Printable(HostPort(address, port)),
                  qUtf8Printable(why));
        if (error)
            *error = why;
        state.server.reset();
        return false;
    }
    state.port = bound;
    state.address = address;
    state.thread = std::thread([&server] {
        // The connections' threads start from this one and keep its mask: a client that
        // goes away is a failed write, not SIGPIPE, and the process's signals go elsewhere.
        sigset_t blocked;
        sigemptyset(&blocked);
        for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP})
            sigaddset(&blocked, sig);
        pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
        server.listen_after_bind();
    });
    LogFormat("Sharing audio at http://%s/", qUtf8Printable(HostPort(address, bound)));
    return true;
}

void CAudioServer::Stop()
{
    State& state = *m_state;
    if (!state.server)
        return;
    state.stopping = true;
    state.server->EndConnections();
    state.server->stop();
    if (state.thread.joinable())
        state.thread.join();
    state.server.reset();
    state.port = 0;
    LogFormat("Stopped sharing audio on %s", qUtf8Printable(state.address));
}

bool CAudioServer::Running() const
{
    return m_state->server != nullptr;
}

int CAudioServer::Port() const
{
    return m_state->port;
}

void CAudioServer::Publish(std::shared_ptr<const ShareSnapshot> snapshot)
{
    if (!snapshot)
        snapshot = std::make_shared<ShareSnapshot>();
    const std::shared_ptr<const Published> before = m_state->Current();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    auto published = std::make_shared<Published>();
    for (auto feed = snapshot->feeds.cbegin(); feed != snapshot->feeds.cend(); ++feed) {
        const Validators* old = nullptr;
        if (before) {
            const auto found = before->feeds.constFind(feed.key());
            if (found != before->feeds.cend())
                old = &*found;
        }
        published->feeds.insert(feed.key(), ValidatorsOf(*feed, old, now));
    }
    published->icon = ValidatorsOf(snapshot->iconPng, before ? &before->icon : nullptr, now);
    published->snapshot = std::move(snapshot);
    std::lock_guard guard(m_state->publishedLock);
    m_state->published = std::move(published);
}
