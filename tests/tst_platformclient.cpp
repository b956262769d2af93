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
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
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

QJsonObject userScenario()
{
    return QJsonObject{
        {QStringLiteral("users"),
         QJsonArray{QJsonObject{{QStringLiteral("userId"), QStringLiteral("u1")},
                                {QStringLiteral("nickName"), QStringLiteral("小泰")},
                                {QStringLiteral("headImgBase64"), QString()},
                                {QStringLiteral("userSystemId"), QStringLiteral("1000")},
                                {QStringLiteral("tokens"), QJsonArray{QStringLiteral("tok-1")}}}}},
        {QStringLiteral("phones"),
         QJsonArray{QJsonObject{{QStringLiteral("phoneNum"), QStringLiteral("13800000000")},
                                {QStringLiteral("verifyCode"), QStringLiteral("123456")},
                                {QStringLiteral("userId"), QStringLiteral("u1")}}}},
        {QStringLiteral("qr"),
         QJsonObject{{QStringLiteral("text"), QStringLiteral("https://qr.tessaly.invalid/login?t={preLoginToken}")},
                     {QStringLiteral("pollsUntilLogin"), 1},
                     {QStringLiteral("userId"), QStringLiteral("u1")}}},
    };
}

QJsonObject withFault(QJsonObject scenario, const QString &path, const QJsonObject &fault)
{
    scenario.insert(QStringLiteral("faults"), QJsonObject{{path, fault}});
    return scenario;
}

QJsonObject withFiles(QJsonObject scenario, const QString &root, const QJsonObject &extra = {})
{
    QJsonObject files = extra;
    files.insert(QStringLiteral("root"), root);
    scenario.insert(QStringLiteral("files"), files);
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
    void logLineIsPlainText();
    void logLineDoesNotWait();

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
    void newTempWorkDirName();
    void folderCreationFailureStillReturnsPath();
    void deviceInfoFormat();

private:
    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
};

void TestPlatformClient::initTestCase()
{
    // The settings store must never be the real user's, however the test is started.
    QVERIFY(m_settingsDir.isValid());
    QVERIFY(m_appDir.isValid());
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
}

void TestPlatformClient::requestWireForm_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("storedToken");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QJsonObject>("expected"); // without "productId" and "channelId", which all carry

    const QString device = MyContext::deviceInfo();
    QTest::newRow("app init") << "appInit" << QString() << appInitPath
                              << QJsonObject{{"service", "morvane.platform.init"}, {"deviceInfo", device}};
    QTest::newRow("token login") << "tokenLogin"
                                 << "tok-1" << tokenLoginPath
                                 << QJsonObject{{"service", "morvane.platform.tokenlogin"},
                                                {"userSystemId", "1001"},
                                                {"sessionId", ""},
                                                {"tokenId", "tok-1"},
                                                {"deviceInfo", device}};
    QTest::newRow("phone login") << "phoneLogin" << QString() << phoneLoginPath
                                 << QJsonObject{
                                        {"service", "morvane.platform.phonelogin"},
                                        {"userSystemId", "1000"},
                                        {"sessionId", ""},
                                        {"deviceInfo", device},
                                        {"dyData", QJsonObject{{"phoneNum", "13800000000"}, {"verifyCode", "123456"}}}};
    QTest::newRow("send verification code") << "sendVerifyCode" << QString() << sendCodePath
                                            << QJsonObject{{"service", "morvane.platform.sendverifycode"},
                                                           {"sessionId", ""},
                                                           {"deviceInfo", device},
                                                           {"dyData", QJsonObject{{"phoneNum", "13800000000"}}}};
    QTest::newRow("fetch QR code") << "fetchQrCode"
                                   << "tok-1" << qrFetchPath
                                   << QJsonObject{{"service", "morvane.platform.getgongzhongqrcode"},
                                                  {"sessionId", ""},
                                                  {"preLoginToken", "10015_pre"}};
    QTest::newRow("QR poll with stored token") << "qrCodeLogin"
                                               << "tok-1" << qrPollPath
                                               << QJsonObject{{"service", "morvane.platform.gongzhongqrcodelogin"},
                                                              {"userSystemId", "1002"},
                                                              {"sessionId", ""},
                                                              {"tokenId", "tok-1"},
                                                              {"deviceInfo", device},
                                                              {"preLoginToken", "10015_pre"}};
    QTest::newRow("QR poll without stored token") << "qrCodeLogin" << QString() << qrPollPath
                                                  << QJsonObject{{"service", "morvane.platform.gongzhongqrcodelogin"},
                                                                 {"userSystemId", "1002"},
                                                                 {"sessionId", ""},
                                                                 {"deviceInfo", device},
                                                                 {"preLoginToken", "10015_pre"}};
}

