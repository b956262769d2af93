#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <functional>
#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;

// One HTTP exchange with the platform: a fresh network manager, a POST (or GET for images), a local event
// loop that always has a time-out, and the reading of the answer envelope. Every platform request of
// MyContext goes through here.
namespace PlatformExchange {

// Largest answer accepted; a bigger body aborts the exchange, which then counts as a network failure.
constexpr qint64 maxJsonBody = 8 * 1024 * 1024;
constexpr qint64 maxImageBody = 16 * 1024 * 1024;

// What came back from one exchange.
struct Answer
{
    // A complete answer arrived in time and without a network or HTTP error.
    bool received = false;
    int httpStatus = 0;
    int networkError = 0; // QNetworkReply::NetworkError; also set for a time-out or an oversized body
    QByteArray body;
    QJsonObject object; // the body as a JSON object; empty when the body is not one

    QString errorCode() const;
    QString errorDesc() const;
    QJsonObject data() const;
    // received, and "errorCode" is exactly the success code.
    bool succeeded() const;
};

// A request object with "productId", "channelId" and "service".
QJsonObject envelope(const QString &service);

// The value of key when it is a JSON string, otherwise "".
QString stringValue(const QJsonObject &object, const QString &key);
// The body as a JSON object; anything that is not a JSON object gives an empty one.
QJsonObject parseObject(const QByteArray &body);

struct Watch;

// An exchange sent at once and waited for later, so that several run at the same time: each one's
// time-out runs from its sending, and waiting for several in turn takes as long as the slowest.
// Without a manager of the caller's it has one of its own. Destroyed without a wait, it is aborted.
class Pending
{
public:
    Pending(const QNetworkRequest &request, const QByteArray *postBody, qint64 maxBody,
            QNetworkAccessManager *manager = nullptr);
    ~Pending();
    Pending(const Pending &) = delete;
    Pending &operator=(const Pending &) = delete;

    // Waits in a local event loop until the exchange has ended; once only.
    Answer wait();

private:
    QNetworkAccessManager *m_ownManager = nullptr;
    QNetworkReply *m_reply = nullptr;
    std::shared_ptr<Watch> m_watch;
};

// The JSON exchange of postJson, sent now.
std::unique_ptr<Pending> sendJson(const QString &url, const QJsonObject &request);
// The GET of get, sent now on `manager` (one of its own when null).
std::unique_ptr<Pending> sendGet(const QString &url, qint64 maxBody, QNetworkAccessManager *manager = nullptr);

// Posts the request compactly serialised as application/json and waits for the answer.
Answer postJson(const QString &url, const QJsonObject &request);
// GETs url (following safe redirects) and waits; bodies above maxBody fail the exchange.
Answer get(const QString &url, qint64 maxBody);
// Posts text as text/plain without waiting; onEnded runs (on this thread) once the exchange has ended,
// after which its network objects are released. Logs "background post:" when sent and
// "background post ended:" when ended.
void postTextInBackground(const QString &url, const QByteArray &text,
                          const std::function<void(const Answer &)> &onEnded = {});

} // namespace PlatformExchange
