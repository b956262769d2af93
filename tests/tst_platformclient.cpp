// The platform client's wire forms, reading rules, time-out, size cap, image download, work folders and
// device description, against the platform simulator on loopback.
#include "account/user.h"
#include "catalog/productinfo.h"
#include "platform/apppaths.h"
#include "platform/mycontext.h"
#include "platform/platformexchange.h"
#include "support/simulator.h"

#include "buildconfig.h"
#include "support/contextfixture.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

using ContextFixture::releaseDeferred;
using ContextFixture::resetContext;

const QString appInitPath = QStringLiteral("/user/init/appinit.html");
const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
const QString phoneLoginPath = QStringLiteral("/user/user/phonelogin.html");
const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
const QString qrFetchPath = QStringLiteral("/user/user/getgongzhongqrcode.html");
const QString qrPollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString logPath = QStringLiteral("/platform/log/commonlog.html");

// Every request is recorded whatever the answer; only the QR text matters to these tests.
QJsonObject userScenario()
{
    return QJsonObject{{"qr", QJsonObject{{"text", "https://qr.tessaly.invalid/login?t={preLoginToken}"}}}};
}

QJsonObject withFault(QJsonObject scenario, const QString &path, const QJsonObject &fault)
{
    scenario.insert(QStringLiteral("faults"), QJsonObject{{path, fault}});
    return scenario;
}

QByteArray pngBytes(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(QColor(47, 105, 242));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

class TestPlatformClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void requestWireForm_data();
    void requestWireForm();
    void readingRules_data();
    void readingRules();
    void nonJsonAnswerFailsTheExchange();
    void timeOutAbortsTheExchange();
    void timeOutFromEnvironment_data();
    void timeOutFromEnvironment();
    void endpointsFromEnvironment();
    void oversizedAnswerFails();
    void downloadImage_data();
    void downloadImage();
    void workFolders();
    void deviceInfoFormat();

private:
    // Starts the simulator on a scenario and points the client at it.
    QString filesSim();
    void startSim(const QJsonObject &scenario)
    {
        m_sim.reset(new Simulator(scenario));
        QVERIFY(m_sim->isRunning());
        m_sim->useForPlatform();
    }

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
    QTemporaryDir m_filesDir;
    QScopedPointer<Simulator> m_sim;
    QScopedPointer<Simulator> m_filesSim;
};

void TestPlatformClient::initTestCase()
{
    // The settings store must never be the real user's, however the test is started.
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_appDir.isValid());
    QVERIFY(m_filesDir.isValid());
    QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
}

void TestPlatformClient::init()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "3000");
    resetContext();
}

void TestPlatformClient::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 5000);
    resetContext();
    m_sim.reset();
}

void TestPlatformClient::requestWireForm_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("storedToken");
    QTest::addColumn<QString>("path");
    // JSON without "productId" and "channelId", which all carry; DEVICE stands for the device description.
    QTest::addColumn<QByteArray>("expected");

    const QString token = QStringLiteral("tok-1");
    QTest::newRow("app init") << "appInit" << QString() << appInitPath
                              << QByteArray(R"({"service":"morvane.platform.init","deviceInfo":"DEVICE"})");
    QTest::newRow("token login") << "tokenLogin" << token << tokenLoginPath
                                 << QByteArray(R"({"service":"morvane.platform.tokenlogin","userSystemId":"1001",)"
                                               R"("sessionId":"","tokenId":"tok-1","deviceInfo":"DEVICE"})");
    QTest::newRow("phone login") << "phoneLogin" << QString() << phoneLoginPath
                                 << QByteArray(R"({"service":"morvane.platform.phonelogin","userSystemId":"1000",)"
                                               R"("sessionId":"","deviceInfo":"DEVICE",)"
                                               R"("dyData":{"phoneNum":"13800000000","verifyCode":"123456"}})");
    QTest::newRow("send verification code")
        << "sendVerifyCode" << QString() << sendCodePath
        << QByteArray(R"({"service":"morvane.platform.sendverifycode","sessionId":"","deviceInfo":"DEVICE",)"
                      R"("dyData":{"phoneNum":"13800000000"}})");
    QTest::newRow("fetch QR code")
        << "fetchQrCode" << token << qrFetchPath
        << QByteArray(
               R"({"service":"morvane.platform.getgongzhongqrcode","sessionId":"","preLoginToken":"10015_pre"})");
    const QByteArray poll = R"({"service":"morvane.platform.gongzhongqrcodelogin","userSystemId":"1002",)"
                            R"("sessionId":"","deviceInfo":"DEVICE","preLoginToken":"10015_pre")";
    QTest::newRow("QR poll without stored token") << "qrCodeLogin" << QString() << qrPollPath << poll + "}";
    QTest::newRow("log line, plain text")
        << "commonLog" << QString() << logPath
        << QByteArray("initlog success,client version:8.0.0.1,supportSpecialMusicStr:曲,b");
    QTest::newRow("QR poll with stored token")
        << "qrCodeLogin" << token << qrPollPath << poll + R"(,"tokenId":"tok-1"})";
}