void TestPlatformClient::requestWireForm()
{
    QFETCH(QString, operation);
    QFETCH(QString, storedToken);
    QFETCH(QString, path);
    QFETCH(QJsonObject, expected);

    Simulator sim(userScenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();
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

    const QJsonArray sent = sim.requests(path);
    QCOMPARE(sent.size(), 1);
    const QJsonObject request = sent.first().toObject();
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));

    expected.insert(QStringLiteral("productId"), QStringLiteral("10015"));
    expected.insert(QStringLiteral("channelId"), QStringLiteral("10000"));
    const QByteArray body = request.value("body").toString().toUtf8();
    // Exactly these keys and values, compactly serialised.
    QCOMPARE(Simulator::jsonBody(request), expected);
    QCOMPARE(body, QJsonDocument(expected).toJson(QJsonDocument::Compact));
    QVERIFY(!body.contains('\n'));
    QVERIFY(!body.contains(": "));

    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("application/json"));
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(body.size()));
}

void TestPlatformClient::logLineIsPlainText()
{
    Simulator sim(userScenario());
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    const QString text = QStringLiteral("initlog success,client version:8.0.0.1,supportSpecialMusicStr:曲,b");
    MyContext::commonLog(text);
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 5000);

    const QJsonArray sent = sim.requests(logPath);
    QCOMPARE(sent.size(), 1);
    const QJsonObject request = sent.first().toObject();
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(request.value("body").toString(), text);
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("text/plain"));
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(text.toUtf8().size()));
}

void TestPlatformClient::logLineDoesNotWait()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "400");
    Simulator sim(withFault(userScenario(), logPath, QJsonObject{{"kind", "hang"}}));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    QElapsedTimer clock;
    clock.start();
    MyContext::commonLog(QStringLiteral("initlog success,"));
    QVERIFY(clock.elapsed() < 400);
    QCOMPARE(PlatformExchange::backgroundExchanges(), 1);
    // The unanswered line is given up after the time-out and its network objects are released.
    QTRY_COMPARE_WITH_TIMEOUT(PlatformExchange::backgroundExchanges(), 0, 3000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.requests(logPath).size(), 1, 2000);
}

