// The run's page over HTTP(S), served by libmicrohttpd.
#include "web/web_server.h"

#include "web/latest_jpeg.h"
#include "web/microhttpd_library.h"
#include "web/page.h"
#include "web/request_watch.h"
#include "web/run_status.h"
#include "web/web_key.h"

#include <arpa/inet.h>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace web {

namespace {

// The library, loaded by start() before any of the server's calls.
const MicroHttpd& mhd() {
    return *microHttpd(nullptr);
}

const char* const CookieName = "lumivex_key";
constexpr int PagePriority = 10; // a nice value

struct Answer {
    Answer(unsigned s, QByteArray b, const char* t = "text/plain; charset=utf-8")
        : status(s), body(std::move(b)), type(t) {}
    unsigned status;
    QByteArray body;
    const char* type;
    QByteArray cookie;
    bool allowHeader = false;
};

Answer plain(unsigned status, const char* text) {
    return {status, QByteArray(text) + '\n'};
}

std::string clientAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info =
        mhd().connectionInfo(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr) return {};
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* address = info->client_addr;
    if (address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text,
                  sizeof text);
    else if (address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
                  sizeof text);
    return text;
}

// The server's threads give way to the window: a busy page never slows the run. Threads the
// server starts from a lowered one inherit its priority.
void giveWay() {
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    ::setpriority(PRIO_PROCESS, ::gettid(), PagePriority);
}

std::optional<std::string_view> value(MHD_Connection* connection, MHD_ValueKind kind,
                                      const char* name) {
    const char* found = mhd().lookupValue(connection, kind, name);
    if (found == nullptr) return std::nullopt;
    return std::string_view(found);
}

} // namespace

struct WebServer::Impl {
    const StatusBoard& board;
    const WebKey& key;
    LatestJpeg& latest;
    WebServerOptions options;
    WrongKeys wrongKeys;
    std::unique_ptr<RequestWatch> watch;
    MHD_Daemon* daemon = nullptr;
    quint16 port = 0;

    std::mutex logMutex;
    QString lastLog; // what the library said while starting

    Impl(const StatusBoard& b, const WebKey& k, LatestJpeg& l, WebServerOptions o)
        : board(b), key(k), latest(l), options(std::move(o)), wrongKeys(options.wrongKeys) {}

    bool tls() const { return !options.certificatePem.isEmpty() && !options.keyPem.isEmpty(); }

    Answer route(MHD_Connection* connection, std::string_view url, std::string_view method);
    MHD_Result send(MHD_Connection* connection, const Answer& answer);

    static MHD_Result onRequest(void* cls, MHD_Connection* connection, const char* url,
                                const char* method, const char* version, const char* uploadData,
                                size_t* uploadSize, void** requestContext);
    static void onCompleted(void* cls, MHD_Connection* connection, void** requestContext,
                            MHD_RequestTerminationCode code);
    static void onConnection(void* cls, MHD_Connection* connection, void** socketContext,
                             MHD_ConnectionNotificationCode code);
    static void onLog(void* cls, const char* format, va_list args);
};

