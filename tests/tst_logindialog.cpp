#include "account/gongzhonglogindialog.h"
#include "account/qrrender.h"
#include "account/signinnotifier.h"
#include "account/user.h"
#include "platform/mycontext.h"
#include "support/probe.h"
#include "support/simulator.h"

#include <QLabel>
#include <QLineEdit>
#include <QMovie>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QValidator>
#include <QtTest>

#include <qrencode.h>

#include <functional>
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
const QString unknownPhone = QStringLiteral("13700000000");

QJsonObject scenario(int pollsUntilLogin = 0, const QJsonObject &faults = {}, const QString &text = qrText)
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", QStringLiteral("小泰")},
                           {"headImgBase64", ""},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}}};
    const QJsonObject known{{"phoneNum", knownPhone}, {"verifyCode", knownCode}, {"userId", "u1"}};
    const QJsonObject busy{
        {"phoneNum", busyPhone},
        {"verifyCode", "654321"},
        {"userId", "u1"},
        {"sendCode", QJsonObject{{"errorCode", "0023"}, {"errorDesc", QStringLiteral("发送过于频繁，请稍后再试")}}}};
    return QJsonObject{{"users", QJsonArray{user}},
                       {"phones", QJsonArray{known, busy}},
                       {"qr", QJsonObject{{"text", text}, {"pollsUntilLogin", pollsUntilLogin}, {"userId", "u1"}}},
                       {"faults", faults}};
}

QJsonObject delayFault(int ms)
{
    return QJsonObject{{"kind", "delay"}, {"ms", ms}};
}

LoginDialogTiming fastTiming()
{
    LoginDialogTiming timing;
    timing.pollIntervalMs = 50;
    timing.countdownIntervalMs = 3600 * 1000; // stepped by hand unless a test says otherwise
    timing.countdownStart = 60;
    timing.firstFetchDelayMs = 10;
    return timing;
}

template <typename T> T *child(QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

QString tokenOf(const QJsonValue &request)
{
    return Simulator::jsonBody(request.toObject()).value(QLatin1String("preLoginToken")).toString();
}

int countWithToken(const QJsonArray &requests, const QString &token)
{
    int count = 0;
    for (const QJsonValue &request : requests)
        count += tokenOf(request) == token ? 1 : 0;
    return count;
}

// The modules of a rendered picture read back from the centre of every 6 x 6 cell.
QVector<bool> readModules(const QImage &image, int *width)
{
    *width = image.width() / qrModulePixels;
    QVector<bool> modules;
    for (int y = 0; y < *width; ++y) {
        for (int x = 0; x < *width; ++x) {
            const QRgb pixel =
                image.pixel(x * qrModulePixels + qrModulePixels / 2, y * qrModulePixels + qrModulePixels / 2);
            modules.append(qGray(pixel) < 128);
        }
    }
    return modules;
}

// The modules libqrencode itself makes for text with the sign-in settings.
QVector<bool> encodedModules(const QString &text, int *width)
{
    QVector<bool> modules;
    QRcode *code = QRcode_encodeString(text.toUtf8().constData(), 2, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) {
        *width = 0;
        return modules;
    }
    *width = code->width;
    for (int i = 0; i < code->width * code->width; ++i)
        modules.append(code->data[i] & 1);
    QRcode_free(code);
    return modules;
}

// True when the picture carries exactly the QR symbol of text.
bool pictureEncodes(const QImage &image, const QString &text)
{
    int readWidth = 0;
    int encodedWidth = 0;
    const QVector<bool> read = readModules(image, &readWidth);
    const QVector<bool> encoded = encodedModules(text, &encodedWidth);
    return encodedWidth > 0 && readWidth == encodedWidth && read == encoded && image.width() == image.height() &&
        image.width() == encodedWidth * qrModulePixels;
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
    void renderedPicture_data();
    void renderedPicture();
    void failedFetchKeepsPicture_data();
    void failedFetchKeepsPicture();
    void refreshingLabelWhileFetching();
    void pictureFitsItsArea_data();
    void pictureFitsItsArea();
    void dragMovesDialog_data();
    void dragMovesDialog();

    void pollSuccessOnPhonePanel();
    void closingStopsPolling_data();
    void closingStopsPolling();
    void lateSignInClosesOpenDialog();
    void slowPlatformNeverOverlaps_data();
    void slowPlatformNeverOverlaps();

    void phoneChecks_data();
    void phoneChecks();
    void lettersRefused();
    void platformAnswersShown_data();
    void platformAnswersShown();
    void countdownRunsOnItsTimer();
    void phoneLoginSuccess_data();
    void phoneLoginSuccess();
    void keysAfterOpeningKeepDialog_data();
    void keysAfterOpeningKeepDialog();

    void closeWhileExchangeWaits_data();
    void closeWhileExchangeWaits();

private:
    // A shown dialog whose first QR code has arrived.
    GongZhongLoginDialog *openDialog();
    void showPhonePanel(GongZhongLoginDialog *dialog);
    void fillPhone(GongZhongLoginDialog *dialog, const QString &number, const QString &code);
    // Clicks button, or (key != 0) presses key in the last filled field as a user would after typing.
    void press(GongZhongLoginDialog *dialog, const char *button, int key = 0);

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
    GongZhongLoginDialog::setTiming(fastTiming());
    QVERIFY(sim->setScenario(scenario()));
    sim->clearRequests();
    MyContext::loginOut();
}

void TestLoginDialog::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<GongZhongLoginDialog *>(widget))
            delete dialog;
    }
    MyContext::loginOut();
    MyContext::initScreenClass();
    GongZhongLoginDialog::setTiming(LoginDialogTiming());
}

