// Smoke test of the platform simulator over real HTTP: the scenario-driven answers, each fault kind,
// the request record, static files with redirects and drops, and a prompt, clean end on SIGTERM.

#include "support/simulator.h"

#include <QtNetwork>
#include <QtTest>

namespace {

const QString kAppInit = QStringLiteral("/user/init/appinit.html");
const QString kTokenLogin = QStringLiteral("/user/user/tokenlogin.html");
const QString kPhoneLogin = QStringLiteral("/user/user/phonelogin.html");
const QString kSendCode = QStringLiteral("/user/user/sendverifycode.html");
const QString kQrCode = QStringLiteral("/user/user/getgongzhongqrcode.html");
const QString kQrLogin = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString kCommonLog = QStringLiteral("/platform/log/commonlog.html");

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The scenario shared by the answer tests (kept as a file: its addresses would confuse moc in a raw string).
QJsonObject baseScenario()
{
    QFile file(QStringLiteral(TESSALY_TEST_FIXTURES "/sim/base-scenario.json"));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(file.fileName()));
    return parse(file.readAll());
}

QNetworkRequest jsonRequest(const QString &url)
{
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return request;
}

struct Answer
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    qint64 elapsedMs = 0;
};

// One request through Qt's network stack, as the program makes it.
Answer call(const QString &url, const QByteArray &body = {}, const QByteArray &verb = "POST", int timeoutMs = 5000)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    const QNetworkRequest request = jsonRequest(url);
    QElapsedTimer clock;
    clock.start();
    QScopedPointer<QNetworkReply> reply(manager.sendCustomRequest(request, verb, body));
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    Answer answer;
    answer.finished = finished.wait(timeoutMs);
    answer.elapsedMs = clock.elapsed();
    if (!answer.finished)
        reply->abort();
    answer.error = reply->error();
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.contentType = reply->rawHeader("Content-Type");
    return answer;
}

struct RawAnswer
{
    int status = 0;
    QByteArray head;
    QByteArray body;
    bool closed = false;
};

// One request written byte for byte on a plain socket, read until the server closes the connection.
RawAnswer rawCall(const QString &baseUrl, const QByteArray &method, const QByteArray &target)
{
    const QUrl url(baseUrl);
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url.port()));
    RawAnswer answer;
    if (!socket.waitForConnected(5000))
        return answer;
    socket.write(method + ' ' + target + " HTTP/1.1\r\nHost: " + url.authority().toLatin1() +
                 "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    QByteArray received;
    const QDeadlineTimer deadline(5000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        received += socket.readAll();
    }
    received += socket.readAll();
    answer.closed = socket.state() != QAbstractSocket::ConnectedState;
    const int split = received.indexOf("\r\n\r\n");
    answer.head = split < 0 ? received : received.left(split);
    answer.body = split < 0 ? QByteArray() : received.mid(split + 4);
    const QList<QByteArray> statusLine = answer.head.left(answer.head.indexOf("\r\n")).split(' ');
    answer.status = statusLine.size() > 1 ? statusLine.at(1).toInt() : 0;
    return answer;
}

QByteArray headerOf(const RawAnswer &answer, const QByteArray &name)
{
    for (const QByteArray &line : answer.head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == name.toLower())
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void writeFile(const QString &path, const QByteArray &content)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
}

// Starts the simulator on a scenario file by hand; returns its base address (empty on failure).
QUrl startSim(QProcess &sim, const QString &scenarioPath)
{
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(Simulator::program(), {QStringLiteral("--scenario"), scenarioPath, QStringLiteral("--quiet")});
    if (!sim.waitForStarted(5000))
        return {};
    const QDeadlineTimer deadline(5000);
    while (!sim.canReadLine() && sim.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
        ;
    return QUrl(QString::fromUtf8(sim.readLine()).trimmed());
}

// Peak resident memory of a process in KiB (0 when unknown).
qint64 peakMemoryKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

} // namespace

class TestPlatformSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void recordsEveryRequest();
    void platformAnswers_data();
    void platformAnswers();
    void defaultAppInitAndCommonLog();
    void qrPollsCountPerLoginToken();
    void faults_data();
    void faults();
    void faultsOnTheWire_data();
    void faultsOnTheWire();
    void faultTimesLimitsTheFirstRequests();
    void hangingRequestsDoNotBlockOthers();
    void files_data();
    void files();
    void redirectIsFollowed();
    void dropCutsTheTransfer();
    void largeFilesAreStreamed();
    void scenarioIsReplacedAtRunTime();
    void badScenarioFileIsRefused();
    void exampleScenarioServes();
    void endsPromptlyOnTerminate();
    void endsRightAfterStart();

private:
    QScopedPointer<Simulator> m_sim; // the base scenario, shared by the answer tests
    QScopedPointer<Simulator> m_filesSim; // serves the files of files()
    QTemporaryDir m_dir;
};

void TestPlatformSim::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_sim.reset(new Simulator(baseScenario()));
    QVERIFY(m_sim->isRunning());
    QVERIFY(m_sim->baseUrl().startsWith(QLatin1String("http://127.0.0.1:")));
}

void TestPlatformSim::cleanupTestCase()
{
    m_filesSim.reset();
    m_sim.reset();
}

void TestPlatformSim::recordsEveryRequest()
{
    m_sim->clearRequests();
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const QByteArray body = R"({"productId":"10015","channelId":"10000","service":"morvane.platform.init"})";
    QCOMPARE(call(m_sim->baseUrl() + kAppInit, body).status, 200);
    QCOMPARE(call(m_sim->baseUrl() + QStringLiteral("/anything?a=1&b=%C3%A9"), {}, "GET").status, 404);
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    const QJsonArray all = m_sim->requests();
    QCOMPARE(all.size(), 2); // the diagnostic calls themselves are not recorded
    const QJsonObject init = all.at(0).toObject();
    QCOMPARE(init.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(init.value("path").toString(), kAppInit);
    QCOMPARE(init.value("query").toString(), QString());
    QCOMPARE(init.value("body").toString().toUtf8(), body);
    QCOMPARE(Simulator::jsonBody(init).value("service").toString(), QStringLiteral("morvane.platform.init"));
    QCOMPARE(Simulator::header(init, QStringLiteral("content-type")), QStringLiteral("application/json"));
    QCOMPARE(Simulator::header(init, QStringLiteral("Content-Length")), QString::number(body.size()));
    QVERIFY(Simulator::header(init, QStringLiteral("REMOTE_ADDR")).isEmpty());
    const qint64 time = static_cast<qint64>(init.value("time").toDouble());
    QVERIFY2(time >= before && time <= after, qPrintable(QString::number(time)));

    const QJsonObject other = all.at(1).toObject();
    QCOMPARE(other.value("method").toString(), QStringLiteral("GET"));
    QCOMPARE(other.value("path").toString(), QStringLiteral("/anything"));
    QCOMPARE(other.value("query").toString(), QStringLiteral("a=1&b=%C3%A9"));

    QCOMPARE(m_sim->requests(kAppInit).size(), 1);
    QCOMPARE(m_sim->requests(QStringLiteral("/nowhere")).size(), 0);
    m_sim->clearRequests();
    QCOMPARE(m_sim->requests().size(), 0);
}

void TestPlatformSim::platformAnswers_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray u1 = R"({"data":{"headImgBase64":"iVBO","nickName":"小泰",)";
    QTest::newRow("app init verbatim") << kAppInit << QByteArray("{}")
                                       << compact(baseScenario().value("appInit").toObject());
    QTest::newRow("token login") << kTokenLogin << QByteArray(R"({"tokenId":"tok-2"})")
                                 << u1 +
            R"("tokenId":"tok-2","userId":"u1","userSystemId":"1000"},"errorCode":"0001","errorDesc":""})";
    QTest::newRow("token expired") << kTokenLogin << QByteArray(R"({"tokenId":"tok-old"})")
                                   << QByteArray(
                                          R"({"data":{},"errorCode":"0014","errorDesc":"登录已过期，请重新登录"})");
    QTest::newRow("token unknown") << kTokenLogin << QByteArray(R"({"tokenId":"nope"})")
                                   << QByteArray(R"({"data":{},"errorCode":"0013","errorDesc":"token无效"})");
    QTest::newRow("token empty") << kTokenLogin << QByteArray(R"({"tokenId":""})")
                                 << QByteArray(R"({"data":{},"errorCode":"0013","errorDesc":"token无效"})");
    QTest::newRow("body not JSON") << kTokenLogin << QByteArray("tokenId=tok-1")
                                   << QByteArray(R"({"data":{},"errorCode":"0013","errorDesc":"token无效"})");
    QTest::newRow("send code") << kSendCode << QByteArray(R"({"dyData":{"phoneNum":"13800000000"}})")
                               << QByteArray(R"({"data":{},"errorCode":"0001","errorDesc":""})");
    QTest::newRow("send code refused") << kSendCode << QByteArray(R"({"dyData":{"phoneNum":"13900000000"}})")
                                       << QByteArray(R"({"data":{},"errorCode":"0023","errorDesc":"发送太频繁"})");
    QTest::newRow("send code unknown") << kSendCode << QByteArray(R"({"dyData":{"phoneNum":"10000000000"}})")
                                       << QByteArray(R"({"data":{},"errorCode":"0022","errorDesc":"手机号未注册"})");
    QTest::newRow("phone login") << kPhoneLogin
                                 << QByteArray(R"({"dyData":{"phoneNum":"13800000000","verifyCode":"123456"}})")
                                 << u1 +
            R"("tokenId":"tok-1","userId":"u1","userSystemId":"1000"},"errorCode":"0001","errorDesc":""})";
    QTest::newRow("phone wrong code") << kPhoneLogin
                                      << QByteArray(R"({"dyData":{"phoneNum":"13800000000","verifyCode":"654321"}})")
                                      << QByteArray(R"({"data":{},"errorCode":"0021","errorDesc":"验证码错误"})");
    QTest::newRow("phone unknown") << kPhoneLogin
                                   << QByteArray(R"({"dyData":{"phoneNum":"10000000000","verifyCode":"123456"}})")
                                   << QByteArray(R"({"data":{},"errorCode":"0021","errorDesc":"验证码错误"})");
    QTest::newRow("qr code")
        << kQrCode << QByteArray(R"({"preLoginToken":"p-1"})")
        << QByteArray(
               R"({"data":{"qrCode":"https://qr.tessaly.invalid/login?t=p-1"},"errorCode":"0001","errorDesc":""})");
}

void TestPlatformSim::platformAnswers()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    const Answer answer = call(m_sim->baseUrl() + path, request);
    QCOMPARE(answer.error, QNetworkReply::NoError);
    QVERIFY(answer.contentType.startsWith("application/json"));
    QCOMPARE(QString::fromUtf8(answer.body), QString::fromUtf8(expected));
}

