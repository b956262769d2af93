// Smoke test of the platform simulator over real HTTP: the request record, each fault kind, static files
// with redirects, drops and escapes, scenario replacement, and a prompt, clean end on SIGTERM. What it answers
// to each exchange is exercised through the client by tst_platformclient, tst_logins and tst_appinit.

#include "support/simulator.h"

#include <QtNetwork>
#include <QtTest>

namespace {

const QString kAppInit = QStringLiteral("/user/init/appinit.html");
const QString kTokenLogin = QStringLiteral("/user/user/tokenlogin.html");

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

struct Answer
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    qint64 elapsedMs = 0;
};

// One request through Qt's network stack, as the program makes it.
Answer call(const QString &url, const QByteArray &body = {}, const QByteArray &verb = "POST", int timeoutMs = 5000)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
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
    answer.body = answer.finished ? reply->readAll() : QByteArray();
    return answer;
}

// One GET written byte for byte on a plain socket (no normalising of the target), read until the server closes
// the connection (empty when it does not within 5 s).
QByteArray rawGet(const QString &baseUrl, const QByteArray &target)
{
    const QUrl url(baseUrl);
    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url.port()));
    if (!socket.waitForConnected(5000))
        return {};
    socket.write("GET " + target + " HTTP/1.1\r\nHost: " + url.authority().toLatin1() +
                 "\r\nConnection: close\r\n\r\n");
    QByteArray received;
    const QDeadlineTimer deadline(5000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        received += socket.readAll();
    }
    return socket.state() == QAbstractSocket::ConnectedState ? QByteArray() : received + socket.readAll();
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
    const QDeadlineTimer deadline(5000);
    while (!sim.canReadLine() && sim.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
        ;
    return QUrl(QString::fromUtf8(sim.readLine()).trimmed());
}

} // namespace

class TestPlatformSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void recordsEveryRequest();
    void faults_data();
    void faults();
    void files_data();
    void files();
    void scenarioIsReplacedAtRunTime();
    void endsPromptlyOnTerminate();

private:
    QTemporaryDir m_dir;
    QScopedPointer<Simulator> m_filesSim;
};

void TestPlatformSim::recordsEveryRequest()
{
    Simulator sim{QJsonObject()};
    const QByteArray body = R"({"productId":"10015","service":"morvane.platform.init"})";
    // Without "appInit" in the scenario, app init answers an empty success.
    QCOMPARE(call(sim.baseUrl() + kAppInit, body).body, QByteArray(R"({"data":{},"errorCode":"0001","errorDesc":""})"));
    QCOMPARE(call(sim.baseUrl() + QStringLiteral("/anything?a=1&b=%C3%A9"), {}, "GET").status, 404);

    const QJsonArray all = sim.requests();
    QCOMPARE(all.size(), 2); // the diagnostic calls themselves are not recorded
    const QJsonObject init = all.at(0).toObject();
    QCOMPARE(init.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(init.value("body").toString().toUtf8(), body);
    QCOMPARE(Simulator::header(init, QStringLiteral("content-type")), QStringLiteral("application/json"));
    QCOMPARE(Simulator::header(init, QStringLiteral("Content-Length")), QString::number(body.size()));
    QVERIFY(qAbs(init.value("time").toDouble() - QDateTime::currentMSecsSinceEpoch()) < 60000);
    QCOMPARE(all.at(1).toObject().value("query").toString(), QStringLiteral("a=1&b=%C3%A9"));
    QCOMPARE(sim.requests(kAppInit).size(), 1);
    sim.clearRequests();
    QCOMPARE(sim.requests().size(), 0);
}

void TestPlatformSim::faults_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<int>("error");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body"); // "!json" = anything but JSON

    const QByteArray normal = R"({"data":{},"errorCode":"0001","errorDesc":""})";
    QTest::newRow("delay") << parse(R"({"kind": "delay", "ms": 300})") << int(QNetworkReply::NoError) << 200 << normal;
    QTest::newRow("status") << parse(R"({"kind": "status", "status": 500, "body": "boom"})")
                            << int(QNetworkReply::InternalServerError) << 500 << QByteArray("boom");
    QTest::newRow("nonJson") << parse(R"({"kind": "nonJson"})") << int(QNetworkReply::NoError) << 200
                             << QByteArray("!json");
    QTest::newRow("wrongType") << parse(R"({"kind": "wrongType"})") << int(QNetworkReply::NoError) << 200
                               << QByteArray(R"({"errorCode":1,"errorDesc":[],"data":"x"})");
    QTest::newRow("truncated") << parse(R"({"kind": "truncated"})") << int(QNetworkReply::RemoteHostClosedError) << 200
                               << QByteArray();
    QTest::newRow("reset") << parse(R"({"kind": "reset"})") << int(QNetworkReply::RemoteHostClosedError) << 0
                           << QByteArray();
    QTest::newRow("hang") << parse(R"({"kind": "hang"})") << int(QNetworkReply::OperationCanceledError) << 0
                          << QByteArray();
}

void TestPlatformSim::faults()
{
    QFETCH(QJsonObject, fault);
    QFETCH(int, error);
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    Simulator sim(QJsonObject{{"faults", QJsonObject{{kAppInit, fault}}}});
    const Answer answer = call(sim.baseUrl() + kAppInit, "{}", "POST", 1000);
    QCOMPARE(answer.finished, fault.value("kind") != QLatin1String("hang"));
    QCOMPARE(int(answer.error), error);
    QCOMPARE(answer.status, status);
    if (body == "!json")
        QVERIFY(QJsonDocument::fromJson(answer.body).isNull() && !answer.body.isEmpty());
    else if (!body.isEmpty())
        QCOMPARE(answer.body, body);
    QVERIFY(answer.elapsedMs >= fault.value("ms").toInt());
    QCOMPARE(call(sim.baseUrl() + kTokenLogin, R"({"tokenId":"x"})").status, 200); // faults belong to their path
}

