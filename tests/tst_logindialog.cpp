#include "widgets/account/gongzhonglogindialog.h"
#include "core/account/qrrender.h"
#include "core/account/signinnotifier.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/probe.h"
#include "support/simulator.h"

#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QtTest>

#include <qrencode.h>

#include <memory>

namespace {

const QString fetchPath = QStringLiteral("/user/user/getgongzhongqrcode.html");
const QString pollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
const QString loginPath = QStringLiteral("/user/user/phonelogin.html");
const QString qrText = QStringLiteral("https://qr.tessaly.invalid/login?t={preLoginToken}");
const QString knownPhone = QStringLiteral("13800000000");
const QString knownCode = QStringLiteral("123456");
const QString busyPhone = QStringLiteral("13900000000");
const int never = 3600 * 1000;

QJsonObject scenario(int pollsUntilLogin = 0, const QJsonObject &faults = {}, const QString &text = qrText)
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", QStringLiteral("小泰")},
                           {"headImgBase64", ""},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}}};
    const QJsonObject busy{
        {"phoneNum", busyPhone},
        {"verifyCode", "654321"},
        {"userId", "u1"},
        {"sendCode", QJsonObject{{"errorCode", "0023"}, {"errorDesc", QStringLiteral("发送过于频繁，请稍后再试")}}}};
    return QJsonObject{
        {"users", QJsonArray{user}},
        {"phones",
         QJsonArray{QJsonObject{{"phoneNum", knownPhone}, {"verifyCode", knownCode}, {"userId", "u1"}}, busy}},
        {"qr", QJsonObject{{"text", text}, {"pollsUntilLogin", pollsUntilLogin}, {"userId", "u1"}}},
        {"faults", faults}};
}

QJsonObject delayed(const QString &path, int ms)
{
    return QJsonObject{{path, QJsonObject{{"kind", "delay"}, {"ms", ms}}}};
}

// The countdown is stepped by hand unless a test says otherwise.
LoginDialogTiming timing(int pollIntervalMs = 50)
{
    LoginDialogTiming timing;
    timing.pollIntervalMs = pollIntervalMs;
    timing.countdownIntervalMs = never;
    return timing;
}

template <typename T = QPushButton> T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

bool hasPicture(GongZhongLoginDialog *dialog)
{
    return !child<QLabel>(dialog, "qrCodeLabel")->pixmap(Qt::ReturnByValue).isNull();
}

QString stored(const char *key)
{
    return MyContext::settings().value(QLatin1String(key)).toString();
}

int countWithToken(const QJsonArray &requests, const QString &token)
{
    int count = 0;
    for (const QJsonValue &request : requests)
        count += Simulator::jsonBody(request.toObject()).value(QLatin1String("preLoginToken")).toString() == token;
    return count;
}

// True when the picture carries exactly libqrencode's symbol of text, read back from the centre of
// every 6 x 6 module.
bool pictureEncodes(const QImage &image, const QString &text)
{
    QRcode *code = QRcode_encodeString(text.toUtf8().constData(), 2, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code)
        return false;
    const int width = code->width;
    bool same = image.width() == width * qrModulePixels && image.height() == image.width();
    for (int i = 0; same && i < width * width; ++i) {
        const QPoint centre((i % width) * qrModulePixels + qrModulePixels / 2,
                            (i / width) * qrModulePixels + qrModulePixels / 2);
        same = (qGray(image.pixel(centre)) < 128) == bool(code->data[i] & 1);
    }
    QRcode_free(code);
    return same;
}

QString textFor(GongZhongLoginDialog *dialog, QString text = qrText)
{
    return text.replace(QLatin1String("{preLoginToken}"), dialog->loginToken());
}

// Same pixels, whatever the formats (a pixmap of an opaque picture comes back without alpha).
bool sameImage(const QImage &a, const QImage &b)
{
    return a.convertToFormat(QImage::Format_ARGB32) == b.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestLoginDialog : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void preLoginTokenPerDialog();
    void failedFetchKeepsPicture_data();
    void failedFetchKeepsPicture();
    void pictureFitsItsArea_data();
    void pictureFitsItsArea();
    void dragMovesDialog();

    void signInClosesDialog_data();
    void signInClosesDialog();
    void closingStopsPolling_data();
    void closingStopsPolling();
    void slowPlatformNeverOverlaps_data();
    void slowPlatformNeverOverlaps();
    void closeWhileExchangeWaits_data();
    void closeWhileExchangeWaits();

    void phoneMessages_data();
    void phoneMessages();
    void countdownRunsOnItsTimer();

private:
    // A shown dialog whose first QR code has arrived.
    GongZhongLoginDialog *openDialog();
    void fillPhone(GongZhongLoginDialog *dialog, const QString &number, const QString &code);
    // Clicks button, or (key != 0) presses key in the last filled field as a user would after typing.
    void press(GongZhongLoginDialog *dialog, const QString &path, int key = 0);
    // While another dialog polls several times, no poll of the given attempt follows.
    void expectNoMorePolls(const QString &token);

    std::unique_ptr<Simulator> sim;
};