Answer WebServer::Impl::route(MHD_Connection* connection, std::string_view url,
                              std::string_view method) {
    if (method != MHD_HTTP_METHOD_GET && method != MHD_HTTP_METHOD_HEAD) {
        Answer answer = plain(MHD_HTTP_METHOD_NOT_ALLOWED, "Only GET and HEAD are answered.");
        answer.allowHeader = true;
        return answer;
    }
    // The page's own script and style hold nothing of the run.
    if (url == "/page.js") return {MHD_HTTP_OK, page::Script, "text/javascript; charset=utf-8"};
    if (url == "/page.css") return {MHD_HTTP_OK, page::Style, "text/css; charset=utf-8"};
    const bool isPage = url == "/";
    if (!isPage && url != "/status.json" && url != "/latest.jpg")
        return plain(MHD_HTTP_NOT_FOUND, "Not found.");

    const std::string address = clientAddress(connection);
    if (wrongKeys.refused(address))
        return plain(MHD_HTTP_TOO_MANY_REQUESTS, "Too many wrong keys: try again later.");

    // The key, as presented: in the link (the page only), as the cookie, as a bearer token.
    std::optional<std::string_view> presented;
    bool fromLink = false;
    if (isPage) {
        presented = value(connection, MHD_GET_ARGUMENT_KIND, "key");
        fromLink = presented.has_value();
    }
    if (!presented) presented = value(connection, MHD_COOKIE_KIND, CookieName);
    if (!presented) {
        if (auto header = value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
            header && header->substr(0, 7) == "Bearer ")
            presented = header->substr(7);
    }
    const Answer keyNeeded =
        isPage ? Answer(MHD_HTTP_UNAUTHORIZED, page::KeyNeeded, "text/html; charset=utf-8")
               : plain(MHD_HTTP_UNAUTHORIZED, "The key is needed.");
    if (!presented) return keyNeeded;
    if (!key.matches(*presented)) {
        // Answered late, on this connection's own thread: guessing gets slow, then refused.
        std::this_thread::sleep_for(wrongKeys.wrong(address));
        return keyNeeded;
    }
    wrongKeys.right(address);

    if (isPage) {
        Answer answer{MHD_HTTP_OK, page::Html, "text/html; charset=utf-8"};
        // Kept for 400 days (the longest browsers keep one), so that a kiosk or a phone stays
        // in after a restart; a new key ends it.
        if (fromLink)
            answer.cookie = QByteArray(CookieName) + '=' +
                            QByteArray(presented->data(), qsizetype(presented->size())) +
                            "; Path=/; Max-Age=34560000; HttpOnly; SameSite=Strict" +
                            (tls() ? "; Secure" : "");
        return answer;
    }
    const std::shared_ptr<const StatusBoard::Snapshot> snapshot = board.snapshot();
    if (url == "/status.json") return {MHD_HTTP_OK, snapshot->json, "application/json"};

    if (snapshot->state.latestPicture.isEmpty())
        return plain(MHD_HTTP_NOT_FOUND, "There is no picture yet.");
    const bool full = value(connection, MHD_GET_ARGUMENT_KIND, "full") == "1";
    QString error;
    const std::shared_ptr<const QByteArray> jpeg =
        latest.get(snapshot->state.latestPicture, full, &error);
    if (!jpeg) return plain(MHD_HTTP_SERVICE_UNAVAILABLE, "The latest picture cannot be read.");
    return {MHD_HTTP_OK, *jpeg, "image/jpeg"};
}