GongZhongLoginDialog *TestLoginDialog::openDialog()
{
    auto *dialog = new GongZhongLoginDialog(nullptr);
    dialog->show();
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    if (!QTest::qWaitFor([qrLabel] { return !qrLabel->pixmap(Qt::ReturnByValue).isNull(); }, 5000))
        qWarning("no QR code arrived");
    return dialog;
}

void TestLoginDialog::showPhonePanel(GongZhongLoginDialog *dialog)
{
    QTest::mouseClick(child<QPushButton>(dialog, "phoneTab"), Qt::LeftButton);
}

void TestLoginDialog::fillPhone(GongZhongLoginDialog *dialog, const QString &number, const QString &code)
{
    showPhonePanel(dialog);
    QTest::keyClicks(child<QLineEdit>(dialog, "phoneNumEdit"), number);
    QTest::keyClicks(child<QLineEdit>(dialog, "verifyCodeEdit"), code);
}

void TestLoginDialog::press(GongZhongLoginDialog *dialog, const char *button, int key)
{
    if (!key) {
        QTest::mouseClick(child<QPushButton>(dialog, button), Qt::LeftButton);
        return;
    }
    auto *field = child<QLineEdit>(dialog, "verifyCodeEdit");
    if (field->text().isEmpty())
        field = child<QLineEdit>(dialog, "phoneNumEdit");
    QTest::mouseClick(field, Qt::LeftButton); // the focus leaves the tab for the field
    QTest::keyClick(field, Qt::Key(key));
}

void TestLoginDialog::preLoginTokenPerDialog()
{
    QPointer<GongZhongLoginDialog> first = openDialog();
    QPointer<GongZhongLoginDialog> second = openDialog();
    QTRY_COMPARE(sim->requests(fetchPath).size(), 2);

    const QRegularExpression shape(
        QStringLiteral("^10015_[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    const QJsonArray fetches = sim->requests(fetchPath);
    QStringList tokens;
    for (const QJsonValue &fetch : fetches) {
        const QJsonObject body = Simulator::jsonBody(fetch.toObject());
        const QString token = body.value(QLatin1String("preLoginToken")).toString();
        QVERIFY2(shape.match(token).hasMatch(), qPrintable(token));
        tokens.append(token);
    }
    QVERIFY(tokens.at(0) != tokens.at(1));
    QCOMPARE(QSet<QString>(tokens.cbegin(), tokens.cend()), QSet<QString>({first->loginToken(), second->loginToken()}));

    // The polls carry the dialog's own token, and no stored token since none was stored.
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), first->loginToken()) >= 1);
    for (const QJsonValue &poll : sim->requests(pollPath)) {
        const QJsonObject body = Simulator::jsonBody(poll.toObject());
        QVERIFY(tokens.contains(body.value(QLatin1String("preLoginToken")).toString()));
        QVERIFY(!body.contains(QLatin1String("tokenId")));
    }
    delete first;
    delete second;
}