void TestLoginDialog::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.platform.debug=false"));
    MyContext::initScreenClass();
    sim = std::make_unique<Simulator>(scenario());
    QVERIFY(sim->isRunning());
    sim->useForPlatform();
}

void TestLoginDialog::init()
{
    GongZhongLoginDialog::setTiming(timing());
    QVERIFY(sim->setScenario(scenario()));
    sim->clearRequests();
    MyContext::loginOut();
}

void TestLoginDialog::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets())
        delete qobject_cast<GongZhongLoginDialog *>(widget);
    MyContext::loginOut();
    MyContext::initScreenClass();
    GongZhongLoginDialog::setTiming(LoginDialogTiming());
}

GongZhongLoginDialog *TestLoginDialog::openDialog()
{
    auto *dialog = new GongZhongLoginDialog(nullptr);
    dialog->show();
    if (!QTest::qWaitFor([dialog] { return hasPicture(dialog); }, 5000))
        qWarning("no QR code arrived");
    return dialog;
}

void TestLoginDialog::fillPhone(GongZhongLoginDialog *dialog, const QString &number, const QString &code)
{
    QTRY_VERIFY(hasPicture(dialog));
    QTest::mouseClick(child(dialog, "phoneTab"), Qt::LeftButton);
    QTest::keyClicks(child<QLineEdit>(dialog, "phoneNumEdit"), number);
    QTest::keyClicks(child<QLineEdit>(dialog, "verifyCodeEdit"), code);
}

void TestLoginDialog::press(GongZhongLoginDialog *dialog, const QString &path, int key)
{
    if (!key) {
        QTest::mouseClick(child(dialog, path == sendCodePath ? "sendCodeButton" : "phoneLoginButton"), Qt::LeftButton);
        return;
    }
    auto *field = child<QLineEdit>(dialog, "verifyCodeEdit");
    if (field->text().isEmpty())
        field = child<QLineEdit>(dialog, "phoneNumEdit");
    QTest::mouseClick(field, Qt::LeftButton); // the focus leaves the tab for the field
    QTest::keyClick(field, Qt::Key(key));
}

void TestLoginDialog::expectNoMorePolls(const QString &token)
{
    const int before = countWithToken(sim->requests(pollPath), token);
    GongZhongLoginDialog::setTiming(timing());
    QVERIFY(sim->setScenario(scenario()));
    QPointer<GongZhongLoginDialog> other = openDialog();
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), other->loginToken()) >= 3);
    QCOMPARE(countWithToken(sim->requests(pollPath), token), before);
    delete other;
}

void TestLoginDialog::preLoginTokenPerDialog()
{
    QPointer<GongZhongLoginDialog> first = openDialog();
    QPointer<GongZhongLoginDialog> second = openDialog();
    const QRegularExpression shape(
        QStringLiteral("^10015_[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    for (GongZhongLoginDialog *dialog : {first.data(), second.data()}) {
        QVERIFY2(shape.match(dialog->loginToken()).hasMatch(), qPrintable(dialog->loginToken()));
        QCOMPARE(countWithToken(sim->requests(fetchPath), dialog->loginToken()), 1);
        QTRY_VERIFY(countWithToken(sim->requests(pollPath), dialog->loginToken()) >= 1);
    }
    QVERIFY(first->loginToken() != second->loginToken());
    delete first;
    delete second;
}

void TestLoginDialog::failedFetchKeepsPicture_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::newRow("server error") << QJsonObject{{"kind", "status"}, {"status", 500}};
    QTest::newRow("connection reset") << QJsonObject{{"kind", "reset"}};
    QTest::newRow("not json") << QJsonObject{{"kind", "nonJson"}};
}