void TestPlatformClient::readingRules_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<QString>("errorDesc");
    QTest::addColumn<bool>("hasData");

    QTest::newRow("strings") << QByteArray(R"({"errorCode":"0001","errorDesc":"好","data":{"a":"b"}})") << "0001"
                             << "好" << true;
    QTest::newRow("number code") << QByteArray(R"({"errorCode":1,"errorDesc":"x","data":{"a":1}})") << ""
                                 << "x" << true;
    QTest::newRow("array, null, bool") << QByteArray(R"({"errorCode":[],"errorDesc":null,"data":true})") << ""
                                       << "" << false;
    QTest::newRow("object code") << QByteArray(R"({"errorCode":{"v":"0001"},"errorDesc":false})") << ""
                                 << "" << false;
    QTest::newRow("not JSON") << QByteArray("<html>502 Bad Gateway</html>") << ""
                              << "" << false;
    QTest::newRow("JSON array") << QByteArray(R"([{"errorCode":"0001"}])") << ""
                                << "" << false;
    QTest::newRow("truncated JSON") << QByteArray(R"({"errorCode":"0001","errorDesc":"")") << ""
                                    << "" << false;
    QTest::newRow("empty") << QByteArray() << ""
                           << "" << false;
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
    Simulator sim(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "nonJson"}}));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    const PlatformExchange::Answer answer =
        PlatformExchange::postJson(sim.baseUrl() + appInitPath, PlatformExchange::envelope("x"));
    QVERIFY(answer.succeeded());

    // The same exchange with a body that is no JSON: received, but not successful and without data.
    const PlatformExchange::Answer broken =
        PlatformExchange::postJson(sim.baseUrl() + qrFetchPath, PlatformExchange::envelope("x"));
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
    Simulator sim(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "hang"}}));
    QVERIFY(sim.isRunning());
    sim.useForPlatform();

    QElapsedTimer clock;
    clock.start();
    bool ok = true;
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &ok), QString());
    const qint64 elapsed = clock.elapsed();
    QVERIFY(!ok);
    QVERIFY2(elapsed >= 290, qPrintable(QString::number(elapsed)));
    QVERIFY2(elapsed < 3000, qPrintable(QString::number(elapsed)));

    // A slow but timely answer is not cut off.
    QVERIFY(sim.setScenario(withFault(userScenario(), qrFetchPath, QJsonObject{{"kind", "delay"}, {"ms", 100}})));
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
    const QByteArray userService = qgetenv("TESSALY_USER_SERVICE_URL");
    const QByteArray platform = qgetenv("TESSALY_PLATFORM_URL");

    qunsetenv("TESSALY_USER_SERVICE_URL");
    qunsetenv("TESSALY_PLATFORM_URL");
    QCOMPARE(MyContext::userServiceUrl(), QStringLiteral(TESSALY_DEFAULT_USER_SERVICE_URL));
    QCOMPARE(MyContext::platformUrl(), QStringLiteral(TESSALY_DEFAULT_PLATFORM_URL));

    qputenv("TESSALY_USER_SERVICE_URL", "http://127.0.0.1:8123");
    qputenv("TESSALY_PLATFORM_URL", "http://127.0.0.1:8124/");
    QCOMPARE(MyContext::userServiceUrl(), QStringLiteral("http://127.0.0.1:8123"));
    QCOMPARE(MyContext::platformUrl(), QStringLiteral("http://127.0.0.1:8124"));

    qputenv("TESSALY_USER_SERVICE_URL", userService);
    qputenv("TESSALY_PLATFORM_URL", platform);
}

void TestPlatformClient::oversizedAnswerFails()
{
    QTemporaryDir files;
    QVERIFY(files.isValid());
    QVERIFY(writeFile(files.filePath("small.bin"), QByteArray(1000, 'a')));
    QVERIFY(writeFile(files.filePath("large.bin"), QByteArray(1001, 'a')));
    QVERIFY(writeFile(files.filePath("huge.bin"), QByteArray(PlatformExchange::maxImageBody + 1, 'a')));
    Simulator sim(withFiles(userScenario(), files.path()));
    QVERIFY(sim.isRunning());

    const PlatformExchange::Answer small = PlatformExchange::get(sim.baseUrl() + "/files/small.bin", 1000);
    QVERIFY(small.received);
    QCOMPARE(small.body.size(), 1000);

    const PlatformExchange::Answer large = PlatformExchange::get(sim.baseUrl() + "/files/large.bin", 1000);
    QVERIFY(!large.received);
    QVERIFY(large.body.isEmpty());

    // A huge image is refused without keeping it.
    const QString target = m_appDir.filePath("huge.png");
    QVERIFY(!MyContext::downloadImage(sim.baseUrl() + "/files/huge.bin", target));
    QVERIFY(!QFile::exists(target));
}