void TestLoginDialog::renderedPicture_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("one letter") << QStringLiteral("a");
    QTest::newRow("sign-in address") << QStringLiteral(
        "https://qr.tessaly.invalid/login?t=10015_123e4567-e89b-12d3-a456-426614174000");
    QTest::newRow("chinese text") << QStringLiteral("请扫码登录Tessaly软件管家");
    QTest::newRow("long text") << QStringLiteral("0123456789abcdef").repeated(12);
}

void TestLoginDialog::renderedPicture()
{
    QFETCH(QString, text);
    const QImage image = renderQrCode(text);
    QVERIFY(pictureEncodes(image, text));
    // White around the symbol's quiet-zone-free edge: the top-right finder's neighbour cell is light.
    QCOMPARE(image.pixel(image.width() - 1, 7 * qrModulePixels + 1), qRgb(255, 255, 255));
}

void TestLoginDialog::failedFetchKeepsPicture_data()
{
    QTest::addColumn<QJsonObject>("fault");
    QTest::newRow("server error") << QJsonObject{{"kind", "status"}, {"status", 500}};
    QTest::newRow("connection reset") << QJsonObject{{"kind", "reset"}};
    QTest::newRow("not json") << QJsonObject{{"kind", "nonJson"}};
    QTest::newRow("wrong types") << QJsonObject{{"kind", "wrongType"}};
    QTest::newRow("truncated") << QJsonObject{{"kind", "truncated"}};
}

void TestLoginDialog::failedFetchKeepsPicture()
{
    QFETCH(QJsonObject, fault);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    const QImage before = qrLabel->pixmap(Qt::ReturnByValue).toImage();
    const QImage renderedBefore = dialog->qrPicture();
    QVERIFY(pictureEncodes(renderedBefore, QString(qrText).replace(QLatin1String("{preLoginToken}"), dialog->loginToken())));
    QVERIFY(sameImage(before, renderedBefore)); // a picture that fits its area is shown as rendered

    QVERIFY(sim->setScenario(scenario(0, QJsonObject{{fetchPath, fault}})));
    QTest::mouseClick(child<QPushButton>(dialog, "refreshButton"), Qt::LeftButton);
    // (the network layer sends a request once more when the connection drops without an answer)
    const int fetches = sim->requests(fetchPath).size();
    QVERIFY(fetches >= 2);
    QVERIFY(dialog);
    QCOMPARE(qrLabel->pixmap(Qt::ReturnByValue).toImage(), before);
    QCOMPARE(dialog->qrPicture(), renderedBefore);
    QVERIFY(qrLabel->isVisible());
    QVERIFY(!child<QLabel>(dialog, "refreshingLabel")->isVisible());

    // The next good fetch brings another text, and the picture shows it.
    const QString nextText = qrText + QStringLiteral("&r=2");
    QVERIFY(sim->setScenario(scenario(0, {}, nextText)));
    QTest::mouseClick(child<QPushButton>(dialog, "refreshButton"), Qt::LeftButton);
    QCOMPARE(sim->requests(fetchPath).size(), fetches + 1);
    QString expected = nextText;
    expected.replace(QLatin1String("{preLoginToken}"), dialog->loginToken());
    const QImage after = qrLabel->pixmap(Qt::ReturnByValue).toImage();
    QVERIFY(after != before);
    QVERIFY(pictureEncodes(after, expected));
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
}

void TestLoginDialog::pictureFitsItsArea()
{
    QFETCH(bool, small);
    QFETCH(QString, text);
    MyContext::isSmall = small;
    QVERIFY(sim->setScenario(scenario(0, {}, text)));
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->size(), small ? QSize(330, 380) : QSize(400, 480));

    // The picture area has the preset height, and the preset width as far as the dialog allows.
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    QCOMPARE(qrLabel->height(), 260);
    QCOMPARE(qrLabel->width(), small ? 328 : 380);
    QCOMPARE(child<QLabel>(dialog, "refreshingLabel")->size(), qrLabel->size());
    // Everything of the QR panel and the tabs lies inside the dialog, nothing over the picture.
    const QRect labelArea(qrLabel->mapTo(dialog, QPoint(0, 0)), qrLabel->size());
    const QRect inner = dialog->rect().adjusted(1, 1, -1, -1);
    for (const char *name : {"qrCodeLabel", "qrHintLabel", "refreshButton", "wechatTab", "phoneTab"}) {
        auto *widget = child<QWidget>(dialog, name);
        const QRect area(widget->mapTo(dialog, QPoint(0, 0)), widget->size());
        QVERIFY2(inner.contains(area), name);
        if (widget != qrLabel)
            QVERIFY2(!area.intersects(labelArea), name);
    }

    // The rendered picture keeps its 6-pixel modules; the label shows it no larger than its area.
    const QImage rendered = dialog->qrPicture();
    QVERIFY(pictureEncodes(rendered, text));
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