void TestPlatformSim::defaultAppInitAndCommonLog()
{
    Simulator sim{QJsonObject()};
    QVERIFY(sim.isRunning());
    QCOMPARE(call(sim.baseUrl() + kAppInit).body, QByteArray(R"({"data":{},"errorCode":"0001","errorDesc":""})"));

    const Answer log = call(sim.baseUrl() + kCommonLog, "initlog success,client version:8.0.0.1");
    QCOMPARE(log.error, QNetworkReply::NoError);
    QVERIFY(log.contentType.startsWith("text/plain"));
    QCOMPARE(log.body, QByteArray("ok"));
}

void TestPlatformSim::qrPollsCountPerLoginToken()
{
    const auto poll = [this](const char *token) {
        const QByteArray body = QByteArray(R"({"preLoginToken":")") + token + "\"}";
        const QJsonObject answer = parse(call(m_sim->baseUrl() + kQrLogin, body).body);
        return answer.value("errorCode").toString();
    };
    QCOMPARE(poll("attempt-a"), QStringLiteral("0030"));
    QCOMPARE(poll("attempt-a"), QStringLiteral("0030"));
    QCOMPARE(poll("attempt-b"), QStringLiteral("0030"));
    QCOMPARE(poll("attempt-a"), QStringLiteral("0001"));
    QCOMPARE(poll("attempt-a"), QStringLiteral("0001"));
    QCOMPARE(poll("attempt-b"), QStringLiteral("0030"));

    const QJsonObject signedIn = parse(call(m_sim->baseUrl() + kQrLogin, R"({"preLoginToken":"attempt-a"})").body);
    QCOMPARE(signedIn.value("data").toObject().value("userId").toString(), QStringLiteral("u2"));
    QCOMPARE(signedIn.value("data").toObject().value("tokenId").toString(), QStringLiteral("tok-u2"));

    Simulator never(parse(R"({"qr": {"userId": "u1"}})"));
    const QJsonObject waiting = parse(call(never.baseUrl() + kQrLogin, R"({"preLoginToken":"x"})").body);
    QCOMPARE(waiting, parse(R"({"data":{},"errorCode":"0030","errorDesc":"等待扫码"})"));
}

