// The platform client's wire forms, time-out, size cap, image download, work folders and device
// description, against the platform simulator on loopback. How answers are read is covered with the
// exchanges in tst_logins and tst_appinit.
#include "core/platform/mycontext.h"
#include "core/platform/platformexchange.h"
#include "support/logcapture.h"
#include "support/contextfixture.h"
#include "support/simulator.h"

#include <QBuffer>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

const QString qrFetchPath = QStringLiteral("/user/user/getgongzhongqrcode.html");
const QString qrText = QStringLiteral("https://qr.tessaly.invalid/login?t={preLoginToken}");

QJsonObject scenario(const QString &faultPath = {}, const QJsonObject &fault = {})
{
    QJsonObject scenario{{"qr", QJsonObject{{"text", qrText}}}};
    if (!fault.isEmpty())
        scenario.insert("faults", QJsonObject{{faultPath, fault}});
    return scenario;
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
    void qrFetch_data();
    void qrFetch();
    void exchangeWhoseLoopCannotRunFails();
    void settingsFromEnvironment();
    void oversizedAnswerFails();
    void downloadImage_data();
    void downloadImage();
    void workFolders();
    void deviceInfoFormat();
    void httpsAvailable();

private:
    void startSim(const QJsonObject &scenario)
    {
        m_sim.reset(new Simulator(scenario));
        QVERIFY(m_sim->isRunning());
        m_sim->useForPlatform();
    }
    QString filesSim();

    QTemporaryDir m_settingsDir;
    QTemporaryDir m_appDir;
    QTemporaryDir m_filesDir;
    QScopedPointer<Simulator> m_sim;
    QScopedPointer<Simulator> m_filesSim;
    QScopedPointer<LogCapture> m_log;
};

void TestPlatformClient::initTestCase()
{
    QVERIFY(m_settingsDir.isValid() && m_appDir.isValid() && m_filesDir.isValid());
    QVERIFY(ContextFixture::isolate(m_settingsDir.path(), m_appDir.path()));
}

void TestPlatformClient::init()
{
    qputenv("TESSALY_HTTP_TIMEOUT_MS", "3000");
    ContextFixture::resetContext();
    m_log.reset(new LogCapture);
}

void TestPlatformClient::cleanup()
{
    QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000);
    m_log.reset();
    ContextFixture::resetContext();
    m_sim.reset();
}

void TestPlatformClient::requestWireForm_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("storedToken");
    QTest::addColumn<QString>("path");
    // JSON without "productId" and "channelId", which all carry; DEVICE stands for the device description.
    QTest::addColumn<QByteArray>("expected");

    const auto row = [](const char *operation, const char *storedToken, const char *path, const QByteArray &json) {
        QTest::newRow(operation) << operation << storedToken << path << json;
    };
    row("appInit", "", "/user/init/appinit.html", R"({"service":"morvane.platform.init","deviceInfo":"DEVICE"})");
    row("tokenLogin", "tok-1", "/user/user/tokenlogin.html",
        R"({"service":"morvane.platform.tokenlogin","userSystemId":"1001","sessionId":"","tokenId":"tok-1",)"
        R"("deviceInfo":"DEVICE"})");
    row("phoneLogin", "", "/user/user/phonelogin.html",
        R"({"service":"morvane.platform.phonelogin","userSystemId":"1000","sessionId":"","deviceInfo":"DEVICE",)"
        R"("dyData":{"phoneNum":"13800000000","verifyCode":"123456"}})");
    row("sendVerifyCode", "", "/user/user/sendverifycode.html",
        R"({"service":"morvane.platform.sendverifycode","sessionId":"","deviceInfo":"DEVICE",)"
        R"("dyData":{"phoneNum":"13800000000"}})");
    // The QR fetch never carries the stored token; the poll carries it when there is one.
    row("fetchQrCode", "tok-1", "/user/user/getgongzhongqrcode.html",
        R"({"service":"morvane.platform.getgongzhongqrcode","sessionId":"","preLoginToken":"10015_pre"})");
    const QByteArray poll = R"({"service":"morvane.platform.gongzhongqrcodelogin","userSystemId":"1002",)"
                            R"("sessionId":"","deviceInfo":"DEVICE","preLoginToken":"10015_pre")";
    row("qrCodeLogin", "", "/user/user/gongzhongqrcodelogin.html", poll + "}");
    QTest::newRow("qrCodeLogin, stored token")
        << "qrCodeLogin"
        << "tok-1"
        << "/user/user/gongzhongqrcodelogin.html" << poll + R"(,"tokenId":"tok-1"})";
    row("commonLog", "", "/platform/log/commonlog.html",
        "initlog success,client version:8.0.0.1,supportSpecialMusicStr:曲,b");
}