void TestPlatformClient::requestWireForm()
{
    QFETCH(QString, operation);
    QFETCH(QString, storedToken);
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);

    startSim(userScenario());
    if (!storedToken.isEmpty())
        MyContext::settings().setValue(QStringLiteral("tokenId"), storedToken);

    if (operation == QLatin1String("appInit"))
        MyContext::appInit();
    else if (operation == QLatin1String("tokenLogin"))
        MyContext::tokenLogin();
    else if (operation == QLatin1String("phoneLogin"))
        MyContext::phoneLogin(QStringLiteral("13800000000"), QStringLiteral("123456"));
    else if (operation == QLatin1String("sendVerifyCode"))
        MyContext::sendVerifyCode(QStringLiteral("13800000000"));
    else if (operation == QLatin1String("fetchQrCode"))
        MyContext::fetchQrCode(QStringLiteral("10015_pre"));
    else if (operation == QLatin1String("qrCodeLogin"))
        MyContext::qrCodeLogin(QStringLiteral("10015_pre"));
    else if (operation == QLatin1String("commonLog"))
        MyContext::commonLog(QString::fromUtf8(expected));
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 5000); // the log line is not waited for

    const QJsonArray sent = m_sim->requests(path);
    QCOMPARE(sent.size(), 1);
    const QJsonObject request = sent.first().toObject();
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    if (operation == QLatin1String("commonLog")) {
        QCOMPARE(request.value("body").toString().toUtf8(), expected);
        QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("text/plain"));
        QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(expected.size()));
        return;
    }
    QJsonObject wanted = QJsonDocument::fromJson(expected.replace("DEVICE", MyContext::deviceInfo().toUtf8())).object();
    QVERIFY(!wanted.isEmpty());
    wanted.insert(QStringLiteral("productId"), QStringLiteral("10015"));
    wanted.insert(QStringLiteral("channelId"), QStringLiteral("10000"));
    const QByteArray body = request.value("body").toString().toUtf8();
    // Exactly these keys and values, compactly serialised.
    QCOMPARE(Simulator::jsonBody(request), wanted);
    QCOMPARE(body, QJsonDocument(wanted).toJson(QJsonDocument::Compact));

    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(body.size()));
}

void TestPlatformClient::readingRules_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<QString>("errorDesc");
    QTest::addColumn<bool>("hasData");

    const QString none;
    QTest::newRow("strings") << QByteArray(R"({"errorCode":"0001","errorDesc":"好","data":{"a":"b"}})")
                             << QStringLiteral("0001") << QStringLiteral("好") << true;
    QTest::newRow("number code") << QByteArray(R"({"errorCode":1,"errorDesc":"x","data":{"a":1}})") << none
                                 << QStringLiteral("x") << true;
    QTest::newRow("array, null, bool") << QByteArray(R"({"errorCode":[],"errorDesc":null,"data":true})") << none << none
                                       << false;
    QTest::newRow("object code") << QByteArray(R"({"errorCode":{"v":"0001"},"errorDesc":false})") << none << none
                                 << false;
    QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << none << none << false;
    QTest::newRow("JSON array") << QByteArray(R"([{"errorCode":"0001"}])") << none << none << false;
    QTest::newRow("truncated JSON") << QByteArray(R"({"errorCode":"0001","errorDesc":"")") << none << none << false;
    QTest::newRow("empty") << QByteArray() << none << none << false;
}

void TestPlatformClient::readingRules()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, errorCode);
    QFETCH(QString, errorDesc);
    QFETCH(bool, hasData);

    PlatformExchange::Answer answer;
    answer.received = true;
    answer.body = body;
    answer.object = PlatformExchange::parseObject(body);
    QCOMPARE(answer.errorCode(), errorCode);
    QCOMPARE(answer.errorDesc(), errorDesc);
    QCOMPARE(!answer.data().isEmpty(), hasData);
    QCOMPARE(answer.succeeded(), errorCode == QLatin1String("0001"));
}

