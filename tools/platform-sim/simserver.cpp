#include "simserver.h"

#include "connection.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

// One answer before it is written: either a body or a file streamed from disk.
struct Reply
{
    int status = 200;
    std::string contentType;
    QByteArray body;
    QString filePath; // streamed instead of body when set
    qint64 length = 0; // the announced Content-Length
    qint64 sendOnly = -1; // bytes actually sent before the connection is closed; -1: all of them
    qint64 stallAfter = -1; // bytes sent before the answer stops, its connection held open; -1: none
    int localPort = 0; // the connection, for a stalled answer to notice its client leaving
    int remotePort = 0;
    std::string location;
    std::vector<std::pair<std::string, std::string>> headers; // further headers of the answer
    qint64 fileOffset = 0; // where in the file the body starts (a range)
    qint64 pace = 0; // bytes per second; 0: as fast as it goes
};

namespace {

// A hanging request holds one thread until its client gives up, so the pool is generous.
constexpr size_t kThreads = 64;
constexpr qint64 kChunk = 64 * 1024;
constexpr std::chrono::milliseconds kHangPoll{50};

const char *const kJson = "application/json; charset=utf-8";
const char *const kText = "text/plain; charset=utf-8";
const QString kFilesPrefix = QStringLiteral("/files/");
const QString kDiagnosticsPrefix = QStringLiteral("/__sim/");

Reply bodyReply(int status, const char *contentType, const QByteArray &body)
{
    Reply reply;
    reply.status = status;
    reply.contentType = contentType;
    reply.body = body;
    reply.length = body.size();
    return reply;
}

Reply jsonReply(const QJsonObject &object)
{
    return bodyReply(200, kJson, QJsonDocument(object).toJson(QJsonDocument::Compact));
}

Reply notFound()
{
    return bodyReply(404, kText, QByteArrayLiteral("not found"));
}

std::string contentTypeFor(const QString &fileName)
{
    static const QHash<QString, const char *> types = {
        {QStringLiteral("png"), "image/png"},    {QStringLiteral("jpg"), "image/jpeg"},
        {QStringLiteral("jpeg"), "image/jpeg"},  {QStringLiteral("gif"), "image/gif"},
        {QStringLiteral("ico"), "image/x-icon"}, {QStringLiteral("json"), kJson},
        {QStringLiteral("txt"), kText},          {QStringLiteral("html"), "text/html; charset=utf-8"},
    };
    return types.value(QFileInfo(fileName).suffix().toLower(), "application/octet-stream");
}

QString stringOf(const std::string &text)
{
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

bool isPseudoHeader(const std::string &name)
{
    // httplib adds the connection's addresses to the request's headers; the client never sent them.
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

} // namespace

SimServer::SimServer(const Scenario &scenario, const QString &scenarioDir, bool quiet)
    : m_scenarioDir(scenarioDir)
    , m_quiet(quiet)
    , m_scenario(scenario)
{
    m_http.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    m_http.set_keep_alive_max_count(100);
    // Headers and body go out in separate writes; without this, Nagle and the client's delayed
    // acknowledgement hold every answer on a reused connection for 40 ms.
    m_http.set_tcp_nodelay(true);
    m_http.set_payload_max_length(64 * 1024 * 1024);
    const auto handler = [this](const httplib::Request &request, httplib::Response &response) {
        handle(request, response);
    };
    m_http.Get(".*", handler);
    m_http.Post(".*", handler);
    m_http.Put(".*", handler);
    m_http.Delete(".*", handler);
    m_http.Patch(".*", handler);
    m_http.Options(".*", handler);
}

SimServer::~SimServer() = default;

int SimServer::bind(int port)
{
    const std::string host = "127.0.0.1";
    if (port == 0)
        m_port = m_http.bind_to_any_port(host);
    else
        m_port = m_http.bind_to_port(host, port) ? port : -1;
    return m_port;
}

bool SimServer::listen()
{
    const bool served = m_stopping || m_http.listen_after_bind();
    m_listenReturned = true;
    return served;
}

void SimServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    // A stop that arrives just as listen() begins must still reach it: wait until httplib runs (or
    // listen() gave up) and stop it exactly once.
    while (!m_http.is_running() && !m_listenReturned)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_http.is_running())
        m_http.stop();
    // Idle keep-alive connections and half-read requests would otherwise hold the pool for seconds.
    if (m_port > 0)
        connection::abortAll(m_port);
}