void TestPlatformClient::requestWireForm()
{
    QFETCH(QString, operation);
    QFETCH(QString, storedToken);
    QFETCH(QString, path);
    QFETCH(QByteArray, expected);

    startSim(scenario());
    if (!storedToken.isEmpty())
        MyContext::settings().setValue(QStringLiteral("tokenId"), storedToken);

    const QString phone = QStringLiteral("13800000000"), preLogin = QStringLiteral("10015_pre");
    if (operation == "appInit")
        MyContext::appInit();
    else if (operation == "tokenLogin")
        MyContext::tokenLogin();
    else if (operation == "phoneLogin")
        MyContext::phoneLogin(phone, QStringLiteral("123456"));
    else if (operation == "sendVerifyCode")
        MyContext::sendVerifyCode(phone);
    else if (operation == "fetchQrCode")
        MyContext::fetchQrCode(preLogin);
    else if (operation == "qrCodeLogin")
        MyContext::qrCodeLogin(preLogin);
    else
        MyContext::commonLog(QString::fromUtf8(expected));
    QTRY_COMPARE_WITH_TIMEOUT(m_log->backgroundPostsRunning(), 0, 5000); // the log line is not waited for

    const QJsonArray sent = m_sim->requests(path);
    QCOMPARE(sent.size(), 1);
    const QJsonObject request = sent.first().toObject();
    const QByteArray body = request.value("body").toString().toUtf8();
    QCOMPARE(request.value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Length")), QString::number(body.size()));
    if (operation == "commonLog") {
        QCOMPARE(body, expected);
        QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("text/plain"));
        return;
    }
    QJsonObject wanted = QJsonDocument::fromJson(expected.replace("DEVICE", MyContext::deviceInfo().toUtf8())).object();
    QVERIFY(!wanted.isEmpty());
    wanted.insert(QStringLiteral("productId"), QStringLiteral("10015"));
    wanted.insert(QStringLiteral("channelId"), QStringLiteral("10000"));
    // Exactly these keys and values, compactly serialised.
    QCOMPARE(Simulator::jsonBody(request), wanted);
    QCOMPARE(body, QJsonDocument(wanted).toJson(QJsonDocument::Compact));
    QCOMPARE(Simulator::header(request, QStringLiteral("Content-Type")), QStringLiteral("application/json"));

    // The request log line shows the same JSON with the secrets masked, and no log line shows them.
    QJsonObject masked = wanted;
    for (const char *key : {"tokenId", "preLoginToken"}) {
        if (masked.contains(QLatin1String(key)))
            masked.insert(QLatin1String(key), QStringLiteral("***"));
    }
    if (masked.contains(QStringLiteral("dyData"))) {
        QJsonObject dyData = masked.value(QStringLiteral("dyData")).toObject();
        dyData.insert(QStringLiteral("phoneNum"), QStringLiteral("138****0000"));
        if (dyData.contains(QStringLiteral("verifyCode")))
            dyData.insert(QStringLiteral("verifyCode"), QStringLiteral("***"));
        masked.insert(QStringLiteral("dyData"), dyData);
    }
    const QStringList logged = m_log->lines().filter(QRegularExpression(QStringLiteral("^==================== \\{")));
    QCOMPARE(logged.size(), 1);
    QCOMPARE(QJsonDocument::fromJson(logged.first().mid(21).toUtf8()).object(), masked);
    const QString log = m_log->lines().join(QLatin1Char('\n'));
    for (const QString &secret : {storedToken, preLogin, phone, QStringLiteral("123456")})
        QVERIFY2(secret.isEmpty() || !log.contains(secret), qPrintable(secret));
}

void TestPlatformClient::qrFetch_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");

    const QString text = QStringLiteral("https://qr.tessaly.invalid/login?t=10015_pre");
    QTest::newRow("slow but in time") << QJsonObject{{"kind", "delay"}, {"ms", 100}} << text << true;
    // Only a network failure fails the fetch; the answer itself is not examined.
    QTest::newRow("not JSON") << QJsonObject{{"kind", "nonJson"}} << QString() << true;
    QTest::newRow("never answers") << QJsonObject{{"kind", "hang"}} << QString() << false;
}

void TestPlatformClient::qrFetch()
{
    QFETCH(QJsonObject, fault);
    QFETCH(QString, text);
    QFETCH(bool, ok);

    qputenv("TESSALY_HTTP_TIMEOUT_MS", "300");
    startSim(scenario(qrFetchPath, fault));
    QElapsedTimer clock;
    clock.start();
    bool fetched = !ok;
    QCOMPARE(MyContext::fetchQrCode(QStringLiteral("10015_pre"), &fetched), text);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(fetched, ok);
    if (!ok) // aborted at the time-out, not earlier and not much later
        QVERIFY2(elapsed >= 290 && elapsed < 3000, qPrintable(QString::number(elapsed)));
}

void TestPlatformClient::exchangeWhoseLoopCannotRunFails()
{
    // As when the application is leaving: the thread's local loops return at once, before any answer.
    // The platform answers normally, so reading what has arrived would look like an empty success.
    startSim(scenario());
    PlatformExchange::Answer answer;
    answer.received = true;
    QScopedPointer<QThread> thread(QThread::create([&] {
        QThread::currentThread()->exit();
        answer = PlatformExchange::postJson(m_sim->baseUrl() + qrFetchPath, PlatformExchange::envelope("x"));
    }));
    thread->start();
    QVERIFY(thread->wait(10000));
    QVERIFY(!answer.received);
    QVERIFY(!answer.succeeded());
}

