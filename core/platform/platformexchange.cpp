#include "core/platform/platformexchange.h"

#include "core/base/logging.h"
#include "core/platform/mycontext.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonValue>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

// What the watchers of one reply collect while it runs.
struct PlatformExchange::Watch
{
    qint64 maxBody = 0;
    QByteArray body;
    bool timedOut = false;
    bool tooLarge = false;
};

namespace {

using PlatformExchange::Watch;

// The request as the log shows it: tokens and codes as "***", a phone number as its first 3 and
// last 4 digits, a head image as its length. Nested objects ("dyData") are masked alike.
QJsonObject maskedForLog(QJsonObject request)
{
    for (auto it = request.begin(); it != request.end(); ++it) {
        const QString key = it.key();
        if (it.value().isObject()) {
            it.value() = maskedForLog(it.value().toObject());
        } else if (key == QLatin1String("tokenId") || key == QLatin1String("preLoginToken") ||
                   key == QLatin1String("verifyCode")) {
            it.value() = QStringLiteral("***");
        } else if (key == QLatin1String("phoneNum")) {
            const QString number = it.value().toString();
            it.value() = number.size() > 7 ? number.left(3) + QStringLiteral("****") + number.right(4)
                                           : QStringLiteral("***");
        } else if (key == QLatin1String("headImgBase64")) {
            it.value() = it.value().toString().size();
        }
    }
    return request;
}

void takeBody(QNetworkReply *reply, Watch &watch)
{
    if (watch.tooLarge)
        return;
    watch.body += reply->read(watch.maxBody + 1 - watch.body.size());
    if (watch.body.size() > watch.maxBody) {
        watch.tooLarge = true;
        watch.body.clear();
    }
}

// Arms the time-out and the size cap on a reply that has not started yet. Both abort the reply, which
// then finishes with an error like any other network failure.
std::shared_ptr<Watch> watchReply(QNetworkReply *reply, qint64 maxBody)
{
    auto watch = std::make_shared<Watch>();
    watch->maxBody = maxBody;

    auto *timer = new QTimer(reply);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer); // a coarse timer may fire up to 5 % early
    QObject::connect(timer, &QTimer::timeout, reply, [reply, watch] {
        watch->timedOut = true;
        reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, timer, &QTimer::stop);

    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, watch] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > watch->maxBody && !watch->tooLarge) {
            watch->tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, watch] {
        const bool wasTooLarge = watch->tooLarge;
        takeBody(reply, *watch);
        if (watch->tooLarge && !wasTooLarge)
            reply->abort();
    });

    timer->start(MyContext::httpTimeoutMs());
    return watch;
}

// Reads the outcome of a finished reply and logs a failure the way every exchange does.
PlatformExchange::Answer conclude(QNetworkReply *reply, Watch &watch)
{
    PlatformExchange::Answer answer;
    answer.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.networkError = reply->error();
    if (reply->error() == QNetworkReply::NoError && !watch.timedOut && !watch.tooLarge)
        takeBody(reply, watch);

    if (reply->error() != QNetworkReply::NoError || watch.timedOut || watch.tooLarge) {
        if (answer.networkError == QNetworkReply::NoError)
            answer.networkError = QNetworkReply::OperationCanceledError;
        qCWarning(lcPlatform) << "request protobufHttp handle errors here";
        qCWarning(lcPlatform, "request protobufHttp found error ....code: %d %d\n", answer.httpStatus,
                  answer.networkError);
        qCWarning(lcPlatform) << reply->errorString();
        if (watch.timedOut)
            qCWarning(lcPlatform) << "no complete answer within" << MyContext::httpTimeoutMs() << "ms";
        if (watch.tooLarge)
            qCWarning(lcPlatform) << "answer larger than" << watch.maxBody << "bytes refused";
        return answer;
    }

    answer.received = true;
    answer.body = watch.body;
    answer.object = PlatformExchange::parseObject(answer.body);
    return answer;
}

QNetworkRequest makeRequest(const QString &url)
{
    return QNetworkRequest(QUrl(url, QUrl::TolerantMode));
}

} // namespace

PlatformExchange::Pending::Pending(const QNetworkRequest &request, const QByteArray *postBody, qint64 maxBody,
                                   QNetworkAccessManager *manager)
{
    if (!manager)
        manager = m_ownManager = new QNetworkAccessManager;
    m_reply = postBody ? manager->post(request, *postBody) : manager->get(request);
    if (!m_reply) {
        qCWarning(lcPlatform) << "reply object not created";
        return;
    }
    m_watch = watchReply(m_reply, maxBody);
}