void TestPlatformClient::nonJsonAnswerFailsTheExchange()
{
    startSim(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "nonJson"}}));
    // Received, but not successful and without data.
    const PlatformExchange::Answer broken =
        PlatformExchange::postJson(m_sim->baseUrl() + qrFetchPath, PlatformExchange::envelope("x"));
    QVERIFY(broken.received);
    QVERIFY(!broken.succeeded());
    QVERIFY(broken.object.isEmpty());
    bool ok = false;
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &ok), QString());
    QVERIFY(ok); // the QR fetch does not examine the answer, only whether one came
}

void TestPlatformClient::timeOutAbortsTheExchange()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "300");
    startSim(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "hang"}}));

    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &ok), QString());
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!ok);
    QVERIFY2(elapsed >= 290, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));

    // A slow but timely answer is not cut off.
    QVERIFY(m_sim->setScenario(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "delay"}, {"ms", 100}})));
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &ok),
             QStringLiteral("https://qr.tessaly.invalid/login?t=10015_pre"));
    QVERIFY(ok);
}

void TestPlatformClient::timeOutFromEnvironment_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("unset") << QByteArray() << 5000;
    QTest::newRow("set") << QByteArray("250") << 250;
    QTest::newRow("zero") << QByteArray("0") << 5000;
    QTest::newRow("negative") << QByteArray("-3") << 5000;
    QTest::newRow("not a number") << QByteArray("soon") << 5000;
}

void TestPlatformClient::timeOutFromEnvironment()
{
    QFETCH(QByteArray, value);
    QFETCH(int, expected);
    if (value.isNull())
        qunsetenv("TESSALY_HTTP_TIMEOUT_MS");
    else
        qputenv("TESSALY_HTTP_TIMEOUT_MS", value);
    QCOMPARE(MyContext::httpTimeoutMs(), expected);
}

void TestPlatformClient::endpointsFromEnvironment()
{
    qunsetenv("TESSALY_USER_SERVICE_URL");
    qunsetenv("TESSALY_PLATFORM_URL");
    QCOMPARE(MyContext::userServiceUrl(), QStringLiteral(TESSALY_DEFAULT_USER_SERVICE_URL));
    QCOMPARE(MyContext::platformUrl(), QStringLiteral(TESSALY_DEFAULT_PLATFORM_URL));

    qputenv("TESSALY_USER_SERVICE_URL", "http://127.0.0.1:8123");
    qputenv("TESSALY_PLATFORM_URL", "http://127.0.0.1:8124/");
    QCOMPARE(MyContext::userServiceUrl(), QStringLiteral("http://127.0.0.1:8123"));
    QCOMPARE(MyContext::platformUrl(), QStringLiteral("http://127.0.0.1:8124"));
}

void TestPlatformClient::oversizedAnswerFails()
{
    const QString base = filesSim();
    const PlatformExchange::Answer small = PlatformExchange::get(base + "/files/small.bin", 1000);
    QVERIFY(small.received);
    QCOMPARE(small.body.size(), 1000);
    const PlatformExchange::Answer large = PlatformExchange::get(base + "/files/large.bin", 1000);
    QVERIFY(!large.received);
    QVERIFY(large.body.isEmpty());
}

void TestPlatformClient::downloadImage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("saveAs");
    QTest::addColumn<QByteArray>("format"); // empty: nothing saved

    QTest::newRow("png") << "/files/icon.png" << QStringLiteral("a.png") << QByteArray("png");
    QTest::newRow("saved by suffix") << "/files/icon.png" << QStringLiteral("b.jpg") << QByteArray("jpeg");
    QTest::newRow("followed redirect") << "/files/moved.png" << QStringLiteral("c.png") << QByteArray("png");
    QTest::newRow("not found") << "/files/missing.png" << QStringLiteral("d.png") << QByteArray();
    QTest::newRow("not an image") << "/files/text.png" << QStringLiteral("e.png") << QByteArray();
    QTest::newRow("dropped mid-transfer") << "/files/dropped.png" << QStringLiteral("f.png") << QByteArray();
    QTest::newRow("server error") << "/files/broken.png" << QStringLiteral("g.png") << QByteArray();
    QTest::newRow("huge, refused without keeping it") << "/files/huge.bin" << QStringLiteral("h.png") << QByteArray();
}

