// Asio brings winsock2.h, which must come before the windows.h of the feeder's headers.
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "status_server.h"

#include <chrono>
#include <list>
#include <optional>

#include "status_formats.h"
#include "system_error.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

const size_t HEADER_LIMIT_BYTES = 8 * 1024;
const size_t READ_BUFFER_BYTES = 2 * HEADER_LIMIT_BYTES;
const size_t MAX_CONNECTIONS = 16;
const std::chrono::seconds CONNECTION_TIME(5);     // in all, from accept to close
const std::chrono::milliseconds ACCEPT_RETRY(100); // after the system refused an accept
const std::chrono::seconds KEEP_ALIVE_LEAST(1);
const size_t DRAIN_PIECE_BYTES = 4096;
const char TEXT_TYPE[] = "text/plain; charset=utf-8";
const char SERVER_NAME[] = "zelmoor_feeder";
const char VERSION[] = ZELMOOR_VERSION;
// The page runs its own inline script and style and asks this server alone.
const char PAGE_POLICY[] = "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
                           "connect-src 'self'; base-uri 'none'; form-action 'none'";

using Request = http::request_parser<http::empty_body>;

struct Answer {
    http::status    status;
    const char*     type;
    std::string     body;
    bool            page = false;
};

// Reads nothing from the request but its method, path and host: no file, no parameter.
Answer Route(const StatusBoard& board, const StatusEndpoint& endpoint, const http::request<http::empty_body>& request)
{
    if (request.method() != http::verb::get && request.method() != http::verb::head)
        return {http::status::method_not_allowed, TEXT_TYPE, "only GET and HEAD are answered here\n"};
    if (!HostHeaderAllowed(std::string(request[http::field::host]), endpoint))
        return {http::status::forbidden, TEXT_TYPE, "this page answers requests to 127.0.0.1 or localhost only\n"};
    const beast::string_view target = request.target();
    const beast::string_view path = target.substr(0, target.find('?'));
    if (path == "/")
        return {http::status::ok, STATUS_PAGE_TYPE, StatusPage(), true};
    if (path == "/status.json")
        return {http::status::ok, STATUS_JSON_TYPE, StatusJson(board.Snapshot(VERSION))};
    if (path == "/metrics")
        return {http::status::ok, STATUS_METRICS_TYPE, StatusMetrics(board.Snapshot(VERSION))};
    return {http::status::not_found, TEXT_TYPE, "not found: the feeder answers /, /status.json and /metrics\n"};
}

template <class Body>
void SetHeaders(http::response<Body>* response, const Answer& answer, bool keepAlive)
{
    response->set(http::field::server, SERVER_NAME);
    response->set(http::field::content_type, answer.type);
    response->set(http::field::cache_control, "no-store");
    response->set("X-Content-Type-Options", "nosniff");
    if (answer.page)
        response->set("Content-Security-Policy", PAGE_POLICY);
    if (answer.status == http::status::method_not_allowed)
        response->set(http::field::allow, "GET, HEAD");
    response->keep_alive(keepAlive);
}

class Session;

} // namespace

struct StatusServer::Impl {
    explicit Impl(const StatusBoard* givenBoard) : board(givenBoard) {}
    void Accept();
    void Admit(tcp::socket socket);
    static DWORD WINAPI ThreadMain(void* self);

    const StatusBoard*      board;
    StatusEndpoint          endpoint;
    std::list<Session*>     sessions;           // oldest first; only the server's thread touches it
    asio::io_context        io{1};              // after sessions: its end frees the last of them
    tcp::acceptor           acceptor{io};
    asio::steady_timer      retry{io};
    HANDLE                  hThread = NULL;
};