void TestPlatformSim::faults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // "*" = the normal answer, "!json" = anything but JSON
    QTest::addColumn<int>("minElapsedMs");

    QTest::newRow("delay") << parse(R"({"kind": "delay", "ms": 300})") << int(QNetworkReply::NoError) << 200
                           << QByteArray("*") << 300;
    QTest::newRow("status") << parse(R"({"kind": "status", "status": 500, "body": "boom"})")
                            << int(QNetworkReply::InternalServerError) << 500 << QByteArray("boom") << 0;
    QTest::newRow("status json") << parse(R"({"kind": "status", "status": 503, "body": {"errorCode": "9"}})")
                                 << int(QNetworkReply::ServiceUnavailableError) << 503
                                 << QByteArray(R"({"errorCode":"9"})") << 0;
    QTest::newRow("nonJson") << parse(R"({"kind": "nonJson"})") << int(QNetworkReply::NoError) << 200
                             << QByteArray("!json") << 0;
    QTest::newRow("wrongType") << parse(R"({"kind": "wrongType"})") << int(QNetworkReply::NoError) << 200
                               << QByteArray(R"({"errorCode":1,"errorDesc":[],"data":"x"})") << 0;
    QTest::newRow("truncated") << parse(R"({"kind": "truncated"})") << int(QNetworkReply::RemoteHostClosedError) << 200
                               << QByteArray() << 0;
    QTest::newRow("reset") << parse(R"({"kind": "reset"})") << int(QNetworkReply::RemoteHostClosedError) << 0
                           << QByteArray() << 0;
}

void TestPlatformSim::faults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, minElapsedMs);

    QJsonObject scenario = baseScenario();
    scenario.insert("faults", QJsonObject{{kAppInit, fault}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());

    const Answer answer = call(sim.baseUrl() + kAppInit, "{}");
    QVERIFY(answer.finished);
    QCOMPARE(int(answer.error), error);
    QCOMPARE(answer.status, status);
    if (body == "*")
        QCOMPARE(answer.body, compact(scenario.value("appInit").toObject()));
    else if (body == "!json")
        QVERIFY(QJsonDocument::fromJson(answer.body).isNull());
    else if (!body.isEmpty())
        QCOMPARE(answer.body, body);
    QVERIFY2(answer.elapsedMs >= minElapsedMs, qPrintable(QString::number(answer.elapsedMs)));

    // Faults belong to their path only.
    QCOMPARE(call(sim.baseUrl() + kTokenLogin, R"({"tokenId":"tok-1"})").status, 200);
}

void TestPlatformSim::faultsOnTheWire_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentLength");
    QTest::addColumn<QByteArray>("body");

    const QByteArray full = R"({"data":{},"errorCode":"0001","errorDesc":""})";
    QTest::newRow("truncated to half") << parse(R"({"kind": "truncated"})") << 200 << QByteArray::number(full.size())
                                       << full.left(full.size() / 2);
    QTest::newRow("truncated to 5") << parse(R"({"kind": "truncated", "bytes": 5})") << 200
                                    << QByteArray::number(full.size()) << full.left(5);
    QTest::newRow("reset") << parse(R"({"kind": "reset"})") << 0 << QByteArray() << QByteArray();
}