void TestPlatformClient::settingsFromEnvironment()
{
    // An invalid time-out falls back to 5000; a trailing "/" on a base address is dropped.
    const QList<QPair<QByteArray, int>> timeOuts{{"250", 250}, {"0", 5000}, {"-3", 5000}, {"soon", 5000}};
    for (const auto &timeOut : timeOuts) {
        qputenv("TESSALY_HTTP_TIMEOUT_MS", timeOut.first);
        QCOMPARE(MyContext::httpTimeoutMs(), timeOut.second);
    }
    qunsetenv("TESSALY_HTTP_TIMEOUT_MS");
    QCOMPARE(MyContext::httpTimeoutMs(), 5000);

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

    const auto row = [](const char *name, const char *path, const char *saveAs, const char *format) {
        QTest::newRow(name) << QString(path) << QString(saveAs) << QByteArray(format);
    };
    row("png", "/files/icon.png", "a.png", "png");
    row("saved by suffix", "/files/icon.png", "b.jpg", "jpeg");
    row("followed redirect", "/files/moved.png", "c.png", "png");
    row("not found", "/files/missing.png", "d.png", "");
    row("not an image", "/files/text.png", "e.png", "");
    row("dropped mid-transfer", "/files/dropped.png", "f.png", "");
}

void TestPlatformClient::downloadImage()
{
    QFETCH(QString, path);
    QFETCH(QString, saveAs);
    QFETCH(QByteArray, format);

    const QString target = m_appDir.filePath(saveAs);
    QCOMPARE(MyContext::downloadImage(filesSim() + path, target), !format.isEmpty());
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

// One simulator serving the files of the download and size-cap tests; returns its address.
QString TestPlatformClient::filesSim()
{
    if (!m_filesSim) {
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(QColor(47, 105, 242));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        const QString dir = m_filesDir.path();
        writeFile(dir + "/icon.png", png);
        writeFile(dir + "/dropped.png", png);
        writeFile(dir + "/text.png", "no picture here");
        writeFile(dir + "/small.bin", QByteArray(1000, 'a'));
        writeFile(dir + "/large.bin", QByteArray(1001, 'a'));
        m_filesSim.reset(
            new Simulator(QJsonObject{{"files",
                                       QJsonObject{{"root", dir},
                                                   {"redirects", QJsonObject{{"/files/moved.png", "/files/icon.png"}}},
                                                   {"drops", QJsonObject{{"/files/dropped.png", png.size() / 2}}}}}}));
    }
    return m_filesSim->isRunning() ? m_filesSim->baseUrl() : QString();
}

void TestPlatformClient::workFolders()
{
    QCOMPARE(MyContext::iconImgDir(), m_appDir.path() + QStringLiteral("/iconImg"));
    QVERIFY(QFileInfo(MyContext::iconImgDir()).isDir());

    // The name is "temp_" and the day, hour (24-hour), minute, second and millisecond of the call.
    const QDateTime before = QDateTime::currentDateTime();
    const QString dir = MyContext::newTempWorkDir();
    const QDateTime after = QDateTime::currentDateTime();
    QVERIFY(QFileInfo(dir).isDir());
    QCOMPARE(QFileInfo(dir).absolutePath(), m_appDir.path() + QStringLiteral("/temp"));
    const QString name = QFileInfo(dir).fileName();
    QVERIFY2(QRegularExpression(QStringLiteral("^temp_\\d{11}$")).match(name).hasMatch(), qPrintable(name));
    bool matched = false;
    for (QDateTime t = before; t <= after && !matched; t = t.addMSecs(1))
        matched = name == QStringLiteral("temp_") + t.toString(QStringLiteral("ddHHmmsszzz"));
    QVERIFY2(matched, qPrintable(name));
}

void TestPlatformClient::deviceInfoFormat()
{
    // "MAC|WIDTHxHEIGHT|client version"; the address may be empty when no interface qualifies.
    const QString info = MyContext::deviceInfo();
    const QStringList parts = info.split(QLatin1Char('|'));
    QCOMPARE(parts.size(), 3);
    QVERIFY2(QRegularExpression(QStringLiteral("^([0-9A-F]{2}(:[0-9A-F]{2}){5,7})?$")).match(parts.at(0)).hasMatch(),
             qPrintable(info));
    QVERIFY(QGuiApplication::primaryScreen());
    const QSize desktop = QGuiApplication::primaryScreen()->virtualSize();
    QCOMPARE(parts.at(1), QStringLiteral("%1x%2").arg(desktop.width()).arg(desktop.height()));
    QCOMPARE(parts.at(2), QStringLiteral("8.0.0.1"));
}

void TestPlatformClient::httpsAvailable()
{
    // Platform addresses may be https: QtNetwork must be linked with an OpenSSL it can load.
    QVERIFY2(QSslSocket::supportsSsl(), qPrintable(QSslSocket::sslLibraryBuildVersionString()));
}

QTEST_MAIN(TestPlatformClient)
#include "tst_platformclient.moc"
