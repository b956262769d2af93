#pragma once

#include "scenario.h"

#include <httplib.h>

#include <QHash>
#include <QJsonArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>

struct Reply;

// The simulated platform: answers the platform paths from the scenario, serves static files, applies
// the scenario's faults and records every request for the tests. Handlers run on httplib's pool
// threads; everything they share sits behind m_mutex.
class SimServer
{
public:
    SimServer(const Scenario &scenario, const QString &scenarioDir, bool quiet);
    ~SimServer();

    SimServer(const SimServer &) = delete;
    SimServer &operator=(const SimServer &) = delete;

    // Binds 127.0.0.1:port (0 picks a free port); returns the bound port or -1.
    int bind(int port);
    // Serves until stop(); returns false when the server could not run.
    bool listen();
    // Ends listen() promptly: wakes waiting handlers and drops every open connection. Called once,
    // from another thread than listen(), and only after a successful bind().
    void stop();

private:
    void handle(const httplib::Request &request, httplib::Response &response);
    void handleDiagnostics(const httplib::Request &request, httplib::Response &response);
    Reply normalReply(const httplib::Request &request, int hit);
    Reply platformReply(const QString &path, const QByteArray &body);
    Reply fileReply(const httplib::Request &request, const QString &path, int hit);
    // Turns a file's reply into the part a Range request asks for (206, or 416 beyond its end), unless
    // an If-Range names another version of the file.
    static void applyRange(const httplib::Request &request, const std::string &etag, const std::string &lastModified,
                           Reply *reply);
    void send(Reply reply, httplib::Response &response);
    void record(const httplib::Request &request);
    // Waits until the time has passed (true) or the server stops (false).
    bool waitFor(int ms);
    // Keeps the request's connection open, unanswered, until the client gives up or the server stops.
    void hang(const httplib::Request &request);
    // Sends nothing more on this connection until the client closes it or the server stops; then drops it.
    void holdOpen(int localPort, int remotePort);
    void resetConnection(const httplib::Request &request);

    httplib::Server m_http;
    const QString m_scenarioDir;
    const bool m_quiet;
    int m_port = -1;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_listenReturned{false};
    Scenario m_scenario;
    QHash<QString, int> m_pathHits; // requests per path since the scenario was loaded
    QHash<QString, int> m_qrPolls; // QR login polls per preLoginToken
    QJsonArray m_records;
};