void SimServer::handle(const httplib::Request &request, httplib::Response &response)
{
    // httplib answers a Range header by itself, without regard to If-Range or to a path that must not
    // serve ranges; the simulator answers ranges itself (applyRange), so httplib's reading is dropped.
    const_cast<httplib::Request &>(request).ranges.clear();
    const QString path = stringOf(request.path);
    if (path.startsWith(kDiagnosticsPrefix)) {
        handleDiagnostics(request, response);
        return;
    }
    record(request);

    Fault fault;
    bool faulty = false;
    int hit = 0; // this request's number among those of its path
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        hit = ++m_pathHits[path];
        if (const Fault *configured = m_scenario.fault(path)) {
            faulty = configured->times < 0 || hit <= configured->times;
            fault = *configured;
        }
    }
    if (!m_quiet)
        std::fprintf(stderr, "%s %s%s\n", request.method.c_str(), request.target.c_str(), faulty ? " (fault)" : "");

    if (faulty) {
        switch (fault.kind) {
        case Fault::Kind::Delay:
            if (!waitFor(fault.ms)) {
                resetConnection(request);
                return;
            }
            break;
        case Fault::Kind::Hang:
            hang(request);
            return;
        case Fault::Kind::Reset:
            resetConnection(request);
            return;
        case Fault::Kind::Status:
            send(bodyReply(fault.status, fault.contentType.constData(), fault.body), response);
            return;
        case Fault::Kind::NonJson:
            send(bodyReply(200, "text/html; charset=utf-8",
                           QByteArrayLiteral("<html><body><h1>502 Bad Gateway</h1></body></html>")),
                 response);
            return;
        case Fault::Kind::WrongType:
            send(bodyReply(200, kJson, QByteArrayLiteral(R"({"errorCode":1,"errorDesc":[],"data":"x"})")), response);
            return;
        case Fault::Kind::Truncated: {
            Reply reply = normalReply(request, hit);
            const qint64 full = reply.length;
            reply.sendOnly = std::min(fault.bytes < 0 ? full / 2 : fault.bytes, full);
            reply.length = std::max(full, reply.sendOnly + 1);
            send(reply, response);
            return;
        }
        }
    }
    send(normalReply(request, hit), response);
}

void SimServer::handleDiagnostics(const httplib::Request &request, httplib::Response &response)
{
    const QString path = stringOf(request.path);
    if (path == QLatin1String("/__sim/requests") && request.method == "GET") {
        const QString only = stringOf(request.get_param_value("path"));
        QJsonArray selected;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const QJsonValue &entry : qAsConst(m_records)) {
                if (only.isEmpty() || entry.toObject().value(QLatin1String("path")).toString() == only)
                    selected.append(entry);
            }
        }
        send(bodyReply(200, kJson, QJsonDocument(selected).toJson(QJsonDocument::Compact)), response);
    } else if (path == QLatin1String("/__sim/requests") && request.method == "DELETE") {
        int cleared = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            cleared = m_records.size();
            m_records = QJsonArray();
        }
        send(jsonReply(QJsonObject{{QStringLiteral("cleared"), cleared}}), response);
    } else if (path == QLatin1String("/__sim/scenario") && request.method == "POST") {
        Scenario scenario;
        QString error;
        if (!Scenario::parse(QByteArray::fromStdString(request.body), m_scenarioDir, &scenario, &error)) {
            send(bodyReply(400, kText, error.toUtf8()), response);
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_scenario = scenario;
            m_pathHits.clear();
            m_qrPolls.clear();
        }
        send(bodyReply(200, kText, QByteArrayLiteral("ok")), response);
    } else {
        send(notFound(), response);
    }
}

Reply SimServer::normalReply(const httplib::Request &request, int hit)
{
    const QString path = stringOf(request.path);
    if (path.startsWith(kFilesPrefix))
        return fileReply(request, path, hit);
    if (path == QLatin1String("/platform/log/commonlog.html"))
        return bodyReply(200, kText, QByteArrayLiteral("ok"));
    return platformReply(path, QByteArray::fromStdString(request.body));
}

Reply SimServer::platformReply(const QString &path, const QByteArray &body)
{
    // A body that is not a JSON object is read as an empty request: every key reads empty.
    const QJsonObject request = QJsonDocument::fromJson(body).object();
    const auto field = [&request](const char *key) { return request.value(QLatin1String(key)).toString(); };
    const QJsonObject dyData = request.value(QLatin1String("dyData")).toObject();
    const auto dyField = [&dyData](const char *key) { return dyData.value(QLatin1String(key)).toString(); };

    std::lock_guard<std::mutex> lock(m_mutex);
    if (path == QLatin1String("/user/init/appinit.html"))
        return jsonReply(m_scenario.appInitAnswer());
    if (path == QLatin1String("/user/user/tokenlogin.html"))
        return jsonReply(m_scenario.tokenLoginAnswer(field("tokenId")));
    if (path == QLatin1String("/user/user/phonelogin.html"))
        return jsonReply(m_scenario.phoneLoginAnswer(dyField("phoneNum"), dyField("verifyCode")));
    if (path == QLatin1String("/user/user/sendverifycode.html"))
        return jsonReply(m_scenario.sendCodeAnswer(dyField("phoneNum")));
    if (path == QLatin1String("/user/user/getgongzhongqrcode.html"))
        return jsonReply(m_scenario.qrCodeAnswer(field("preLoginToken")));
    if (path == QLatin1String("/user/user/gongzhongqrcodelogin.html"))
        return jsonReply(m_scenario.qrLoginAnswer(++m_qrPolls[field("preLoginToken")]));
    return notFound();
}