void TestPlatformSim::faultsOnTheWire()
{
    QFETCH(QJsonObject, fault);
    QFETCH(int, status);
    QFETCH(QByteArray, contentLength);
    QFETCH(QByteArray, body);

    Simulator sim(QJsonObject{{"faults", QJsonObject{{kAppInit, fault}}}});
    const RawAnswer answer = rawCall(sim.baseUrl(), "POST", kAppInit.toLatin1());
    QVERIFY(answer.closed);
    QCOMPARE(answer.status, status);
    QCOMPARE(headerOf(answer, "Content-Length"), contentLength);
    QCOMPARE(answer.body, body);
}

void TestPlatformSim::faultTimesLimitsTheFirstRequests()
{
    Simulator sim(parse(R"({"faults": {"/user/init/appinit.html": {"kind": "status", "status": 502, "times": 2}}})"));
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 502);
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 502);
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 200);
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 200);
    QCOMPARE(sim.requests(kAppInit).size(), 4);
}

void TestPlatformSim::hangingRequestsDoNotBlockOthers()
{
    Simulator sim(parse(R"({"faults": {"/user/init/appinit.html": {"kind": "hang"}}})"));
    // One manager per request: a manager opens at most six connections to one host.
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
    std::vector<std::unique_ptr<QNetworkReply>> hanging;
    for (int i = 0; i < 12; ++i) {
        managers.push_back(std::make_unique<QNetworkAccessManager>());
        managers.back()->setProxy(QNetworkProxy::NoProxy);
        hanging.emplace_back(managers.back()->post(jsonRequest(sim.baseUrl() + kAppInit), "{}"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(sim.requests(kAppInit).size(), 12, 5000);

    const Answer other = call(sim.baseUrl() + kTokenLogin, R"({"tokenId":"x"})");
    QCOMPARE(other.status, 200);
    QVERIFY2(other.elapsedMs < 1000, qPrintable(QString::number(other.elapsedMs)));
    for (const auto &reply : hanging)
        QVERIFY(!reply->isFinished());
    for (const auto &reply : hanging)
        reply->abort();
}

void TestPlatformSim::files_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("file") << QByteArray("/files/hello.txt") << 200 << QByteArray("hello");
    QTest::newRow("nested") << QByteArray("/files/sub/icon.png") << 200 << QByteArray("PNGDATA");
    QTest::newRow("encoded name") << QByteArray("/files/sub/%69con.png") << 200 << QByteArray("PNGDATA");
    QTest::newRow("missing") << QByteArray("/files/none.exe") << 404 << QByteArray("not found");
    QTest::newRow("folder") << QByteArray("/files/sub") << 404 << QByteArray("not found");
    QTest::newRow("dot-dot") << QByteArray("/files/../secret.txt") << 404 << QByteArray("not found");
    QTest::newRow("dot-dot deeper") << QByteArray("/files/sub/../../secret.txt") << 404 << QByteArray("not found");
    QTest::newRow("encoded dot-dot") << QByteArray("/files/%2e%2e/secret.txt") << 404 << QByteArray("not found");
    QTest::newRow("encoded upper") << QByteArray("/files/%2E%2E/secret.txt") << 404 << QByteArray("not found");
    QTest::newRow("encoded slash") << QByteArray("/files/..%2fsecret.txt") << 404 << QByteArray("not found");
    QTest::newRow("backslash") << QByteArray("/files/..%5csecret.txt") << 404 << QByteArray("not found");
    QTest::newRow("symlink out") << QByteArray("/files/link.txt") << 404 << QByteArray("not found");
}

void TestPlatformSim::files()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    if (!m_filesSim) {
        // secret.txt lies beside the served folder, never inside it.
        const QString dir = m_dir.path() + QStringLiteral("/files-test");
        writeFile(dir + QStringLiteral("/secret.txt"), "secret");
        writeFile(dir + QStringLiteral("/files/hello.txt"), "hello");
        writeFile(dir + QStringLiteral("/files/sub/icon.png"), "PNGDATA");
        QVERIFY(QFile::link(dir + QStringLiteral("/secret.txt"), dir + QStringLiteral("/files/link.txt")));
        m_filesSim.reset(new Simulator(parse(R"({"files": {"root": "files"}})"), dir));
    }
    QVERIFY(m_filesSim->isRunning());
    const RawAnswer answer = rawCall(m_filesSim->baseUrl(), "GET", target);
    QCOMPARE(answer.status, status);
    QCOMPARE(answer.body, body);
}

void TestPlatformSim::redirectIsFollowed()
{
    const QString dir = m_dir.path() + QStringLiteral("/redirect-test");
    writeFile(dir + QStringLiteral("/www/new.exe"), "new installer");
    Simulator sim(parse(R"({"files": {"root": "www", "redirects": {"/files/old.exe": "/files/new.exe"}}})"), dir);

    const RawAnswer raw = rawCall(sim.baseUrl(), "GET", "/files/old.exe");
    QCOMPARE(raw.status, 302);
    QCOMPARE(headerOf(raw, "Location"), (sim.baseUrl() + QStringLiteral("/files/new.exe")).toLatin1());
    sim.clearRequests();

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(sim.baseUrl() + QStringLiteral("/files/old.exe")));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QScopedPointer<QNetworkReply> reply(manager.get(request));
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    QVERIFY(finished.wait(5000));
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(reply->readAll(), QByteArray("new installer"));
    // Qt's redirect handling may send the first request a second time, even after the redirected one.
    const QJsonArray sent = sim.requests();
    QCOMPARE(sent.first().toObject().value("path").toString(), QStringLiteral("/files/old.exe"));
    QCOMPARE(sim.requests(QStringLiteral("/files/new.exe")).size(), 1);
}