void TestLoginDialog::refreshingLabelWhileFetching()
{
    QVERIFY(sim->setScenario(scenario(0, QJsonObject{{fetchPath, delayFault(400)}})));
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");
    auto *refreshing = child<QLabel>(dialog, "refreshingLabel");
    dialog->show();

    int waitingSamples = 0;
    int refreshingShown = 0;
    Probe probe([&] {
        if (!dialog || dialog->exchangesWaiting() == 0)
            return;
        ++waitingSamples;
        if (refreshing->isVisible() && !qrLabel->isVisible() && refreshing->movie()->state() == QMovie::Running)
            ++refreshingShown;
    });
    QTRY_VERIFY(!qrLabel->pixmap(Qt::ReturnByValue).isNull());
    probe.stop();
    QVERIFY(waitingSamples > 5);
    QCOMPARE(refreshingShown, waitingSamples);
    QVERIFY(qrLabel->isVisible());
    QVERIFY(!refreshing->isVisible());
    QCOMPARE(refreshing->movie()->state(), QMovie::NotRunning);
    delete dialog;
}

void TestLoginDialog::dragMovesDialog_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("drags");
    MyContext::isSmall = true; // 330 wide
    QTest::newRow("inside the band") << QPoint(10, 10) << true;
    QTest::newRow("x = 0") << QPoint(0, 10) << false;
    QTest::newRow("y = 0") << QPoint(10, 0) << false;
    QTest::newRow("y = 44") << QPoint(10, 44) << true;
    QTest::newRow("y = 45") << QPoint(10, 45) << false;
    QTest::newRow("x = width - 51") << QPoint(330 - 51, 10) << true;
    QTest::newRow("close button") << QPoint(330 - 50, 10) << false;
}

void TestLoginDialog::dragMovesDialog()
{
    QFETCH(QPoint, press);
    QFETCH(bool, drags);
    MyContext::isSmall = true;
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    QCOMPARE(dialog->size(), QSize(330, 380));
    dialog->move(200, 150);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    const QPoint start = dialog->pos();

    const QPoint global = dialog->mapToGlobal(press);
    QMouseEvent down(QEvent::MouseButtonPress, press, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(dialog, &down);
    QMouseEvent moved(QEvent::MouseMove, press + QPoint(30, 20), global + QPoint(30, 20), Qt::NoButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(dialog, &moved);
    QCOMPARE(dialog->pos(), drags ? start + QPoint(30, 20) : start);

    QMouseEvent up(QEvent::MouseButtonRelease, press + QPoint(30, 20), global + QPoint(30, 20), Qt::LeftButton,
                   Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(dialog, &up);
    const QPoint afterRelease = dialog->pos();
    QMouseEvent hover(QEvent::MouseMove, press + QPoint(60, 60), global + QPoint(60, 60), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(dialog, &hover);
    QCOMPARE(dialog->pos(), afterRelease);
    delete dialog;
}

void TestLoginDialog::pollSuccessOnPhonePanel()
{
    QVERIFY(sim->setScenario(scenario(3)));
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    dialog->show();
    showPhonePanel(dialog);
    QVERIFY(child<QWidget>(dialog, "phoneCenterWidget")->isVisible());

    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(success.count(), 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::user->nickName(), QStringLiteral("小泰"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("userSystemId")).toString(), QStringLiteral("1000"));
    QCOMPARE(sim->requests(pollPath).size(), 3);
}

void TestLoginDialog::closingStopsPolling_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("deleteOnClose");
    for (const char *how : {"close button", "escape", "window close"}) {
        QTest::addRow("%s", how) << QString::fromLatin1(how) << true;
        // Kept alive after closing, the dialog shows that closing itself stopped the timers.
        QTest::addRow("%s, dialog kept", how) << QString::fromLatin1(how) << false;
    }
}

void TestLoginDialog::closingStopsPolling()
{
    QFETCH(QString, how);
    QFETCH(bool, deleteOnClose);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    dialog->setAttribute(Qt::WA_DeleteOnClose, deleteOnClose);
    const QString token = dialog->loginToken();
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), token) >= 2);

    if (how == QLatin1String("close button"))
        QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog.data(), Qt::Key_Escape);
    else
        QVERIFY(dialog->close());
    if (deleteOnClose)
        QTRY_VERIFY(dialog.isNull());
    else
        QVERIFY(!dialog->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    const int polls = countWithToken(sim->requests(pollPath), token);

    // A second dialog polls several times meanwhile; the closed one sent nothing more.
    QPointer<GongZhongLoginDialog> second = openDialog();
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), second->loginToken()) >= 4);
    QCOMPARE(countWithToken(sim->requests(pollPath), token), polls);
    delete second;
    delete dialog;
}