void TestLoginDialog::failedFetchKeepsPicture()
{
    QFETCH(QJsonObject, fault);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    const QImage before = qrLabel->pixmap(Qt::ReturnByValue).toImage();
    const QImage renderedBefore = dialog->qrPicture();
    QVERIFY(pictureEncodes(renderedBefore, textFor(dialog)));

    QVERIFY(sim->setScenario(scenario(0, QJsonObject{{fetchPath, fault}})));
    QTest::mouseClick(child(dialog, "refreshButton"), Qt::LeftButton);
    QVERIFY(sim->requests(fetchPath).size() >= 2);
    QCOMPARE(qrLabel->pixmap(Qt::ReturnByValue).toImage(), before);
    QCOMPARE(dialog->qrPicture(), renderedBefore);
    QVERIFY(qrLabel->isVisible());
    QVERIFY(!child<QLabel>(dialog, "refreshingLabel")->isVisible());

    // The next good fetch, slow, brings another text: the refreshing animation shows while it waits,
    // then the new picture.
    const QString nextText = qrText + QStringLiteral("&r=2");
    QVERIFY(sim->setScenario(scenario(0, delayed(fetchPath, 300), nextText)));
    auto *refreshing = child<QLabel>(dialog, "refreshingLabel");
    int waitingSamples = 0;
    int refreshingShown = 0;
    Probe probe([&] {
        if (!dialog || dialog->exchangesWaiting() == 0)
            return;
        ++waitingSamples;
        refreshingShown +=
            refreshing->isVisible() && !qrLabel->isVisible() && refreshing->movie()->state() == QMovie::Running;
    });
    QTest::mouseClick(child(dialog, "refreshButton"), Qt::LeftButton);
    probe.stop();
    QVERIFY(waitingSamples > 5);
    QCOMPARE(refreshingShown, waitingSamples);
    QVERIFY(qrLabel->isVisible() && !refreshing->isVisible());
    QCOMPARE(refreshing->movie()->state(), QMovie::NotRunning);
    const QImage after = qrLabel->pixmap(Qt::ReturnByValue).toImage();
    QVERIFY(pictureEncodes(after, textFor(dialog, nextText)));
    QVERIFY(sameImage(dialog->qrPicture(), after));
    delete dialog;
}

void TestLoginDialog::pictureFitsItsArea_data()
{
    QTest::addColumn<bool>("small");
    QTest::addColumn<QString>("text");
    const QString longText = QStringLiteral("https://qr.tessaly.invalid/login?").leftJustified(160, QLatin1Char('x'));
    QTest::newRow("small screen, 160 characters") << true << longText;
    QTest::newRow("normal screen, 160 characters") << false << longText;
    QTest::newRow("small screen, short text") << true << QStringLiteral("https://qr.tessaly.invalid/s");
    QTest::newRow("normal screen, chinese text") << false << QStringLiteral("请扫码登录Tessaly软件管家");
}

void TestLoginDialog::pictureFitsItsArea()
{
    QFETCH(bool, small);
    QFETCH(QString, text);
    MyContext::isSmall = small;
    QVERIFY(sim->setScenario(scenario(0, {}, text)));
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));

    // The picture area and everything around it lie inside the dialog, nothing over the picture.
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    const QRect labelArea(qrLabel->mapTo(dialog, QPoint(0, 0)), qrLabel->size());
    const QRect inner = dialog->rect().adjusted(1, 1, -1, -1);
    for (const char *name : {"qrCodeLabel", "qrHintLabel", "refreshButton", "wechatTab", "phoneTab"}) {
        auto *widget = child<QWidget>(dialog, name);
        const QRect area(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
        QVERIFY2(inner.contains(area), name);
        QVERIFY2(widget == qrLabel || !area.intersects(labelArea), name);
    }

    // The rendered picture keeps its 6-pixel modules on white; the label shows it no larger than its area.
    const QImage rendered = dialog->qrPicture();
    QVERIFY(pictureEncodes(rendered, text));
    QCOMPARE(rendered.pixel(rendered.width() - 1, 7 * qrModulePixels + 1), qRgb(255, 255, 255));
    const QPixmap shown = qrLabel->pixmap(Qt::ReturnByValue);
    const QSize room = qrLabel->contentsRect().size();
    QVERIFY(shown.width() <= room.width() && shown.height() <= room.height());
    QCOMPARE(shown.width(), shown.height());
    if (rendered.height() > room.height())
        QCOMPARE(shown.height(), room.height()); // scaled down, as large as it fits
    else
        QVERIFY(sameImage(shown.toImage(), rendered));
    delete dialog;
}

