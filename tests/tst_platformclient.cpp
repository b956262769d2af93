// The platform client's wire forms, time-out, size cap, work folders and device description, against the
// platform simulator on loopback. How answers are read is covered with the exchanges in tst_signinflow
// and tst_appinit, image downloads in tst_catalogmodel.
#include "core/platform/mycontext.h"
#include "core/platform/platformexchange.h"
#include "support/contextfixture.h"
#include "support/logcapture.h"
#include "support/simulator.h"
#include "support/testfiles.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSslSocket>
#include <QtTest>

#include <functional>

using Call = std::function<void()>;
Q_DECLARE_METATYPE(Call)

class TestPlatformClient : public QObject
{
    Q_OBJECT

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
    QTemporaryDir m_filesDir;
    QJsonObject m_scenario; // the QR text and the files of the size-cap test
    QScopedPointer<Simulator> m_sim;
    QScopedPointer<LogCapture> m_log;

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid() && m_appDir.isValid() && m_filesDir.isValid());
        QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
        const QString dir = m_filesDir.path();
        QVERIFY(TestFiles::write(dir + "/small.bin", QByteArray(1000, 'a')) &&
                TestFiles::write(dir + "/large.bin", QByteArray(1001, 'a')));
        m_scenario = {{"qr", QJsonObject{{"text", "https://qr.tessaly.invalid/login?t={preLoginToken}"}}},
                      {"files", QJsonObject{{"root", dir}}}};
        m_sim.reset(new Simulator(m_scenario));
        QVERIFY(m_sim->isRunning());
    }
    void init()
    {
        qputenv("TESSALY_HTTP_TIMEOUT_MS", "3000");
        m_sim->useForPlatform();
        QVERIFY(m_sim->setScenario(m_scenario));
        m_sim->clearRequests();
        m_log.reset(new LogCapture);
    }
    void cleanup()
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000);
        m_log.reset();
        ContextFixture::resetContext();
    }

    void requestWireForm_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QString>("storedToken");
        QTest::addColumn<QString>("path");
        // JSON without "productId" and "channelId", which all carry; DEVICE stands for the device description.
        QTest::addColumn<QByteArray>("expected");

        const auto row = [](const char *name, const Call &call, const char *storedToken, const char *path,
                            const QByteArray &json) { QTest::newRow(name) << call << storedToken << path << json; };
        row("appInit", &MyContext::appInit, "", "/user/init/appinit.html",
            R"({"service":"morvane.platform.init","deviceInfo":"DEVICE"})");
        row("tokenLogin", &MyContext::tokenLogin, "tok-1", "/user/user/tokenlogin.html",
            R"({"service":"morvane.platform.tokenlogin","userSystemId":"1001","sessionId":"","tokenId":"tok-1",)"
            R"("deviceInfo":"DEVICE"})");
        row(
            "phoneLogin", [] { MyContext::phoneLogin("13800000000", "123456"); }, "", "/user/user/phonelogin.html",
            R"({"service":"morvane.platform.phonelogin","userSystemId":"1000","sessionId":"","deviceInfo":"DEVICE",)"
            R"("dyData":{"phoneNum":"13800000000","verifyCode":"123456"}})");
        row(
            "sendVerifyCode", [] { MyContext::sendVerifyCode("13800000000"); }, "", "/user/user/sendverifycode.html",
            R"({"service":"morvane.platform.sendverifycode","sessionId":"","deviceInfo":"DEVICE",)"
            R"("dyData":{"phoneNum":"13800000000"}})");
        // The QR fetch never carries the stored token; the poll carries it when there is one.
        row(
            "fetchQrCode", [] { MyContext::fetchQrCode("10015_pre"); }, "tok-1", "/user/user/getgongzhongqrcode.html",
            R"({"service":"morvane.platform.getgongzhongqrcode","sessionId":"","preLoginToken":"10015_pre"})");
        const QByteArray poll = R"({"service":"morvane.platform.gongzhongqrcodelogin","userSystemId":"1002",)"
                                R"("sessionId":"","deviceInfo":"DEVICE","preLoginToken":"10015_pre")";
        const Call qrLogin = [] { MyContext::qrCodeLogin("10015_pre"); };
        row("qrCodeLogin", qrLogin, "", "/user/user/gongzhongqrcodelogin.html", poll + "}");
        row("qrCodeLogin, stored token", qrLogin, "tok-1", "/user/user/gongzhongqrcodelogin.html",
            poll + R"(,"tokenId":"tok-1"})");
        row(
            "commonLog",
            [] { MyContext::commonLog("initlog success,client version:8.0.0.1,supportSpecialMusicStr:曲,b"); }, "",
            "/platform/log/commonlog.html", "initlog success,client version:8.0.0.1,supportSpecialMusicStr:曲,b");
    }
    void requestWireForm()
    {
        QFETCH(Call, call);
        QFETCH(QString, storedToken);
        QFETCH(QString, path);
        QFETCH(QByteArray, expected);

        if (!storedToken.isEmpty())
            MyContext::settings().setValue(QStringLiteral("tokenId"), storedToken);
        call();
        QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000); // the log line is not waited for

        const QJsonArray sent = m_sim->requests(path);
        QCOMPARE(sent.size(), 1);
        const QJsonObject request = sent.first().toObject();
        const QByteArray body = request.value("body").toString().toUtf8();
        const bool json = !path.endsWith(QLatin1String("commonlog.html"));
        QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
        QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(body.size()));
        QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")),
                 json ? QStringLiteral("application/json") : QStringLiteral("text/plain"));
        if (!json) {
            QCOMPARE(body, expected);
            return;
        }
        const auto object = [](QByteArray json) {
            QJsonObject object =
                QJsonDocument::fromJson(json.replace("DEVICE", MyContext::deviceInfo().toUtf8())).object();
            object.insert(QStringLiteral("productId"), QStringLiteral("10015"));
            object.insert(QStringLiteral("channelId"), QStringLiteral("10000"));
            return object;
        };
        // Exactly these keys and values, compactly serialised.
        QCOMPARE(body, QJsonDocument(object(expected)).toJson(QJsonDocument::Compact));

        // The request log line shows the same JSON with the secrets masked, and no log line shows them.
        const QStringList secrets{"tok-1", "10015_pre", "13800000000", "123456"},
            masks{"***", "***", "138****0000", "***"};
        for (int i = 0; i < secrets.size(); ++i)
            expected.replace(QByteArray('"' + secrets.at(i).toUtf8() + '"'),
                             QByteArray('"' + masks.at(i).toUtf8() + '"'));
        const QStringList logged =
            m_log->lines().filter(QRegularExpression(QStringLiteral("^==================== \\{")));
        QCOMPARE(logged.size(), 1);
        QCOMPARE(QJsonDocument::fromJson(logged.first().mid(21).toUtf8()).object(), object(expected));
        const QString log = m_log->lines().join(QLatin1Char('\n'));
        for (const QString &secret : secrets)
            QVERIFY2(!log.contains(secret), qPrintable(secret));
    }

    void qrFetch_data()
    {
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<bool>("ok");
        // Only a network failure fails the fetch; the answer itself is not examined.
        QTest::newRow("not JSON") << QJsonObject{{"kind", "nonJson"}} << true;
        QTest::newRow("never answers") << QJsonObject{{"kind", "hang"}} << false;
    }
    void qrFetch()
    {
        QFETCH(QJsonObject, fault);
        QFETCH(bool, ok);

        qputenv("TESSALY_HTTP_TIMEOUT_MS", "300");
        QJsonObject scenario = m_scenario;
        scenario.insert("faults", QJsonObject{{"/user/user/getgongzhongqrcode.html", fault}});
        QVERIFY(m_sim->setScenario(scenario));
        bool fetched = !ok;
        QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &fetched), QString());
        QCOMPARE(fetched, ok);
    }

    void exchangeWhoseLoopCannotRunFails()
    {
        // As when the application is leaving: the thread's local loops return at once, before any answer.
        // The platform answers normally, so reading what has arrived would look like an empty success.
        PlatformExchange::Answer answer;
        answer.received = true;
        QScopedPointer<QThread> thread(QThread::create([&] {
            QThread::currentThread()->exit();
            answer = PlatformExchange::postJson(m_sim->baseUrl() + "/user/init/appinit.html",
                                                PlatformExchange::envelope("x"));
        }));
        thread->start();
        QVERIFY(thread->wait(10000));
        QVERIFY(!answer.received && !answer.succeeded());
    }

    void settingsFromEnvironment()
    {
        // Unset or invalid, the time-out is 5000 ms; a trailing "/" on a base address is dropped.
        for (const char *invalid : {"", "0", "-3", "soon"}) {
            qputenv("TESSALY_HTTP_TIMEOUT_MS", invalid);
            QCOMPARE(MyContext::httpTimeoutMs(), 5000);
        }
        qputenv("TESSALY_PLATFORM_URL", "http://127.0.0.1:8124/");
        QCOMPARE(MyContext::platformUrl(), QStringLiteral("http://127.0.0.1:8124"));
    }

    void oversizedAnswerFails()
    {
        const PlatformExchange::Answer small = PlatformExchange::get(m_sim->baseUrl() + "/files/small.bin", 1000);
        QVERIFY(small.received && small.body.size() == 1000);
        const PlatformExchange::Answer large = PlatformExchange::get(m_sim->baseUrl() + "/files/large.bin", 1000);
        QVERIFY(!large.received && large.body.isEmpty());
    }

    void deviceInfoFormat()
    {
        // "MAC|WIDTHxHEIGHT|client version"; the address may be empty when no interface qualifies, and
        // the loopback's zeros describe no device.
        const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
        const QRegularExpression form(
            QStringLiteral("^((?!00:00:00:00:00:00)[0-9A-F]{2}(:[0-9A-F]{2}){5,7})?\\|%1x%2\\|8\\.0\\.0\\.1$")
                .arg(desktop.width())
                .arg(desktop.height()));
        QVERIFY2(form.match(MyContext::deviceInfo()).hasMatch(), qPrintable(MyContext::deviceInfo()));
    }

    void httpsAvailable()
    {
        // Platform addresses may be https: QtNetwork must be linked with an OpenSSL it can load.
        QVERIFY2(QSslSocket::supportsSsl(), qPrintable(QSslSocket::sslLibraryBuildVersionString()));
    }
};

QTEST_MAIN(TestPlatformClient)
#include "tst_platformclient.moc"