// Dialog A is closed while its poll waits; the user opens dialog B; then A's poll answers with a
// sign-in. The user is signed in, and B, now pointless, closes and stops polling.
void TestLoginDialog::lateSignInClosesOpenDialog()
{
    // Every poll takes 250 ms; an attempt signs in at its second poll, so B's own polls never do.
    const int delay = 250;
    QVERIFY(sim->setScenario(scenario(2, QJsonObject{{pollPath, delayFault(delay)}})));
    LoginDialogTiming manual = fastTiming();
    manual.pollIntervalMs = 3600 * 1000; // A polls when the test says so
    GongZhongLoginDialog::setTiming(manual);
    QSignalSpy lateSignIn(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose);

    QPointer<GongZhongLoginDialog> first = openDialog();
    const QString firstToken = first->loginToken();
    first->gongZhongQrCodeLogin(); // the first poll: not yet
    QVERIFY(!MyContext::user);
    QCOMPARE(countWithToken(sim->requests(pollPath), firstToken), 1);

    GongZhongLoginDialog::setTiming(fastTiming());
    QPointer<GongZhongLoginDialog> second;
    QString secondToken;
    std::unique_ptr<QSignalSpy> secondFinished;
    std::unique_ptr<QSignalSpy> secondSuccess;
    bool opened = false;
    // While A's second poll waits: close A, open B. (All of it, up to A's answer, runs inside A's poll.)
    Probe user([&] {
        if (opened || !first || first->exchangesWaiting() == 0)
            return;
        opened = true;
        QTest::mouseClick(child<QPushButton>(first, "closeButton"), Qt::LeftButton);
        second = new GongZhongLoginDialog(nullptr);
        secondToken = second->loginToken();
        secondFinished = std::make_unique<QSignalSpy>(second.data(), &QDialog::finished);
        secondSuccess = std::make_unique<QSignalSpy>(second.data(), &GongZhongLoginDialog::loginSuccess);
        second->show();
    });
    QTimer::singleShot(0, first, &GongZhongLoginDialog::gongZhongQrCodeLogin);
    QTRY_VERIFY(opened);
    user.stop();

    QTRY_COMPARE(lateSignIn.count(), 1);
    QVERIFY(MyContext::user);
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    QTRY_VERIFY(second.isNull());
    QCOMPARE(secondFinished->count(), 1);
    QCOMPARE(secondFinished->at(0).at(0).toInt(), int(QDialog::Rejected));
    QCOMPARE(secondSuccess->count(), 0);
    QTRY_VERIFY(first.isNull());
    QCOMPARE(lateSignIn.count(), 1);

    // Neither A nor B polls any more while a third dialog polls several times.
    const int firstPolls = countWithToken(sim->requests(pollPath), firstToken);
    const int secondPolls = countWithToken(sim->requests(pollPath), secondToken);
    QCOMPARE(firstPolls, 2);
    QVERIFY(secondPolls <= 1);
    QVERIFY(sim->setScenario(scenario()));
    QPointer<GongZhongLoginDialog> third = openDialog();
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), third->loginToken()) >= 3);
    QCOMPARE(countWithToken(sim->requests(pollPath), firstToken), firstPolls);
    QCOMPARE(countWithToken(sim->requests(pollPath), secondToken), secondPolls);
    delete third;
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
    QVERIFY(sim->setScenario(scenario(0, QJsonObject{{slowPath, delayFault(delay)}})));
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    dialog->show();
    const QString token = dialog->loginToken();

    if (slowPath == sendCodePath || slowPath == loginPath) {
        QTRY_VERIFY(!child<QLabel>(dialog, "qrCodeLabel")->pixmap(Qt::ReturnByValue).isNull());
        fillPhone(dialog, knownPhone, QStringLiteral("000000"));
        press(dialog, slowPath == sendCodePath ? "sendCodeButton" : "phoneLoginButton");
        QCOMPARE(sim->requests(slowPath).size(), 1);
    }
    // Enough polls that, overlapping, several would have started inside one slow answer.
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), token) >= 3);
    delete dialog;

    const QJsonArray polls = sim->requests(pollPath);
    const QJsonArray slow = sim->requests(slowPath);
    QVERIFY(!slow.isEmpty());
    for (const QJsonValue &slowOne : slow) {
        const double from = slowOne.toObject().value(QLatin1String("time")).toDouble();
        for (const QJsonValue &poll : polls) {
            if (poll == slowOne)
                continue;
            const double at = poll.toObject().value(QLatin1String("time")).toDouble();
            QVERIFY2(
                at < from || at >= from + delay - 1,
                qPrintable(QStringLiteral("a poll started %1 ms into a %2 ms exchange").arg(at - from).arg(delay)));
        }
    }
}