Reply SimServer::fileReply(const httplib::Request &request, const QString &path, int hit)
{
    QString root;
    QString redirect;
    qint64 drop = -1;
    qint64 stall = -1;
    bool ranges = true;
    bool checksIfRange = true;
    qint64 pace = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        root = m_scenario.filesRoot();
        redirect = m_scenario.redirectTarget(path);
        drop = m_scenario.dropAfter(path, hit);
        stall = m_scenario.stallAfter(path, hit);
        ranges = m_scenario.servesRanges(path);
        checksIfRange = m_scenario.checksIfRange(path);
        pace = m_scenario.paceOf(path);
    }
    if (!redirect.isEmpty()) {
        Reply reply = bodyReply(302, kText, QByteArray());
        std::string location = redirect.toStdString();
        if (redirect.startsWith(QLatin1Char('/')) && request.has_header("Host"))
            location = "http://" + request.get_header_value("Host") + location;
        reply.location = location;
        return reply;
    }
    if (root.isEmpty())
        return notFound();

    // httplib has already decoded the path, so "%2e%2e" arrives here as "..".
    const QString name = path.mid(kFilesPrefix.size());
    const QStringList segments = name.split(QLatin1Char('/'));
    for (const QString &segment : segments) {
        if (segment == QLatin1String("..") || segment.contains(QLatin1Char('\\')) || segment.contains(QChar(0)))
            return notFound();
    }
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QFileInfo info(root + QLatin1Char('/') + name);
    const QString canonical = info.canonicalFilePath();
    if (canonicalRoot.isEmpty() || canonical.isEmpty() || !info.isFile() ||
        !canonical.startsWith(canonicalRoot + QLatin1Char('/')))
        return notFound();

    Reply reply;
    reply.contentType = contentTypeFor(canonical);
    reply.filePath = canonical;
    reply.length = info.size();
    reply.pace = pace;
    // The validators a client resumes with; a changed file has other ones.
    const QDateTime modified = info.lastModified().toUTC();
    const std::string etag = QStringLiteral("\"%1-%2\"").arg(info.size()).arg(modified.toMSecsSinceEpoch()).toStdString();
    const std::string lastModified =
        QLocale::c().toString(modified, QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'")).toStdString();
    reply.headers = {{"ETag", etag}, {"Last-Modified", lastModified}};
    if (ranges) {
        reply.headers.emplace_back("Accept-Ranges", "bytes");
        applyRange(request, checksIfRange ? etag : std::string(), checksIfRange ? lastModified : std::string(), &reply);
    }
    if (drop >= 0)
        reply.sendOnly = std::min(drop, reply.length);
    if (stall >= 0 && stall < reply.length) {
        reply.stallAfter = stall;
        reply.localPort = request.local_port;
        reply.remotePort = request.remote_port;
    }
    return reply;
}