void TestPlatformClient::downloadImage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("saveAs");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QByteArray>("format");

    QTest::newRow("png") << "/files/icon.png"
                         << "a.png" << true << QByteArray("png");
    QTest::newRow("saved by suffix") << "/files/icon.png"
                                     << "b.jpg" << true << QByteArray("jpeg");
    QTest::newRow("followed redirect") << "/files/moved.png"
                                       << "c.png" << true << QByteArray("png");
    QTest::newRow("not found") << "/files/missing.png"
                               << "d.png" << false << QByteArray();
    QTest::newRow("not an image") << "/files/text.png"
                                  << "e.png" << false << QByteArray();
    QTest::newRow("dropped mid-transfer") << "/files/dropped.png"
                                          << "f.png" << false << QByteArray();
    QTest::newRow("server error") << "/files/broken.png"
                                  << "g.png" << false << QByteArray();
}

void TestPlatformClient::downloadImage()
{
    QFETCH(QString, path);
    QFETCH(QString, saveAs);
    QFETCH(bool, saved);
    QFETCH(QByteArray, format);

    QTemporaryDir files;
    QVERIFY(files.isValid());
    const QByteArray png = pngBytes(64);
    QVERIFY(writeFile(files.filePath("icon.png"), png));
    QVERIFY(writeFile(files.filePath("dropped.png"), png));
    QVERIFY(writeFile(files.filePath("broken.png"), png));
    QVERIFY(writeFile(files.filePath("text.png"), "no picture here"));
    QJsonObject scenario = withFiles(userScenario(), files.path(),
                                     QJsonObject{{"redirects", QJsonObject{{"/files/moved.png", "/files/icon.png"}}},
                                                 {"drops", QJsonObject{{"/files/dropped.png", png.size() / 2}}}});
    scenario = withFault(scenario, "/files/broken.png", QJsonObject{{"kind", "status"}, {"status", 500}});
    Simulator sim(scenario);
    QVERIFY(sim.isRunning());

    const QString target = m_appDir.filePath(saveAs);
    QFile::remove(target);
    QCOMPARE(MyContext::downloadImage(sim.baseUrl() + path, target), saved);
    QCOMPARE(QFile::exists(target), saved);
    if (saved) {
        QImageReader reader(target);
        QCOMPARE(reader.format(), format);
        QCOMPARE(reader.size(), QSize(64, 64));
    }
    const QJsonArray sent = sim.requests(path);
    QVERIFY(!sent.isEmpty());
    QCOMPARE(sent.first().toObject().value("method").toString(), QStringLiteral("GET"));
}

void TestPlatformClient::workFolders()
{
    QCOMPARE(MyContext::tempDir(), m_appDir.path() + QStringLiteral("/temp"));
    QVERIFY(QFileInfo(MyContext::tempDir()).isDir());
    QCOMPARE(MyContext::iconImgDir(), m_appDir.path() + QStringLiteral("/iconImg"));
    QVERIFY(QFileInfo(MyContext::iconImgDir()).isDir());
}

void TestPlatformClient::newTempWorkDirName()
{
    const QDateTime before = QDateTime::currentDateTime();
    const QString dir = MyContext::newTempWorkDir();
    const QDateTime after = QDateTime::currentDateTime();

    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(QFileInfo(dir).absolutePath(), m_appDir.path() + QStringLiteral("/temp"));
    const QString name = QFileInfo(dir).fileName();
    QVERIFY2(QRegularExpression(QStringLiteral("^temp_\\d{11}$")).match(name).hasMatch(), qPrintable(name));

    // The name is "temp_" and the day, hour (24-hour), minute, second and millisecond of the call.
    bool matched = false;
    for (QDateTime t = before; t <= after && !matched; t = t.addMSecs(1))
        matched = name == QStringLiteral("temp_") + t.toString(QStringLiteral("ddHHmmsszzz"));
    QVERIFY2(matched, qPrintable(name));
}

void TestPlatformClient::folderCreationFailureStillReturnsPath()
{
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