PlatformExchange::Pending::~Pending()
{
    if (m_reply) {
        m_reply->disconnect();
        m_reply->abort();
        m_reply->deleteLater();
    }
    if (m_ownManager)
        m_ownManager->deleteLater();
}

PlatformExchange::Answer PlatformExchange::Pending::wait()
{
    if (!m_reply)
        return {};
    // Other slots run while this loop waits; everything used below belongs to this exchange alone.
    if (!m_reply->isFinished()) {
        QEventLoop loop;
        QObject::connect(m_reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The loop returns at once when the application is already leaving; an answer that has not
    // arrived then counts as a failed exchange.
    if (!m_reply->isFinished())
        m_reply->abort();

    const Answer answer = conclude(m_reply, *m_watch);
    m_reply->disconnect();
    m_reply->deleteLater();
    m_reply = nullptr;
    return answer;
}

QString PlatformExchange::Answer::errorCode() const
{
    return stringValue(object, QStringLiteral("errorCode"));
}

QString PlatformExchange::Answer::errorDesc() const
{
    return stringValue(object, QStringLiteral("errorDesc"));
}

QJsonObject PlatformExchange::Answer::data() const
{
    return object.value(QLatin1String("data")).toObject();
}

bool PlatformExchange::Answer::succeeded() const
{
    return received && errorCode() == MyContext::successCode;
}

QJsonObject PlatformExchange::envelope(const QString &service)
{
    QJsonObject request;
    request.insert(QStringLiteral("productId"), MyContext::productId);
    request.insert(QStringLiteral("channelId"), MyContext::channelId);
    request.insert(QStringLiteral("service"), service);
    return request;
}

QString PlatformExchange::stringValue(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

QJsonObject PlatformExchange::parseObject(const QByteArray &body)
{
    return QJsonDocument::fromJson(body).object();
}

std::unique_ptr<PlatformExchange::Pending> PlatformExchange::sendJson(const QString &url, const QJsonObject &request)
{
    const QByteArray json = QJsonDocument(request).toJson(QJsonDocument::Compact);
    qCDebug(lcPlatform).noquote() << "===================="
                                  << QString::fromUtf8(QJsonDocument(maskedForLog(request)).toJson(QJsonDocument::Compact));

    QNetworkRequest networkRequest = makeRequest(url);
    networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    networkRequest.setHeader(QNetworkRequest::ContentLengthHeader, json.size());
    return std::make_unique<Pending>(networkRequest, &json, maxJsonBody);
}

std::unique_ptr<PlatformExchange::Pending> PlatformExchange::sendGet(const QString &url, qint64 maxBody,
                                                                     QNetworkAccessManager *manager)
{
    QNetworkRequest networkRequest = makeRequest(url);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    return std::make_unique<Pending>(networkRequest, nullptr, maxBody, manager);
}

PlatformExchange::Answer PlatformExchange::postJson(const QString &url, const QJsonObject &request)
{
    return sendJson(url, request)->wait();
}

PlatformExchange::Answer PlatformExchange::get(const QString &url, qint64 maxBody)
{
    return sendGet(url, maxBody)->wait();
}

void PlatformExchange::postTextInBackground(const QString &url, const QByteArray &text,
                                            const std::function<void(const Answer &)> &onEnded)
{
    QNetworkRequest networkRequest = makeRequest(url);
    networkRequest.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    networkRequest.setHeader(QNetworkRequest::ContentLengthHeader, text.size());

    auto *manager = new QNetworkAccessManager;
    QNetworkReply *reply = manager->post(networkRequest, text);
    if (!reply) {
        qCWarning(lcPlatform) << "reply object not created";
        manager->deleteLater();
        return;
    }
    qCDebug(lcPlatform) << "background post:" << url;
    const std::shared_ptr<Watch> watch = watchReply(reply, maxJsonBody);
    QObject::connect(reply, &QNetworkReply::finished, manager, [manager, reply, watch, onEnded, url] {
        const Answer answer = conclude(reply, *watch);
        reply->deleteLater();
        manager->deleteLater();
        qCDebug(lcPlatform) << "background post ended:" << url << ",answered:" << answer.received;
        if (onEnded)
            onEnded(answer);
    });
}