// Presses in the top band, left of the close button, drag the dialog until the release.
void TestLoginDialog::dragMovesDialog()
{
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const auto drag = [&](const QPoint &from) {
        const QPoint start = dialog->pos();
        const QPoint global = dialog->mapToGlobal(from);
        const auto send = [&](QEvent::Type type, const QPoint &by, Qt::MouseButton button) {
            QMouseEvent event(type, from + by, global + by, button, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(dialog, &event);
        };
        send(QEvent::MouseButtonPress, {}, Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(30, 20), Qt::NoButton);
        send(QEvent::MouseButtonRelease, QPoint(30, 20), Qt::LeftButton);
        send(QEvent::MouseMove, QPoint(60, 60), Qt::NoButton); // released: no longer drags
        return dialog->pos() - start;
    };
    QCOMPARE(drag(QPoint(10, 10)), QPoint(30, 20));
    for (const QPoint &outside : {QPoint(0, 10), QPoint(10, 45), QPoint(dialog->width() - 50, 10)})
        QCOMPARE(drag(outside), QPoint());
    delete dialog;
}

void TestLoginDialog::signInClosesDialog_data()
{
    QTest::addColumn<bool>("byPoll");
    QTest::addColumn<int>("key"); // 0: the "登 录" button is clicked
    QTest::newRow("qr poll while the phone panel is shown") << true << 0;
    QTest::newRow("phone, click") << false << 0;
    QTest::newRow("phone, Return in the code field") << false << int(Qt::Key_Return);
}

void TestLoginDialog::signInClosesDialog()
{
    QFETCH(bool, byPoll);
    QFETCH(int, key);
    QVERIFY(sim->setScenario(scenario(byPoll ? 3 : 0)));
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    dialog->show();
    if (byPoll) {
        QTest::mouseClick(child(dialog, "phoneTab"), Qt::LeftButton);
        QVERIFY(child<QWidget>(dialog, "phoneCenterWidget")->isVisible());
    } else {
        fillPhone(dialog, knownPhone, knownCode);
        press(dialog, loginPath, key);
    }
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(success.count(), 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("小泰"));
    QCOMPARE(stored("tokenId"), QStringLiteral("tok-1"));
    QCOMPARE(stored("userSystemId"), QStringLiteral("1000"));
}

void TestLoginDialog::closingStopsPolling_data()
{
    QTest::addColumn<QString>("how");
    for (const char *how : {"close button", "escape", "window close"})
        QTest::newRow(how) << QString::fromLatin1(how);
}

// No key but Escape closes the dialog. It is kept alive after closing, so closing itself, not the
// deletion, must stop the timers.
void TestLoginDialog::closingStopsPolling()
{
    QFETCH(QString, how);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    const auto keyClick = [&](Qt::Key key) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog.data(), key);
    };
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter})
        keyClick(key);
    QVERIFY(dialog->isVisible() && child<QWidget>(dialog, "qrCenterWidget")->isVisible());
    QCOMPARE(finished.count(), 0);
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), dialog->loginToken()) >= 2);

    if (how == QLatin1String("close button"))
        QTest::mouseClick(child(dialog, "closeButton"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        keyClick(Qt::Key_Escape);
    else
        QVERIFY(dialog->close());
    QVERIFY(!dialog->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    expectNoMorePolls(dialog->loginToken());
    delete dialog;
}

void TestLoginDialog::slowPlatformNeverOverlaps_data()
{
    QTest::addColumn<QString>("slowPath");
    QTest::newRow("slow poll") << pollPath;
    QTest::newRow("slow qr fetch") << fetchPath;
    QTest::newRow("slow code request") << sendCodePath;
    QTest::newRow("slow login") << loginPath;
}

void TestLoginDialog::slowPlatformNeverOverlaps()
{
    QFETCH(QString, slowPath);
    const int delay = 200; // four poll intervals
    QVERIFY(sim->setScenario(scenario(0, delayed(slowPath, delay))));
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    dialog->show();
    if (slowPath == sendCodePath || slowPath == loginPath) {
        fillPhone(dialog, knownPhone, QStringLiteral("000000"));
        press(dialog, slowPath);
    }
    // Enough polls that, overlapping, several would have started inside one slow answer.
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), dialog->loginToken()) >= 3);
    delete dialog;

    const QJsonArray polls = sim->requests(pollPath);
    const QJsonArray slow = sim->requests(slowPath);
    QVERIFY(!slow.isEmpty());
    for (const QJsonValue &slowOne : slow) {
        const double from = slowOne.toObject().value(QLatin1String("time")).toDouble();
        for (const QJsonValue &poll : polls) {
            const double at = poll.toObject().value(QLatin1String("time")).toDouble();
            QVERIFY2(
                poll == slowOne || at < from || at >= from + delay - 1,
                qPrintable(QStringLiteral("a poll started %1 ms into a %2 ms exchange").arg(at - from).arg(delay)));
        }
    }
}

