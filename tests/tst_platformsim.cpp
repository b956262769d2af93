// The platform simulator itself, for what every other test takes for granted: a request that is never
// answered neither blocks the end nor spoils it; SIGTERM ends the simulator promptly and cleanly. What it
// answers, its faults, files, request record and scenario replacement are exercised through the client by
// tst_platformclient, tst_logins, tst_appinit, tst_logindialog and tst_tileoperations.

#include "support/simulator.h"

#include <QtNetwork>
#include <QtTest>

class TestPlatformSim : public QObject
{
    Q_OBJECT
private slots:
    void endsPromptlyWhileRequestsHang();
};

void TestPlatformSim::endsPromptlyWhileRequestsHang()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QFile scenario(dir.filePath("scenario.json"));
    QVERIFY(scenario.open(QIODevice::WriteOnly));
    scenario.write(R"({"faults": {"/user/init/appinit.html": {"kind": "hang"}}})");
    scenario.close();

    // Started by hand, so that its exit status can be read.
    QProcess sim;
    sim.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim.start(Simulator::program(), {"--scenario", scenario.fileName(), "--quiet"});
    const QDeadlineTimer started(5000);
    while (!sim.canReadLine() && sim.waitForReadyRead(int(qMax<qint64>(1, started.remainingTime()))))
        ;
    const QString base = QString::fromUtf8(sim.readLine()).trimmed();
    QVERIFY(base.startsWith("http://127.0.0.1:"));

    // A request that is never answered, and an idle connection.
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(base + "/user/init/appinit.html")};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QScopedPointer<QNetworkReply> hanging(manager.post(request, "{}"));
    QTcpSocket idle;
    idle.connectToHost(QHostAddress::LocalHost, quint16(QUrl(base).port()));
    QVERIFY(idle.waitForConnected(5000));
    // Wait until the simulator holds the request.
    const auto recorded = [&] {
        QScopedPointer<QNetworkReply> reply(manager.get(QNetworkRequest(QUrl(base + "/__sim/requests"))));
        QSignalSpy finished(reply.data(), &QNetworkReply::finished);
        return finished.wait(5000) && reply->readAll().contains("appinit");
    };
    QTRY_VERIFY_WITH_TIMEOUT(recorded(), 5000);
    QVERIFY(!hanging->isFinished());

    QElapsedTimer clock;
    clock.start();
    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(hanging->isFinished() && hanging->error() != QNetworkReply::NoError, 5000);
}

QTEST_GUILESS_MAIN(TestPlatformSim)
#include "tst_platformsim.moc"