namespace {

// One connection: requests read and answered in turn until it ends, its time is up,
// or a newer connection needs its place while it has not sent a whole request.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(StatusServer::Impl* server, tcp::socket socket)
        : m_server(server), m_stream(std::move(socket)), m_buffer(READ_BUFFER_BYTES),
          m_deadline(std::chrono::steady_clock::now() + CONNECTION_TIME), m_reached(server->endpoint)
    {
        m_place = m_server->sessions.insert(m_server->sessions.end(), this);
        // Bound to every address, a connection to loopback still gets loopback's Host rule.
        beast::error_code ec;
        const tcp::endpoint local = m_stream.socket().local_endpoint(ec);
        if (!ec)
            m_reached.address = local.address().to_string();
    }
    ~Session() { Leave(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Begin() { ReadRequest(); }
    // Not answering anyone: waiting for a request, or for the client to close after the last answer.
    bool Evictable() const { return m_evictable; }
    // Its pending work ends with an error, and the last handler frees it.
    void Close()
    {
        Leave();
        beast::error_code ignored;
        m_stream.socket().close(ignored);
    }

private:
    void Leave()
    {
        if (m_place != m_server->sessions.end()) {
            m_server->sessions.erase(m_place);
            m_place = m_server->sessions.end();
        }
    }

    void ReadRequest()
    {
        m_evictable = true;
        m_request.emplace();
        m_request->header_limit(HEADER_LIMIT_BYTES);
        m_stream.expires_at(m_deadline);
        http::async_read_header(m_stream, m_buffer, *m_request,
                                [self = shared_from_this()](beast::error_code ec, size_t) { self->OnRequest(ec); });
    }

    void OnRequest(beast::error_code ec)
    {
        m_evictable = false;
        if (ec == http::error::header_limit)
            return Send(Answer{http::status::request_header_fields_too_large, TEXT_TYPE,
                               "the request's line and headers pass the limit of 8 KiB\n"}, false, false);
        if (ec == http::error::end_of_stream || ec == beast::error::timeout || ec == asio::error::operation_aborted
            || ec == asio::error::connection_reset || ec == asio::error::eof)
            return Close();
        if (ec)
            return Send(Answer{http::status::bad_request, TEXT_TYPE, "not a request this server reads\n"}, false, false);
        const auto& request = m_request->get();
        // A request with a body is answered, and its body never read: the connection ends after it.
        // Kept only with time left for another request: one sent as the time runs out would be lost.
        const bool keepAlive = request.keep_alive() && m_request->is_done()
                            && m_deadline - std::chrono::steady_clock::now() > KEEP_ALIVE_LEAST;
        Send(Route(*m_server->board, m_reached, request), keepAlive, request.method() == http::verb::head);
    }

    void Send(const Answer& answer, bool keepAlive, bool headOnly)
    {
        auto self = shared_from_this();
        const auto written = [self, keepAlive](beast::error_code ec, size_t) { self->OnSent(ec, keepAlive); };
        m_stream.expires_at(m_deadline);
        if (headOnly) {
            auto response = std::make_shared<http::response<http::empty_body>>(answer.status, HTTP_VERSION_11);
            SetHeaders(response.get(), answer, keepAlive);
            response->content_length(answer.body.size());
            m_response = response;
            http::async_write(m_stream, *response, written);
            return;
        }
        auto response = std::make_shared<http::response<http::string_body>>(answer.status, HTTP_VERSION_11, answer.body);
        SetHeaders(response.get(), answer, keepAlive);
        response->prepare_payload();
        m_response = response;
        http::async_write(m_stream, *response, written);
    }

    void OnSent(beast::error_code ec, bool keepAlive)
    {
        m_response.reset();
        if (ec)
            return Close();
        if (keepAlive)
            return ReadRequest();
        // What the client still sends is read and dropped until it closes: closing on unread
        // bytes would reset the connection, and the client could lose the answer.
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        m_evictable = true;
        Drain();
    }

    void Drain()
    {
        m_stream.async_read_some(asio::buffer(m_drain), [self = shared_from_this()](beast::error_code ec, size_t) {
            if (ec)
                self->Close();
            else
                self->Drain();
        });
    }

    static constexpr unsigned HTTP_VERSION_11 = 11;

    StatusServer::Impl*                 m_server;
    beast::tcp_stream                   m_stream;
    beast::flat_buffer                  m_buffer;
    std::chrono::steady_clock::time_point m_deadline;
    std::optional<Request>              m_request;
    std::shared_ptr<void>               m_response;     // kept while it is written
    char                                m_drain[DRAIN_PIECE_BYTES];
    std::list<Session*>::iterator       m_place;        // in the server's list; its end once left
    StatusEndpoint                      m_reached;      // the address this connection came to
    bool                                m_evictable = true;
};

std::string EndpointText(const StatusEndpoint& endpoint)
{
    return endpoint.address + ":" + std::to_string(endpoint.port);
}

} // namespace

void StatusServer::Impl::Accept()
{
    acceptor.async_accept([this](beast::error_code ec, tcp::socket socket) {
        if (ec == asio::error::operation_aborted)
            return;
        if (!ec) {
            Accept();   // first: should admitting throw, the next connection is still taken
            return Admit(std::move(socket));
        }
        // Out of sockets or memory for a moment: try again soon rather than spin.
        retry.expires_after(ACCEPT_RETRY);
        retry.async_wait([this](beast::error_code waited) {
            if (!waited)
                Accept();
        });
    });
}

// At the limit, the oldest connection that is answering no one makes room:
// a flood of idle connections then costs each of them its place, never the page.
void StatusServer::Impl::Admit(tcp::socket socket)
{
    if (sessions.size() >= MAX_CONNECTIONS) {
        Session* idle = nullptr;
        for (Session* session : sessions)
            if (session->Evictable()) {
                idle = session;
                break;
            }
        if (idle == nullptr)
            return;     // every place is answering: this one is closed as it goes
        idle->Close();
    }
    std::make_shared<Session>(this, std::move(socket))->Begin();
}

DWORD WINAPI StatusServer::Impl::ThreadMain(void* self)
{
    Impl* impl = static_cast<Impl*>(self);
    for (;;) {
        try {
            impl->io.run();
            return 0;
        } catch (const std::exception&) {
            // A handler ran out of memory: that connection is lost, the page goes on.
        }
    }
}

StatusServer::StatusServer(const StatusBoard* board) : m_impl(new Impl(board)) {}

StatusServer::~StatusServer()
{
    Stop(INFINITE);
}

bool StatusServer::Start(const StatusEndpoint& endpoint, std::string* why)
{
    beast::error_code ec;
    const tcp::endpoint where(asio::ip::make_address_v4(endpoint.address, ec), endpoint.port);
    tcp::acceptor& acceptor = m_impl->acceptor;
    if (!ec)
        acceptor.open(where.protocol(), ec);
    if (!ec) {
        // Without it, Windows lets another program's socket that asks to reuse the address share the port.
        BOOL exclusive = TRUE;
        setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
                   sizeof exclusive);
        acceptor.bind(where, ec);
    }
    if (!ec)
        acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        *why = "cannot listen on " + EndpointText(endpoint) + " (" + SystemErrorText(static_cast<DWORD>(ec.value())) + ")";
        return false;
    }
    m_impl->endpoint = endpoint;
    m_impl->Accept();
    m_impl->hThread = CreateThread(NULL, 0, Impl::ThreadMain, m_impl.get(), 0, NULL);
    if (m_impl->hThread == NULL) {
        *why = "cannot start the status page's thread (" + SystemErrorText(GetLastError()) + ")";
        return false;
    }
    return true;
}

bool StatusServer::Stop(DWORD timeoutMs)
{
    if (m_impl->hThread == NULL)
        return true;
    m_impl->io.stop();
    if (WaitForSingleObject(m_impl->hThread, timeoutMs) != WAIT_OBJECT_0)
        return false;
    CloseHandle(m_impl->hThread);
    m_impl->hThread = NULL;
    return true;
}