MHD_Result WebServer::Impl::send(MHD_Connection* connection, const Answer& answer) {
    MHD_Response* response =
        mhd().responseFromBuffer(std::size_t(answer.body.size()),
                                 const_cast<char*>(answer.body.constData()), MHD_RESPMEM_MUST_COPY);
    if (response == nullptr) return MHD_NO;
    mhd().addHeader(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.type);
    mhd().addHeader(response, "Content-Security-Policy", "default-src 'self'");
    mhd().addHeader(response, "X-Content-Type-Options", "nosniff");
    mhd().addHeader(response, "Referrer-Policy", "no-referrer");
    mhd().addHeader(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (!answer.cookie.isEmpty())
        mhd().addHeader(response, MHD_HTTP_HEADER_SET_COOKIE, answer.cookie.constData());
    if (answer.allowHeader) mhd().addHeader(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD");
    const MHD_Result result = mhd().queueResponse(connection, answer.status, response);
    mhd().destroyResponse(response);
    return result;
}

MHD_Result WebServer::Impl::onRequest(void* cls, MHD_Connection* connection, const char* url,
                                      const char* method, const char*, const char*,
                                      size_t* uploadSize, void** requestContext) {
    auto* self = static_cast<Impl*>(cls);
    giveWay();
    // The first call comes with the headers. A GET or HEAD is answered once its request is all
    // in: an answer now would close the connection. Any other method is answered now, before its
    // body is read, and its connection closed. A body of a GET is read and dropped, within the
    // request's time limit.
    static int headersSeen;
    const std::string_view verb(method);
    if (*requestContext == nullptr) {
        *requestContext = &headersSeen;
        if (verb == MHD_HTTP_METHOD_GET || verb == MHD_HTTP_METHOD_HEAD) return MHD_YES;
    } else if (*uploadSize != 0) {
        *uploadSize = 0;
        return MHD_YES;
    }
    self->watch->answering(connection);
    return self->send(connection, self->route(connection, url, method));
}

void WebServer::Impl::onCompleted(void* cls, MHD_Connection* connection, void**,
                                  MHD_RequestTerminationCode) {
    static_cast<Impl*>(cls)->watch->answered(connection);
}

void WebServer::Impl::onConnection(void* cls, MHD_Connection* connection, void**,
                                   MHD_ConnectionNotificationCode code) {
    auto* self = static_cast<Impl*>(cls);
    giveWay();
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
        const MHD_ConnectionInfo* info =
            mhd().connectionInfo(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info != nullptr) self->watch->opened(connection, info->connect_fd);
    } else {
        self->watch->closed(connection);
    }
}

void WebServer::Impl::onLog(void* cls, const char* format, va_list args) {
    auto* self = static_cast<Impl*>(cls);
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    const std::lock_guard lock(self->logMutex);
    self->lastLog = QString::fromLocal8Bit(text).trimmed();
}

WebServer::WebServer(const StatusBoard& board, const WebKey& key, LatestJpeg& latest,
                     WebServerOptions options)
    : impl_(std::make_unique<Impl>(board, key, latest, std::move(options))) {}

WebServer::~WebServer() {
    stop();
}

bool WebServer::start(QString* error) {
    Impl& d = *impl_;
    const auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    QString missing;
    if (!microHttpd(&missing)) return fail(missing);
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const QByteArray address = d.options.address.toLatin1();
    const sockaddr* bindTo = nullptr;
    unsigned flags =
        MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_ERROR_LOG;
    if (inet_pton(AF_INET, address.constData(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(d.options.port);
        bindTo = reinterpret_cast<const sockaddr*>(&v4);
    } else if (inet_pton(AF_INET6, address.constData(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(d.options.port);
        bindTo = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        return fail(QStringLiteral("%1 is not an IP address").arg(d.options.address));
    }
    if (d.tls()) flags |= MHD_USE_TLS;
    d.watch = std::make_unique<RequestWatch>(d.options.requestLimit);

    std::vector<MHD_OptionItem> items{
        {MHD_OPTION_SOCK_ADDR, 0, const_cast<sockaddr*>(bindTo)},
        {MHD_OPTION_CONNECTION_LIMIT, intptr_t(d.options.connectionLimit), nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, intptr_t(d.options.perAddressLimit), nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, intptr_t(d.options.idleSeconds), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, intptr_t(d.options.headerBytes), nullptr},
        {MHD_OPTION_THREAD_STACK_SIZE, intptr_t(256 * 1024), nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, intptr_t(&Impl::onCompleted), &d},
        {MHD_OPTION_NOTIFY_CONNECTION, intptr_t(&Impl::onConnection), &d},
        {MHD_OPTION_EXTERNAL_LOGGER, intptr_t(&Impl::onLog), &d},
    };
    if (d.tls()) {
        items.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0,
                         const_cast<char*>(d.options.certificatePem.constData())});
        items.push_back(
            {MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(d.options.keyPem.constData())});
    }
    items.push_back({MHD_OPTION_END, 0, nullptr});
    d.daemon = mhd().startDaemon(flags, d.options.port, nullptr, nullptr, &Impl::onRequest, &d,
                                 MHD_OPTION_ARRAY, items.data(), MHD_OPTION_END);
    if (d.daemon == nullptr) {
        d.watch.reset();
        const std::lock_guard lock(d.logMutex);
        return fail(d.lastLog.isEmpty() ? QStringLiteral("the server did not start") : d.lastLog);
    }
    const MHD_DaemonInfo* info = mhd().daemonInfo(d.daemon, MHD_DAEMON_INFO_BIND_PORT);
    d.port = info != nullptr ? info->port : d.options.port;
    return true;
}

void WebServer::stop() {
    if (impl_->daemon == nullptr) return;
    mhd().stopDaemon(impl_->daemon);
    impl_->daemon = nullptr;
    impl_->watch.reset();
}

quint16 WebServer::port() const {
    return impl_->port;
}

bool WebServer::tls() const {
    return impl_->tls();
}

} // namespace web
