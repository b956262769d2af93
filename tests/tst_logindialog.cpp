#include "core/account/qrrender.h"
#include "core/account/signinflow.h"
#include "core/account/signinnotifier.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/probe.h"
#include "support/signinscenario.h"
#include "widgets/account/gongzhonglogindialog.h"

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

using namespace SignInScenario;

// Quick polls; the countdown stands still unless a test says otherwise.
SignInTiming timing()
{
    SignInTiming timing;
    timing.pollIntervalMs = 50;
    timing.countdownIntervalMs = 3600 * 1000;
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

QString tokenOf(GongZhongLoginDialog *dialog)
{
    return dialog->flow()->loginToken();
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
    return text.replace(QLatin1String("{preLoginToken}"), tokenOf(dialog));
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

    void failedFetchKeepsPicture_data();
    void failedFetchKeepsPicture();
    void pictureFitsItsArea_data();
    void pictureFitsItsArea();
    void dragMovesDialog();

    void signInClosesDialog_data();
    void signInClosesDialog();
    void closingStopsPolling_data();
    void closingStopsPolling();

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
    SignInFlow::setTiming(timing());
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
    SignInFlow::setTiming(SignInTiming());
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
    QPointer<GongZhongLoginDialog> other = openDialog();
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), tokenOf(other)) >= 3);
    QCOMPARE(countWithToken(sim->requests(pollPath), token), before);
    delete other;
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
    const QImage renderedBefore = dialog->flow()->qrPicture();
    QVERIFY(pictureEncodes(renderedBefore, textFor(dialog)));

    QVERIFY(sim->setScenario(scenario(0, QJsonObject{{fetchPath, fault}})));
    QTest::mouseClick(child(dialog, "refreshButton"), Qt::LeftButton);
    QVERIFY(sim->requests(fetchPath).size() >= 2);
    QCOMPARE(qrLabel->pixmap(Qt::ReturnByValue).toImage(), before);
    QCOMPARE(dialog->flow()->qrPicture(), renderedBefore);
    QVERIFY(qrLabel->isVisible());
    QVERIFY(!child<QLabel>(dialog, "refreshingLabel")->isVisible());

    // The next good fetch, slow, brings another text: the refreshing animation shows while it waits,
    // then the new picture.
    const QString nextText = qrText + QStringLiteral("&r=2");
    QVERIFY(sim->setScenario(scenario(0, delayed(fetchPath, 300), nextText)));
    auto *refreshing = child<QLabel>(dialog, "refreshingLabel");
    // The click returns once the fetch has ended; events, the probe's too, run only while it waits.
    int waitingSamples = 0;
    int refreshingShown = 0;
    Probe probe([&] {
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
    QVERIFY(sameImage(dialog->flow()->qrPicture(), after));
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
    const QImage rendered = dialog->flow()->qrPicture();
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

// Presses in the top band, left of the close button, drag the dialog (tst_shell has the drag itself).
void TestLoginDialog::dragMovesDialog()
{
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    const auto drag = [&](const QPoint &from) {
        const QPoint start = dialog->pos();
        const QPoint global = dialog->mapToGlobal(from);
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseMove, QEvent::MouseButtonRelease}) {
            const QPoint by = type == QEvent::MouseButtonPress ? QPoint() : QPoint(30, 20);
            QMouseEvent event(type, from + by, global + by, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(dialog, &event);
        }
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
}

void TestLoginDialog::closingStopsPolling_data()
{
    QTest::addColumn<QString>("how");
    for (const char *how : {"close button", "escape", "window close", "signed in elsewhere"})
        QTest::newRow(how) << QString::fromLatin1(how);
}

// No key but Escape closes the dialog; so does a sign-in answered to a dialog closed earlier. The dialog
// is kept alive after closing, so closing itself, not the deletion, must stop the timers.
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
    QTRY_VERIFY(countWithToken(sim->requests(pollPath), tokenOf(dialog)) >= 2);

    if (how == QLatin1String("close button"))
        QTest::mouseClick(child(dialog, "closeButton"), Qt::LeftButton);
    else if (how == QLatin1String("escape"))
        keyClick(Qt::Key_Escape);
    else if (how == QLatin1String("window close"))
        QVERIFY(dialog->close());
    else
        SignInNotifier::announceSignInAfterClose();
    QVERIFY(!dialog->isVisible());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
    expectNoMorePolls(tokenOf(dialog));
    delete dialog;
}

void TestLoginDialog::phoneMessages_data()
{
    QTest::addColumn<QString>("number"); // as typed; the field takes digits only
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("path"); // the button pressed
    QTest::addColumn<int>("key"); // Return/Enter in a field presses "登 录", never the close button
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("sent");
    QTest::newRow("code, letters dropped") << QStringLiteral("1a3b8 -+0x") << QString() << sendCodePath << 0
                                           << QStringLiteral("您输入的手机号格式有误！") << false;
    QTest::newRow("login, 5-digit code, Enter")
        << knownPhone << QStringLiteral("12345") << loginPath << int(Qt::Key_Enter)
        << QStringLiteral("您输入的验证码有误！") << false;
    QTest::newRow("code, refused") << busyPhone << QString() << sendCodePath << 0
                                   << QStringLiteral("发送过于频繁，请稍后再试") << true;
    QTest::newRow("login, wrong code") << knownPhone << QStringLiteral("000000") << loginPath << 0
                                       << QStringLiteral("验证码错误") << true;
}

// A check's message and the platform's refusals reach the message label (the checks themselves are
// tested in tst_signinflow); the dialog stays open, nobody is signed in, and the code button is back.
void TestLoginDialog::phoneMessages()
{
    QFETCH(QString, number);
    QFETCH(QString, code);
    QFETCH(QString, path);
    QFETCH(int, key);
    QFETCH(bool, sent);
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

// The countdown runs on its own (short) timer down to 0, then the button is back.
void TestLoginDialog::countdownRunsOnItsTimer()
{
    SignInTiming fast = timing();
    fast.countdownStart = 3;
    fast.countdownIntervalMs = 20;
    SignInFlow::setTiming(fast);
    QPointer<GongZhongLoginDialog> dialog = openDialog();
    fillPhone(dialog, knownPhone, QString());
    auto *sendCode = child(dialog, "sendCodeButton");
    QStringList shown; // the button after each step, read after the dialog has shown the step
    connect(dialog->flow(), &SignInFlow::countdownChanged, sendCode,
            [&] { shown << sendCode->text() + (sendCode->isEnabled() ? QStringLiteral(", enabled") : QString()); });
    QTest::mouseClick(sendCode, Qt::LeftButton);
    QVERIFY(!sim->requests(sendCodePath).isEmpty());
    QTRY_VERIFY(sendCode->isEnabled());
    QCOMPARE(shown, QStringList({"3S", "2S", "1S", "0S"}));
    QCOMPARE(sendCode->text(), QStringLiteral("发送验证码"));
    delete dialog;
}

QTEST_MAIN(TestLoginDialog)
#include "tst_logindialog.moc"