void TestLoginDialog::phoneChecks_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("key"); // Return/Enter in a field presses "登 录", never the close button
    QTest::addColumn<QString>("message");
    const QString noNumber = QStringLiteral("请输入手机号！");
    const QString badNumber = QStringLiteral("您输入的手机号格式有误！");
    const QString badCode = QStringLiteral("您输入的验证码有误！");
    const QString shortNumber = QStringLiteral("1380000000");
    QTest::newRow("code request, no number") << QString() << QString() << "send" << 0 << noNumber;
    QTest::newRow("code request, 10 digits") << shortNumber << QString() << "send" << 0 << badNumber;
    QTest::newRow("code request, 12 digits") << QStringLiteral("138000000001") << QString() << "send" << 0 << badNumber;
    QTest::newRow("login, no number") << QString() << knownCode << "login" << 0 << noNumber;
    QTest::newRow("login, 10 digits") << shortNumber << knownCode << "login" << 0 << badNumber;
    QTest::newRow("login, 10 digits, Return") << shortNumber << QString() << "login" << int(Qt::Key_Return) << badNumber;
    QTest::newRow("login, no code") << knownPhone << QString() << "login" << 0 << QStringLiteral("请输入验证码！");
    QTest::newRow("login, 5-digit code") << knownPhone << QStringLiteral("12345") << "login" << 0 << badCode;
    QTest::newRow("login, 5-digit code, Enter") << knownPhone << QStringLiteral("12345") << "login"
                                                << int(Qt::Key_Enter) << badCode;
    QTest::newRow("login, 7-digit code") << knownPhone << QStringLiteral("1234567") << "login" << 0 << badCode;
}

void TestLoginDialog::phoneChecks()
{
    QFETCH(QString, number);
    QFETCH(QString, code);
    QFETCH(QString, action);
    QFETCH(int, key);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    fillPhone(dialog, number, code);
    press(dialog, action == QLatin1String("send") ? "sendCodeButton" : "phoneLoginButton", key);

    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(finished.count(), 0);
    QTEST(child<QLabel>(dialog, "messageLabel")->text(), "message");
    QCOMPARE(sim->requests(sendCodePath).size(), 0);
    QCOMPARE(sim->requests(loginPath).size(), 0);
    auto *sendCode = child<QPushButton>(dialog, "sendCodeButton");
    QVERIFY(sendCode->isEnabled());
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    delete dialog;
}

void TestLoginDialog::lettersRefused()
{
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    fillPhone(dialog, QStringLiteral("1a3b8 -+0x"), QString());
    QCOMPARE(child<QLineEdit>(dialog, "phoneNumEdit")->text(), QStringLiteral("1380"));
    delete dialog;
}

