#include "simulator.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr int kStopTimeoutMs = 3000;
constexpr int kExchangeTimeoutMs = 5000;

} // namespace

QString Simulator::program()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSALY_SIM");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // A test started by hand from build/tests finds the simulator beside the program.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-platform-sim");
}

Simulator::Simulator(const QJsonObject &scenario, const QString &scenarioDir)
{
    QString dir = scenarioDir;
    if (dir.isEmpty()) {
        QDir().mkpath(QDir::tempPath()); // a test's private TMPDIR may not exist yet
        m_tempDir = std::make_unique<QTemporaryDir>();
        if (!m_tempDir->isValid()) {
            qWarning("Simulator: cannot create a temporary folder: %s", qPrintable(m_tempDir->errorString()));
            return;
        }
        dir = m_tempDir->path();
    } else {
        QDir().mkpath(dir);
    }
    const QString scenarioPath = QDir(dir).filePath(QStringLiteral("scenario.json"));
    QFile file(scenarioPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(QJsonDocument(scenario).toJson(QJsonDocument::Indented)) < 0) {
        qWarning("Simulator: cannot write %s", qPrintable(scenarioPath));
        return;
    }
    file.close();

    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(program(),
                     {QStringLiteral("--scenario"), scenarioPath, QStringLiteral("--port"), QStringLiteral("0"),
                      QStringLiteral("--quiet")});
    if (!m_process->waitForStarted(kStartTimeoutMs)) {
        qWarning("Simulator: cannot start %s: %s", qPrintable(program()), qPrintable(m_process->errorString()));
        return;
    }
    const QDeadlineTimer deadline(kStartTimeoutMs);
    while (!m_process->canReadLine()) {
        if (deadline.hasExpired() || !m_process->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            break;
    }
    const QString line = QString::fromUtf8(m_process->readLine()).trimmed();
    if (!line.startsWith(QLatin1String("http://"))) {
        qWarning("Simulator: no address from the simulator (got \"%s\")", qPrintable(line));
        return;
    }
    m_baseUrl = line;
}

Simulator::~Simulator()
{
    if (!m_process || m_process->state() == QProcess::NotRunning)
        return;
    m_process->terminate();
    if (!m_process->waitForFinished(kStopTimeoutMs)) {
        qWarning("Simulator: the simulator did not end on SIGTERM; killing it");
        m_process->kill();
        m_process->waitForFinished(kStopTimeoutMs);
    }
}

bool Simulator::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running && !m_baseUrl.isEmpty();
}

QString Simulator::baseUrl() const
{
    return m_baseUrl;
}

qint64 Simulator::processId() const
{
    return m_process ? m_process->processId() : 0;
}

void Simulator::useForPlatform() const
{
    qputenv("TESSALY_USER_SERVICE_URL", m_baseUrl.toUtf8());
    qputenv("TESSALY_PLATFORM_URL", m_baseUrl.toUtf8());
}

QJsonArray Simulator::requests(const QString &path) const
{
    QString target = QStringLiteral("/__sim/requests");
    if (!path.isEmpty())
        target += QStringLiteral("?path=") + QString::fromLatin1(QUrl::toPercentEncoding(path));
    bool ok = false;
    const QByteArray answer = exchange("GET", target, {}, &ok);
    return ok ? QJsonDocument::fromJson(answer).array() : QJsonArray();
}

void Simulator::clearRequests()
{
    bool ok = false;
    exchange("DELETE", QStringLiteral("/__sim/requests"), {}, &ok);
}

bool Simulator::setScenario(const QJsonObject &scenario)
{
    bool ok = false;
    exchange("POST", QStringLiteral("/__sim/scenario"), QJsonDocument(scenario).toJson(QJsonDocument::Compact), &ok);
    return ok;
}

QString Simulator::header(const QJsonObject &request, const QString &name)
{
    const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
    for (auto it = headers.constBegin(); it != headers.constEnd(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value().toString();
    }
    return {};
}

QJsonObject Simulator::jsonBody(const QJsonObject &request)
{
    return QJsonDocument::fromJson(request.value(QLatin1String("body")).toString().toUtf8()).object();
}

QByteArray Simulator::exchange(const QByteArray &verb, const QString &path, const QByteArray &body, bool *ok) const
{
    *ok = false;
    if (m_baseUrl.isEmpty())
        return {};
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(m_baseUrl + path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.sendCustomRequest(request, verb, body);

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(kExchangeTimeoutMs);
    if (!reply->isFinished())
        loop.exec();

    QByteArray answer;
    if (!reply->isFinished()) {
        qWarning("Simulator: %s %s timed out", verb.constData(), qPrintable(path));
        reply->abort();
    } else if (reply->error() != QNetworkReply::NoError) {
        qWarning("Simulator: %s %s failed: %s %s", verb.constData(), qPrintable(path), qPrintable(reply->errorString()),
                 reply->readAll().constData());
    } else {
        answer = reply->readAll();
        *ok = true;
    }
    delete reply;
    return answer;
}