void TestPlatformSim::dropCutsTheTransfer()
{
    const QString dir = m_dir.path() + QStringLiteral("/drop-test");
    QByteArray content(100000, '\0');
    for (int i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>('a' + i % 26);
    writeFile(dir + QStringLiteral("/files/big.exe"), content);
    Simulator sim(parse(R"({"files": {"root": "files", "drops": {"/files/big.exe": 4096}}})"), dir);

    const RawAnswer answer = rawCall(sim.baseUrl(), "GET", "/files/big.exe");
    QVERIFY(answer.closed);
    QCOMPARE(answer.status, 200);
    QCOMPARE(headerOf(answer, "Content-Length"), QByteArray("100000"));
    QCOMPARE(answer.body, content.left(4096));

    const Answer viaQt = call(sim.baseUrl() + QStringLiteral("/files/big.exe"), {}, "GET");
    QCOMPARE(viaQt.error, QNetworkReply::RemoteHostClosedError);
}

void TestPlatformSim::largeFilesAreStreamed()
{
    // A sparse file costs no disk; the simulator must not hold it in memory either.
    const QString dir = m_dir.path() + QStringLiteral("/large-test");
    const qint64 size = 64LL * 1024 * 1024;
    QVERIFY(QDir().mkpath(dir + QStringLiteral("/files")));
    QFile file(dir + QStringLiteral("/files/large.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));
    file.close();
    Simulator sim(parse(R"({"files": {"root": "files"}})"), dir);
    const qint64 peakBefore = peakMemoryKiB(sim.processId());

    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QScopedPointer<QNetworkReply> reply(manager.get(QNetworkRequest(QUrl(sim.baseUrl() + "/files/large.bin"))));
    qint64 received = 0;
    connect(reply.data(), &QNetworkReply::readyRead, this, [&] { received += reply->readAll().size(); });
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    QVERIFY(finished.wait(60000));
    received += reply->readAll().size();
    QCOMPARE(reply->error(), QNetworkReply::NoError);
    QCOMPARE(received, size);

    const qint64 peakAfter = peakMemoryKiB(sim.processId());
    if (peakBefore > 0)
        QVERIFY2(peakAfter - peakBefore < 16 * 1024,
                 qPrintable(QStringLiteral("%1 -> %2 KiB").arg(peakBefore).arg(peakAfter)));
}

void TestPlatformSim::scenarioIsReplacedAtRunTime()
{
    const QString dir = m_dir.path() + QStringLiteral("/replace-test");
    writeFile(dir + QStringLiteral("/second/file.txt"), "second root");
    Simulator sim(parse(R"({"faults": {"/user/init/appinit.html": {"kind": "status", "status": 500, "times": 1}}})"),
                  dir);
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 500);

    QJsonObject next = parse(R"({"appInit": {"errorCode": "0099", "errorDesc": "维护中", "data": {}},
                                 "files": {"root": "second"},
                                 "faults": {"/user/init/appinit.html": {"kind": "status", "status": 500, "times": 1}}})");
    QVERIFY(sim.setScenario(next));
    // The replaced scenario starts its fault counts afresh.
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 500);
    QCOMPARE(parse(call(sim.baseUrl() + kAppInit).body).value("errorCode").toString(), QStringLiteral("0099"));
    QCOMPARE(call(sim.baseUrl() + QStringLiteral("/files/file.txt"), {}, "GET").body, QByteArray("second root"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Simulator: POST /__sim/scenario failed"));
    QVERIFY(!sim.setScenario(parse(R"({"faults": {"/x": {"kind": "sometimes"}}})")));
    QCOMPARE(parse(call(sim.baseUrl() + kAppInit).body).value("errorCode").toString(), QStringLiteral("0099"));
}

void TestPlatformSim::badScenarioFileIsRefused()
{
    const QString path = m_dir.path() + QStringLiteral("/bad-scenario.json");
    writeFile(path, R"({"users": {"not": "an array"}})");
    QProcess sim;
    sim.start(Simulator::program(), {QStringLiteral("--scenario"), path});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QVERIFY(sim.readAllStandardError().contains("\"users\""));
}

void TestPlatformSim::exampleScenarioServes()
{
    QProcess sim;
    const QUrl base =
        startSim(sim, QStringLiteral(TESSALY_TEST_FIXTURES "/../../tools/platform-sim/example-scenario.json"));
    QVERIFY(base.isValid() && !base.isEmpty());
    const QJsonObject init = parse(call(base.toString() + kAppInit, "{}").body);
    QCOMPARE(init.value("data").toObject().value("productInfos").toArray().size(), 2);
    const Answer icon = call(base.toString() + QStringLiteral("/files/notes.png"), {}, "GET");
    QCOMPARE(icon.status, 200);
    QVERIFY(icon.body.startsWith("\x89PNG"));
    const QJsonObject login = parse(call(base.toString() + kTokenLogin, R"({"tokenId":"tok-1"})").body);
    QCOMPARE(login.value("errorCode").toString(), QStringLiteral("0001"));
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
}

void TestPlatformSim::endsPromptlyOnTerminate()
{
    const QString path = m_dir.path() + QStringLiteral("/hang-scenario.json");
    writeFile(path, R"({"faults": {"/user/init/appinit.html": {"kind": "hang"}}})");
    QProcess sim;
    const QUrl base = startSim(sim, path);
    QCOMPARE(base.host(), QStringLiteral("127.0.0.1"));

    // One request that is never answered and one idle connection that never sends anything.
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QScopedPointer<QNetworkReply> hanging(manager.post(jsonRequest(base.toString() + kAppInit), "{}"));
    QTcpSocket idle;
    idle.setProxy(QNetworkProxy::NoProxy);
    idle.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(base.port()));
    QVERIFY(idle.waitForConnected(5000));
    const QString record = base.toString() + QStringLiteral("/__sim/requests");
    QTRY_VERIFY_WITH_TIMEOUT(call(record, {}, "GET").body.contains("appinit"), 5000);

    QElapsedTimer clock;
    clock.start();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(hanging->isFinished(), 5000);
    QVERIFY(hanging->error() != QNetworkReply::NoError);
}

void TestPlatformSim::endsRightAfterStart()
{
    // SIGTERM as soon as the address is out, while the server may still be starting to listen.
    const QString path = m_dir.path() + QStringLiteral("/empty-scenario.json");
    writeFile(path, "{}");
    for (int i = 0; i < 5; ++i) {
        QProcess sim;
        QVERIFY(!startSim(sim, path).isEmpty());
        sim.terminate();
        QVERIFY(sim.waitForFinished(2000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
    }
}

QTEST_GUILESS_MAIN(TestPlatformSim)
#include "tst_platformsim.moc"