void TestLoginDialog::platformAnswersShown_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<QString>("message");
    const QString network = QStringLiteral("网络异常，请检查网络连接！");
    const QJsonObject reset{{"kind", "reset"}};
    const QJsonObject status{{"kind", "status"}, {"status", 502}};
    QTest::newRow("code request, unknown number")
        << "send" << unknownPhone << QString() << QJsonObject() << QStringLiteral("手机号未注册");
    QTest::newRow("code request, refused")
        << "send" << busyPhone << QString() << QJsonObject() << QStringLiteral("发送过于频繁，请稍后再试");
    QTest::newRow("code request, no network")
        << "send" << knownPhone << QString() << QJsonObject{{sendCodePath, reset}} << network;
    QTest::newRow("code request, server error")
        << "send" << knownPhone << QString() << QJsonObject{{sendCodePath, status}} << network;
    QTest::newRow("login, wrong code") << "login" << knownPhone << QStringLiteral("000000") << QJsonObject()
                                       << QStringLiteral("验证码错误");
    QTest::newRow("login, no network") << "login" << knownPhone << knownCode << QJsonObject{{loginPath, reset}}
                                       << network;
    QTest::newRow("login, server error") << "login" << knownPhone << knownCode << QJsonObject{{loginPath, status}}
                                         << network;
}

void TestLoginDialog::platformAnswersShown()
{
    QFETCH(QString, action);
    QFETCH(QString, number);
    QFETCH(QString, code);
    QFETCH(QJsonObject, faults);
    QVERIFY(sim->setScenario(scenario(0, faults)));
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    fillPhone(dialog, number, code);
    auto *sendCode = child<QPushButton>(dialog, "sendCodeButton");
    const bool send = action == QLatin1String("send");
    press(dialog, send ? "sendCodeButton" : "phoneLoginButton");

    QVERIFY(dialog && dialog->isVisible());
    QVERIFY(!sim->requests(send ? sendCodePath : loginPath).isEmpty());
    QTEST(child<QLabel>(dialog, "messageLabel")->text(), "message");
    // A refused code request gives the button back at once.
    QVERIFY(sendCode->isEnabled());
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    QCOMPARE(success.count(), 0);
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains(QStringLiteral("tokenId")));
    delete dialog;
}

// The countdown runs on its own (short) timer: "3S", "2S", "1S", then the button is back.
void TestLoginDialog::countdownRunsOnItsTimer()
{
    LoginDialogTiming timing = fastTiming();
    timing.countdownStart = 3;
    timing.countdownIntervalMs = 60;
    GongZhongLoginDialog::setTiming(timing);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    fillPhone(dialog, knownPhone, QString());
    auto *sendCode = child<QPushButton>(dialog, "sendCodeButton");
    QStringList shown;
    Probe probe([&] {
        if (dialog && (shown.isEmpty() || shown.last() != sendCode->text()))
            shown.append(sendCode->text());
    });
    QTest::mouseClick(sendCode, Qt::LeftButton);
    QCOMPARE(sim->requests(sendCodePath).size(), 1);
    const QJsonObject body = Simulator::jsonBody(sim->requests(sendCodePath).at(0).toObject());
    QCOMPARE(body.value(QLatin1String("dyData")).toObject().value(QLatin1String("phoneNum")).toString(), knownPhone);
    QCOMPARE(sendCode->text(), QStringLiteral("3S"));
    QVERIFY(!sendCode->isEnabled());
    QTRY_VERIFY(sendCode->isEnabled());
    probe.stop();
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    // The counts the probe saw went down one way, and it saw more than the first one.
    QList<int> counts;
    for (const QString &text : qAsConst(shown)) {
        if (text.endsWith(QLatin1Char('S')))
            counts.append(text.chopped(1).toInt());
    }
    QVERIFY2(counts.size() >= 2 && counts.first() == 3, qPrintable(shown.join(',')));
    for (int i = 1; i < counts.size(); ++i)
        QVERIFY2(counts.at(i) < counts.at(i - 1), qPrintable(shown.join(',')));
    delete dialog;
}

void TestLoginDialog::phoneLoginSuccess_data()
{
    QTest::addColumn<int>("key"); // 0: the "登 录" button is clicked
    QTest::newRow("click") << 0;
    QTest::newRow("Return in the code field") << int(Qt::Key_Return);
}