void TestLoginDialog::closeWhileExchangeWaits_data()
{
    QTest::addColumn<QString>("slowPath");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("qr fetch") << fetchPath << false;
    QTest::newRow("poll") << pollPath << false;
    QTest::newRow("poll that signs in") << pollPath << true;
    QTest::newRow("code request") << sendCodePath << false;
    QTest::newRow("login") << loginPath << false;
    QTest::newRow("login that signs in") << loginPath << true;
}

// The dialog is closed, and deleted, while its exchange waits, and the user opens another one; the
// exchange then returns into a slot of a dialog that no longer exists. A late sign-in still counts,
// and the other dialog, now pointless, closes.
void TestLoginDialog::closeWhileExchangeWaits()
{
    QFETCH(QString, slowPath);
    QFETCH(bool, succeeds);
    QVERIFY(sim->setScenario(scenario(slowPath == pollPath && succeeds ? 1 : 0, delayed(slowPath, 250))));
    LoginDialogTiming slow = timing(slowPath == pollPath ? 50 : never); // only the exchange under test waits
    slow.countdownIntervalMs = 20;
    GongZhongLoginDialog::setTiming(slow);

    QSignalSpy lateSignIn(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose);
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    const QString token = dialog->loginToken();
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    QPointer<GongZhongLoginDialog> other;
    std::unique_ptr<QSignalSpy> otherFinished;

    // Acts as soon as the exchange under test waits: the first fetch, or whatever waits once the first
    // picture is there (the first poll, the code request, the login).
    bool closed = false;
    Probe user([&] {
        if (!dialog || closed || dialog->exchangesWaiting() == 0 || (slowPath != fetchPath && !hasPicture(dialog)))
            return;
        closed = true;
        QTest::mouseClick(child(dialog, "closeButton"), Qt::LeftButton);
        GongZhongLoginDialog::setTiming(timing(never)); // the other dialog's own polls never sign in
        other = new GongZhongLoginDialog(nullptr);
        otherFinished = std::make_unique<QSignalSpy>(other.data(), &QDialog::finished);
        other->show();
    });
    dialog->show();
    if (slowPath == sendCodePath || slowPath == loginPath) {
        fillPhone(dialog, knownPhone, succeeds ? knownCode : QStringLiteral("000000"));
        press(dialog, slowPath);
    }
    QTRY_VERIFY(dialog.isNull());
    user.stop();
    QVERIFY(closed);
    const QJsonArray sent = sim->requests(slowPath);
    QCOMPARE(slowPath == fetchPath || slowPath == pollPath ? countWithToken(sent, token) : sent.size(), 1);
    QCOMPARE(success.count(), 0);

    if (succeeds) {
        QTRY_COMPARE(lateSignIn.count(), 1);
        QVERIFY(MyContext::user);
        QCOMPARE(stored("tokenId"), QStringLiteral("tok-1"));
        QTRY_VERIFY(other.isNull());
        QCOMPARE(otherFinished->count(), 1);
        QCOMPARE(otherFinished->at(0).at(0).toInt(), int(QDialog::Rejected));
    } else {
        QCOMPARE(lateSignIn.count(), 0);
        QVERIFY(!MyContext::user);
        QVERIFY(other && other->isVisible());
        QCOMPARE(otherFinished->count(), 0);
        delete other;
    }
    expectNoMorePolls(token);
}

