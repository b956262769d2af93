#include "simulator.h"

#include "simulator_p.h"
#include "support/testfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

QString Simulator::program()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSALY_SIM");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    // A test started by hand from build/tests finds the simulator beside the program.
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/tessaly-platform-sim");
}

QJsonObject Simulator::user(const QJsonObject &changes)
{
    QJsonObject user{
        {"userId", "u1"},         {"nickName", QStringLiteral("小泰")}, {"headImgBase64", ""},
        {"userSystemId", "1000"}, {"tokens", QJsonArray{"tok-1"}},      {"expiredTokens", QJsonArray{"tok-old"}}};
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it)
        user.insert(it.key(), it.value());
    return user;
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
    }
    const QString scenarioPath = QDir(dir).filePath(QStringLiteral("scenario.json"));
    if (!TestFiles::write(scenarioPath, QJsonDocument(scenarioForSimulator(scenario)).toJson())) {
        qWarning("Simulator: cannot write %s", qPrintable(scenarioPath));
        return;
    }
    m_process.reset(startSimulatorProcess(scenarioPath, &m_baseUrl));
}

Simulator::~Simulator() = default;

bool Simulator::isRunning() const
{
    return m_process && !m_baseUrl.isEmpty() && simulatorProcessRunning(*m_process);
}

QString Simulator::baseUrl() const
{
    return m_baseUrl;
}

void Simulator::useForPlatform() const
{
    qputenv("TESSALY_USER_SERVICE_URL", m_baseUrl.toUtf8());
    qputenv("TESSALY_PLATFORM_URL", m_baseUrl.toUtf8());
}

QJsonArray Simulator::requests(const QString &path) const
{
    const QString query = path.isEmpty() ? QString() : QStringLiteral("?path=") + QUrl::toPercentEncoding(path);
    bool ok = false;
    const QByteArray answer = httpExchange("GET", m_baseUrl + QStringLiteral("/__sim/requests") + query, {}, &ok);
    return ok ? QJsonDocument::fromJson(answer).array() : QJsonArray();
}

void Simulator::clearRequests()
{
    bool ok = false;
    httpExchange("DELETE", m_baseUrl + QStringLiteral("/__sim/requests"), {}, &ok);
}

bool Simulator::setScenario(const QJsonObject &scenario)
{
    bool ok = false;
    httpExchange("POST", m_baseUrl + QStringLiteral("/__sim/scenario"),
                 QJsonDocument(scenarioForSimulator(scenario)).toJson(QJsonDocument::Compact), &ok);
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

QByteArray Simulator::httpExchange(const QByteArray &verb, const QString &url, const QByteArray &body, bool *ok)
{
    *ok = false;
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request((QUrl(url)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QNetworkReply *reply = manager.sendCustomRequest(request, verb, body);

    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(5000);
    if (!reply->isFinished())
        loop.exec();

    QByteArray answer;
    if (!reply->isFinished()) {
        qWarning("Simulator: %s %s timed out", verb.constData(), qPrintable(url));
        reply->abort();
    } else if (reply->error() != QNetworkReply::NoError) {
        qWarning("Simulator: %s %s failed: %s %s", verb.constData(), qPrintable(url), qPrintable(reply->errorString()),
                 reply->readAll().constData());
    } else {
        answer = reply->readAll();
        *ok = true;
    }
    delete reply;
    return answer;
}