void TestPlatformClient::downloadImage()
{
    QFETCH(QString, path);
    QFETCH(QString, saveAs);
    QFETCH(QByteArray, format);

    const QString base = filesSim();
    const QString target = m_appDir.filePath(saveAs);
    QCOMPARE(MyContext::downloadImage(base + path, target), !format.isEmpty());
    QCOMPARE(QFile::exists(target), !format.isEmpty());
    if (!format.isEmpty()) {
        QImageReader reader(target);
        QCOMPARE(reader.format(), format);
        QCOMPARE(reader.size(), QSize(64, 64));
    }
    const QJsonArray sent = m_filesSim->requests(path);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.last().toObject().value("method").toString(), QStringLiteral("GET"));
}

// One simulator serving the files of the download tests; returns its address.
QString TestPlatformClient::filesSim()
{
    if (!m_filesSim) {
        const QString dir = m_filesDir.path();
        const QByteArray png = pngBytes(64);
        for (const char *name : {"icon.png", "dropped.png", "broken.png"})
            writeFile(dir + '/' + name, png);
        writeFile(dir + "/text.png", "no picture here");
        writeFile(dir + "/small.bin", QByteArray(1000, 'a'));
        writeFile(dir + "/large.bin", QByteArray(1001, 'a'));
        writeFile(dir + "/huge.bin", QByteArray(PlatformExchange::maxImageBody + 1, 'a'));
        QJsonObject scenario =
            withFault(userScenario(), "/files/broken.png", QJsonObject{{"kind", "status"}, {"status", 500}});
        scenario.insert("files",
                        QJsonObject{{"root", dir},
                                    {"redirects", QJsonObject{{"/files/moved.png", "/files/icon.png"}}},
                                    {"drops", QJsonObject{{"/files/dropped.png", png.size() / 2}}}});
        m_filesSim.reset(new Simulator(scenario));
    }
    return m_filesSim->isRunning() ? m_filesSim->baseUrl() : QString();
}

void TestPlatformClient::workFolders()
{
    QCOMPARE(MyContext::iconImgDir(), m_appDir.path() + QStringLiteral("/iconImg"));
    QVERIFY(QFileInfo(MyContext::iconImgDir()).isDir());

    const QDateTime before = QDateTime::currentDateTime();
    const QString dir = MyContext::newTempWorkDir();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(QFileInfo(dir).absolutePath(), MyContext::tempDir());
    QCOMPARE(MyContext::tempDir(), m_appDir.path() + QStringLiteral("/temp"));
    // The name is "temp_" and the day, hour (24-hour), minute, second and millisecond of the call.
    const QString name = QFileInfo(dir).fileName();
    QVERIFY2(QRegularExpression(QStringLiteral("^temp_\\d{11}$")).match(name).hasMatch(), qPrintable(name));
    bool matched = false;
    for (QDateTime t = before; t <= after && !matched; t = t.addMSecs(1))
        matched = name == QStringLiteral("temp_") + t.toString(QStringLiteral("ddHHmmsszzz"));
    QVERIFY2(matched, qPrintable(name));

    // A folder that cannot be created still yields its path.
    const QString blocker = m_appDir.filePath("blocker");
    QVERIFY(writeFile(blocker, "a file where a folder should be"));
    AppPaths::setAppDirForTesting(blocker);
    QCOMPARE(MyContext::tempDir(), blocker + QStringLiteral("/temp"));
    QCOMPARE(MyContext::iconImgDir(), blocker + QStringLiteral("/iconImg"));
    QVERIFY(MyContext::newTempWorkDir().startsWith(blocker + QStringLiteral("/temp/temp_")));
    AppPaths::setAppDirForTesting(m_appDir.path());
}

void TestPlatformClient::deviceInfoFormat()
{
    const QString info = MyContext::deviceInfo();
    const QStringList parts = info.split(QLatin1Char('|'));
    QCOMPARE(parts.size(), 3);
    QCOMPARE(parts.at(0), MyContext::macAddress());
    QVERIFY2(QRegularExpression(QStringLiteral("^([0-9A-F]{2}(:[0-9A-F]{2}){5,7})?$")).match(parts.at(0)).hasMatch(),
             qPrintable(info));
    QVERIFY(QGuiApplication::primaryScreen());
    const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
    QCOMPARE(parts.at(1), QStringLiteral("%1x%2").arg(desktop.width()).arg(desktop.height()));
    QCOMPARE(parts.at(2), QStringLiteral("8.0.0.1"));
}

QTEST_MAIN(TestPlatformClient)
#include "tst_platformclient.moc"