void TestLoginDialog::phoneMessages_data()
{
    QTest::addColumn<QString>("number"); // as typed; the field takes digits only
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("path"); // the button pressed
    QTest::addColumn<int>("key"); // Return/Enter in a field presses "登 录", never the close button
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("sent");
    const QString noNumber = QStringLiteral("请输入手机号！");
    const QString badNumber = QStringLiteral("您输入的手机号格式有误！");
    const QString badCode = QStringLiteral("您输入的验证码有误！");
    const QString network = QStringLiteral("网络异常，请检查网络连接！");
    const QString shortNumber = QStringLiteral("1380000000");
    const QString shortCode = QStringLiteral("12345");
    const QJsonObject none;
    const QJsonObject reset{{"kind", "reset"}};
    QTest::newRow("code, no number") << QString() << QString() << sendCodePath << 0 << none << noNumber << false;
    QTest::newRow("code, 10 digits") << shortNumber << QString() << sendCodePath << 0 << none << badNumber << false;
    QTest::newRow("code, letters dropped")
        << QStringLiteral("1a3b8 -+0x") << QString() << sendCodePath << 0 << none << badNumber << false;
    QTest::newRow("code, refused") << busyPhone << QString() << sendCodePath << 0 << none
                                   << QStringLiteral("发送过于频繁，请稍后再试") << true;
    QTest::newRow("code, no network") << knownPhone << QString() << sendCodePath << 0
                                      << QJsonObject{{sendCodePath, reset}} << network << true;
    QTest::newRow("login, 10 digits, Return")
        << shortNumber << QString() << loginPath << int(Qt::Key_Return) << none << badNumber << false;
    QTest::newRow("login, no code") << knownPhone << QString() << loginPath << 0 << none
                                    << QStringLiteral("请输入验证码！") << false;
    QTest::newRow("login, 5-digit code") << knownPhone << shortCode << loginPath << 0 << none << badCode << false;
    QTest::newRow("login, 5-digit code, Enter")
        << knownPhone << shortCode << loginPath << int(Qt::Key_Enter) << none << badCode << false;
    QTest::newRow("login, wrong code") << knownPhone << QStringLiteral("000000") << loginPath << 0 << none
                                       << QStringLiteral("验证码错误") << true;
    QTest::newRow("login, no network") << knownPhone << knownCode << loginPath << 0 << QJsonObject{{loginPath, reset}}
                                       << network << true;
}

// Checks refuse before anything is sent; refusals and failures of the platform are shown. Either
// way the dialog stays open, nobody is signed in, and the code button is back at once.
void TestLoginDialog::phoneMessages()
{
    QFETCH(QString, number);
    QFETCH(QString, code);
    QFETCH(QString, path);
    QFETCH(int, key);
    QFETCH(QJsonObject, faults);
    QFETCH(bool, sent);
    QVERIFY(sim->setScenario(scenario(0, faults)));
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    fillPhone(dialog, number, code);
    QCOMPARE(child<QLineEdit>(dialog, "phoneNumEdit")->text(),
             number.remove(QRegularExpression(QStringLiteral("[^0-9]"))));
    press(dialog, path, key);

    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(finished.count(), 0);
    QTEST(child<QLabel>(dialog, "messageLabel")->text(), "message");
    QCOMPARE(sim->requests(sendCodePath).isEmpty(), !(sent && path == sendCodePath));
    QCOMPARE(sim->requests(loginPath).isEmpty(), !(sent && path == loginPath));
    auto *sendCode = child(dialog, "sendCodeButton");
    QVERIFY(sendCode->isEnabled());
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains(QStringLiteral("tokenId")));
    delete dialog;
}

// The countdown runs on its own (short) timer: "3S", "2S", "1S", then the button is back.
void TestLoginDialog::countdownRunsOnItsTimer()
{
    LoginDialogTiming fast = timing();
    fast.countdownStart = 3;
    fast.countdownIntervalMs = 250; // room for the exchange of the click itself on a loaded machine
    GongZhongLoginDialog::setTiming(fast);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    fillPhone(dialog, knownPhone, QString());
    auto *sendCode = child(dialog, "sendCodeButton");
    QList<int> counts;
    Probe probe([&] {
        const int count = sendCode->text().chopped(1).toInt();
        if (sendCode->text().endsWith(QLatin1Char('S')) && (counts.isEmpty() || counts.last() != count))
            counts.append(count);
    });
    QTest::mouseClick(sendCode, Qt::LeftButton);
    QCOMPARE(sendCode->text(), QStringLiteral("3S"));
    QVERIFY(!sim->requests(sendCodePath).isEmpty());
    QVERIFY(!sendCode->isEnabled());
    QTRY_VERIFY(sendCode->isEnabled());
    probe.stop();
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    // The probe saw the count go down, one way only.
    QVERIFY(counts.size() >= 2 && counts.first() == 3);
    QVERIFY(std::is_sorted(counts.crbegin(), counts.crend()));
    delete dialog;
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