void SimServer::applyRange(const httplib::Request &request, const std::string &etag, const std::string &lastModified,
                           Reply *reply)
{
    if (!request.has_header("Range"))
        return;
    // An If-Range that names another version of the file asks for the whole new file (unless the path
    // pays it no heed: then both validators are empty).
    if (request.has_header("If-Range") && !(etag.empty() && lastModified.empty())) {
        const std::string ifRange = request.get_header_value("If-Range");
        if (ifRange != etag && ifRange != lastModified)
            return;
    }
    // One range, "bytes=FIRST-" or "bytes=FIRST-LAST"; anything else is answered with the whole file.
    const QString range = stringOf(request.get_header_value("Range")).trimmed();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^bytes=(\\d+)-(\\d*)$")).match(range);
    if (!match.hasMatch())
        return;
    const qint64 size = reply->length;
    const qint64 first = match.captured(1).toLongLong();
    const qint64 last = match.captured(2).isEmpty() ? size - 1 : std::min(match.captured(2).toLongLong(), size - 1);
    if (first >= size || last < first) {
        reply->status = 416;
        reply->length = 0;
        reply->filePath.clear();
        reply->headers.emplace_back("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    reply->status = 206;
    reply->fileOffset = first;
    reply->length = last - first + 1;
    reply->headers.emplace_back("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                    std::to_string(size));
}

void SimServer::send(Reply reply, httplib::Response &response)
{
    response.status = reply.status;
    if (!reply.location.empty())
        response.set_header("Location", reply.location);
    for (const auto &header : reply.headers)
        response.set_header(header.first, header.second);
    if (reply.length == 0) {
        response.set_content(std::string(), reply.contentType);
        return;
    }

    // What the provider reads from: the body, or the file through one reused buffer, so a transfer
    // of any size costs the same memory.
    struct Source
    {
        QByteArray body;
        QFile file;
        std::vector<char> buffer;
    };
    auto source = std::make_shared<Source>();
    source->body = reply.body;
    if (!reply.filePath.isEmpty()) {
        source->file.setFileName(reply.filePath);
        if (!source->file.open(QIODevice::ReadOnly)) {
            response.status = 500;
            response.set_content("cannot read " + reply.filePath.toStdString(), kText);
            return;
        }
        source->buffer.resize(static_cast<size_t>(kChunk));
    }
    // Every answer goes through a sized content provider: httplib then sends exactly the announced
    // Content-Length, never compresses, and a provider that stops early cuts the connection.
    const qint64 limit = reply.stallAfter >= 0 ? reply.stallAfter : reply.sendOnly < 0 ? reply.length : reply.sendOnly;
    const bool stalls = reply.stallAfter >= 0;
    const int localPort = reply.localPort, remotePort = reply.remotePort;
    const qint64 fileOffset = reply.fileOffset;
    const qint64 pace = reply.pace;
    const auto started = std::chrono::steady_clock::now();
    response.set_content_provider(static_cast<size_t>(reply.length), reply.contentType,
                                  [=](size_t offset, size_t length, httplib::DataSink &sink) {
                                      const qint64 at = static_cast<qint64>(offset);
                                      if (stalls && at >= limit)
                                          holdOpen(localPort, remotePort);
                                      if (m_stopping || at >= limit)
                                          return false;
                                      qint64 count = std::min({static_cast<qint64>(length), kChunk, limit - at});
                                      if (pace > 0) {
                                          // Pieces of a twentieth of a second, each sent when its time has come.
                                          count = std::min(count, std::max<qint64>(pace / 20, 1));
                                          const auto due = started + std::chrono::milliseconds(1000 * at / pace);
                                          const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                                              due - std::chrono::steady_clock::now());
                                          if (wait.count() > 0 && !waitFor(int(wait.count())))
                                              return false;
                                      }
                                      if (!source->file.isOpen()) {
                                          if (at + count > source->body.size())
                                              return false;
                                          return sink.write(source->body.constData() + at, static_cast<size_t>(count));
                                      }
                                      if (source->file.pos() != fileOffset + at && !source->file.seek(fileOffset + at))
                                          return false;
                                      const qint64 read = source->file.read(source->buffer.data(), count);
                                      if (read <= 0)
                                          return false;
                                      return sink.write(source->buffer.data(), static_cast<size_t>(read));
                                  });
}

void SimServer::record(const httplib::Request &request)
{
    QJsonObject headers;
    for (const auto &header : request.headers) {
        if (isPseudoHeader(header.first))
            continue;
        const QString name = stringOf(header.first);
        const QString value = stringOf(header.second);
        const QString earlier = headers.value(name).toString();
        headers.insert(name, earlier.isEmpty() ? value : earlier + QLatin1String(", ") + value);
    }
    const auto question = request.target.find('?');
    const std::string query = question == std::string::npos ? std::string() : request.target.substr(question + 1);
    const QJsonObject entry{
        {QStringLiteral("method"), stringOf(request.method)},
        {QStringLiteral("path"), stringOf(request.path)},
        {QStringLiteral("query"), stringOf(query)},
        {QStringLiteral("headers"), headers},
        {QStringLiteral("body"), stringOf(request.body)},
        {QStringLiteral("time"), static_cast<double>(QDateTime::currentMSecsSinceEpoch())},
        {QStringLiteral("clientPort"), request.remote_port},
    };
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.append(entry);
}

bool SimServer::waitFor(int ms)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return !m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping.load(); });
}

void SimServer::hang(const httplib::Request &request)
{
    holdOpen(request.local_port, request.remote_port);
}

void SimServer::holdOpen(int localPort, int remotePort)
{
    const int socket = connection::find(localPort, remotePort);
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
        m_wake.wait_for(lock, kHangPoll, [this] { return m_stopping.load(); });
        if (socket >= 0 && connection::peerClosed(socket))
            break;
    }
    lock.unlock();
    if (socket >= 0)
        connection::abort(socket);
}

void SimServer::resetConnection(const httplib::Request &request)
{
    const int socket = connection::find(request.local_port, request.remote_port);
    if (socket >= 0)
        connection::abort(socket);
    else
        std::fprintf(stderr, "tessaly-platform-sim: connection of %s:%d not found\n", request.remote_addr.c_str(),
                     request.remote_port);
}