void TestPlatformSim::files_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("statusLine");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("body");

    const QByteArray ok = "HTTP/1.1 200", missing = "HTTP/1.1 404", notFound = "not found";
    QTest::newRow("file") << QByteArray("/files/sub/%69con.png") << ok << QByteArray() << QByteArray("PNGDATA");
    QTest::newRow("missing") << QByteArray("/files/none.exe") << missing << QByteArray() << notFound;
    QTest::newRow("redirect") << QByteArray("/files/old.exe") << QByteArray("HTTP/1.1 302")
                              << QByteArray("/files/sub/icon.png\r\n") << QByteArray();
    QTest::newRow("drop") << QByteArray("/files/big.exe") << ok << QByteArray("Content-Length: 100000\r\n")
                          << QByteArray(4096, 'x');
    // Nothing outside the root, however the way out is spelt: secret.txt lies beside the served folder.
    for (const char *escape :
         {"/files/../secret.txt", "/files/sub/../../secret.txt", "/files/%2e%2e/secret.txt", "/files/%2E%2E/secret.txt",
          "/files/..%2fsecret.txt", "/files/..%5csecret.txt", "/files/link.txt"})
        QTest::newRow(escape) << QByteArray(escape) << missing << QByteArray() << notFound;
}

void TestPlatformSim::files()
{
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, statusLine);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, body);

    QScopedPointer<Simulator> &sim = m_filesSim; // one simulator for every row
    if (!sim) {
        const QString dir = m_dir.path() + QStringLiteral("/files-test");
        writeFile(dir + QStringLiteral("/secret.txt"), "secret");
        writeFile(dir + QStringLiteral("/files/sub/icon.png"), "PNGDATA");
        writeFile(dir + QStringLiteral("/files/big.exe"), QByteArray(100000, 'x'));
        QVERIFY(QFile::link(dir + QStringLiteral("/secret.txt"), dir + QStringLiteral("/files/link.txt")));
        sim.reset(
            new Simulator(parse(R"({"files": {"root": "files", "redirects": {"/files/old.exe": "/files/sub/icon.png"},
                                                    "drops": {"/files/big.exe": 4096}}})"),
                          dir));
    }
    const QByteArray answer = rawGet(sim->baseUrl(), target);
    QVERIFY2(answer.startsWith(statusLine), answer.left(100).constData());
    QVERIFY2(answer.contains(header), answer.left(300).constData());
    QCOMPARE(answer.mid(answer.indexOf("\r\n\r\n") + 4), body);
}

void TestPlatformSim::scenarioIsReplacedAtRunTime()
{
    const QJsonObject failOnce = parse(R"({"/user/init/appinit.html": {"kind": "status", "status": 500, "times": 1}})");
    Simulator sim(QJsonObject{{"faults", failOnce}});
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 500);
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 200); // "times" spent

    QVERIFY(sim.setScenario(QJsonObject{{"faults", failOnce}, {"appInit", parse(R"({"errorCode": "0099"})")}}));
    QCOMPARE(call(sim.baseUrl() + kAppInit).status, 500); // fault counts start afresh
    QCOMPARE(call(sim.baseUrl() + kAppInit).body, QByteArray(R"({"errorCode":"0099"})"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("Simulator: POST /__sim/scenario failed"));
    QVERIFY(!sim.setScenario(parse(R"({"faults": {"/x": {"kind": "sometimes"}}})")));
    QCOMPARE(call(sim.baseUrl() + kAppInit).body, QByteArray(R"({"errorCode":"0099"})"));
}

void TestPlatformSim::endsPromptlyOnTerminate()
{
    const QString path = m_dir.path() + QStringLiteral("/hang-scenario.json");
    writeFile(path, R"({"faults": {"/user/init/appinit.html": {"kind": "hang"}}})");
    // SIGTERM as soon as the address is out, while the server may still be starting to listen.
    for (int i = 0; i < 3; ++i) {
        QProcess sim;
        QVERIFY(!startSim(sim, path).isEmpty());
        sim.terminate();
        QVERIFY(sim.waitForFinished(2000));
        QCOMPARE(sim.exitCode(), 0);
    }

    // Twelve requests that are never answered (one manager each: a manager opens at most six connections to
    // a host) and an idle connection neither block other requests nor the end.
    QProcess sim;
    const QString base = startSim(sim, path).toString();
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
    std::vector<std::unique_ptr<QNetworkReply>> hanging;
    for (int i = 0; i < 12; ++i) {
        managers.push_back(std::make_unique<QNetworkAccessManager>());
        managers.back()->setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request{QUrl(base + kAppInit)};
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        hanging.emplace_back(managers.back()->post(request, "{}"));
    }
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(QUrl(base).port()));
    QVERIFY(idle.waitForConnected(5000));
    QTRY_COMPARE_WITH_TIMEOUT(call(base + "/__sim/requests", {}, "GET").body.count("appinit"), 12, 5000);
    const Answer other = call(base + kTokenLogin, R"({"tokenId":"x"})");
    QCOMPARE(other.status, 200);
    QVERIFY2(other.elapsedMs < 1000, qPrintable(QString::number(other.elapsedMs)));

    QElapsedTimer clock;
    clock.start();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    for (const auto &reply : hanging)
        QTRY_VERIFY_WITH_TIMEOUT(reply->isFinished() && reply->error() != QNetworkReply::NoError, 5000);
}

QTEST_GUILESS_MAIN(TestPlatformSim)
#include "tst_platformsim.moc"