void TestLoginDialog::phoneLoginSuccess()
{
    QFETCH(int, key);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    fillPhone(dialog, knownPhone, knownCode);
    press(dialog, "phoneLoginButton", key);

    QCOMPARE(success.count(), 1);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Accepted));
    QTRY_VERIFY(dialog.isNull());
    const QJsonObject body = Simulator::jsonBody(sim->requests(loginPath).at(0).toObject());
    QCOMPARE(body.value(QLatin1String("userSystemId")).toString(), QStringLiteral("1000"));
    QCOMPARE(body.value(QLatin1String("dyData")).toObject().value(QLatin1String("verifyCode")).toString(), knownCode);
    QCOMPARE(MyContext::user->userId(), QStringLiteral("u1"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("userSystemId")).toString(), QStringLiteral("1000"));
}

void TestLoginDialog::keysAfterOpeningKeepDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

// Right after opening, on the QR panel, a key pressed into the dialog closes nothing.
void TestLoginDialog::keysAfterOpeningKeepDialog()
{
    QFETCH(int, key);
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    dialog->show();
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog.data();
    QTest::keyClick(target, Qt::Key(key));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(finished.count(), 0);
    QVERIFY(child<QWidget>(dialog, "qrCenterWidget")->isVisible());
    QCOMPARE(sim->requests(loginPath).size(), 0);
    QCOMPARE(sim->requests(sendCodePath).size(), 0);
    auto *closeButton = child<QPushButton>(dialog, "closeButton");
    QVERIFY(!closeButton->autoDefault());
    QVERIFY(!closeButton->isDefault());
    QVERIFY(!closeButton->hasFocus());
    delete dialog;
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

// The dialog is closed, and deleted, while its exchange waits; the exchange then returns into a
// slot of a dialog that no longer exists.
void TestLoginDialog::closeWhileExchangeWaits()
{
    QFETCH(QString, slowPath);
    QFETCH(bool, succeeds);
    const int delay = 250;
    QVERIFY(sim->setScenario(
        scenario(slowPath == pollPath && succeeds ? 1 : 0, QJsonObject{{slowPath, delayFault(delay)}})));
    LoginDialogTiming timing = fastTiming();
    if (slowPath != pollPath)
        timing.pollIntervalMs = 3600 * 1000; // only the exchange under test waits
    timing.countdownIntervalMs = 20;
    GongZhongLoginDialog::setTiming(timing);

    QSignalSpy lateSignIn(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose);
    QPointer<GongZhongLoginDialog> dialog = new GongZhongLoginDialog(nullptr);
    const QString token = dialog->loginToken();
    QSignalSpy success(dialog.data(), &GongZhongLoginDialog::loginSuccess);
    auto *qrLabel = child<QLabel>(dialog, "qrCodeLabel");

    // Closes the dialog as soon as the exchange under test waits: the first fetch, or whatever waits
    // once the first picture is there (the first poll, the code request, the login).
    bool closed = false;
    Probe closer([&] {
        if (!dialog || closed || dialog->exchangesWaiting() == 0)
            return;
        if (slowPath != fetchPath && qrLabel->pixmap(Qt::ReturnByValue).isNull())
            return;
        closed = true;
        QTest::mouseClick(child<QPushButton>(dialog, "closeButton"), Qt::LeftButton);
    });
    dialog->show();
    if (slowPath == sendCodePath || slowPath == loginPath) {
        QTRY_VERIFY(!qrLabel->pixmap(Qt::ReturnByValue).isNull());
        fillPhone(dialog, knownPhone, succeeds ? knownCode : QStringLiteral("000000"));
        press(dialog, slowPath == sendCodePath ? "sendCodeButton" : "phoneLoginButton");
    }
    QTRY_VERIFY(dialog.isNull());
    closer.stop();
    QVERIFY(closed);
    QCOMPARE(sim->requests(slowPath).size(), 1);
    QCOMPARE(success.count(), 0);

    if (succeeds) {
        QTRY_COMPARE(lateSignIn.count(), 1);
        QVERIFY(MyContext::user);
        QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    } else {
        QCOMPARE(lateSignIn.count(), 0);
        QVERIFY(!MyContext::user);
    }

    // No poll of the closed dialog follows while another dialog polls several times.
    const int polls = countWithToken(sim->requests(pollPath), token);
    GongZhongLoginDialog::setTiming(fastTiming());
    QVERIFY(sim->setScenario(scenario()));
    QPointer<GongZhongLoginDialog> second = openDialog();
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), second->loginToken()) >= 3);
    QCOMPARE(countWithToken(sim->requests(pollPath), token), polls);
    delete second;
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
