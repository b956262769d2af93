// Sign-in against the platform simulator on loopback. The flow without widgets: the phone checks, polls that
// never overlap another exchange, an owner that stops or deletes the flow while an exchange waits, the QR
// picture, the phone exchanges with their messages, countdown and log. Then what only the widgets do: the
// picture's display, keys and closing of the dialog, and the title bar's sign-in button and popup.
#include "core/account/phoneinput.h"
#include "core/account/qrrender.h"
#include "core/account/signinflow.h"
#include "core/account/signinnotifier.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/contextfixture.h"
#include "support/logcapture.h"
#include "support/probe.h"
#include "support/simulator.h"
#include "widgets/account/gongzhonglogindialog.h"
#include "widgets/account/myloginbtn.h"
#include "widgets/account/perinfofloatdialog.h"
#include "widgets/shell/titlebar.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

namespace {

const QString fetchPath = QStringLiteral("/user/user/getgongzhongqrcode.html");
const QString pollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
const QString loginPath = QStringLiteral("/user/user/phonelogin.html");
const QString knownPhone = QStringLiteral("13800000000");
const QString knownCode = QStringLiteral("123456");
// A red pixel as PNG: the user's head image, which must never reach the log.
const QString headImage =
    QStringLiteral("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAIAAACQd1PeAAAADElEQVR4nGP4z8AAAAMBAQDJ/pLvAAAAAElFTkSuQmCC");

// Simulator::user() (u1 "小泰", token "tok-1"), signed in by knownPhone with knownCode, or by an attempt's
// pollsUntilLogin-th QR poll (never for 0); faults by path.
QJsonObject scenario(int pollsUntilLogin = 0, const QJsonObject &faults = {})
{
    return QJsonObject{
        {"users", QJsonArray{Simulator::user({{"headImgBase64", headImage}})}},
        {"phones", QJsonArray{QJsonObject{{"phoneNum", knownPhone}, {"verifyCode", knownCode}, {"userId", "u1"}}}},
        {"qr", QJsonObject{{"pollsUntilLogin", pollsUntilLogin}, {"userId", "u1"}}},
        {"faults", faults}};
}

// A fault of this kind for path, and for a delay its milliseconds.
QJsonObject fault(const QString &path, const QString &kind, int ms = 0)
{
    return QJsonObject{{path, QJsonObject{{"kind", kind}, {"ms", ms}}}};
}

// How many of the recorded requests belong to the QR sign-in attempt with this token.
int countWithToken(const QJsonArray &requests, const QString &token)
{
    return int(std::count_if(requests.begin(), requests.end(), [&token](const QJsonValue &request) {
        return Simulator::jsonBody(request.toObject()).value("preLoginToken").toString() == token;
    }));
}

} // namespace

class TestSignInFlow : public QObject
{
    Q_OBJECT

    Simulator sim{scenario()};

private slots:
    void initTestCase()
    {
        QVERIFY(sim.isRunning());
        sim.useForPlatform();
    }
    void init()
    {
        SignInFlow::setTiming({50, 20, 10}); // polls every 50 ms, a countdown from 10 in steps of 20 ms
        QVERIFY(sim.setScenario(scenario()));
        sim.clearRequests();
        MyContext::loginOut();
    }

    void phoneInput_data()
    {
        QTest::addColumn<bool>("login"); // else: ask for a code
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("message");
        const QString badNumber = QStringLiteral("您输入的手机号格式有误！");
        const QString badCode = QStringLiteral("您输入的验证码有误！");
        QTest::newRow("code, no number") << false << QString() << QString() << QStringLiteral("请输入手机号！");
        QTest::newRow("code, 10 digits") << false << "1380000000" << QString() << badNumber;
        QTest::newRow("code, the code field is not looked at") << false << knownPhone << "1" << QString();
        QTest::newRow("login, the number comes first") << true << "1" << QString() << badNumber;
        QTest::newRow("login, no code") << true << knownPhone << QString() << QStringLiteral("请输入验证码！");
        QTest::newRow("login, 7-character code") << true << knownPhone << "1234567" << badCode;
    }
    void phoneInput()
    {
        QFETCH(bool, login);
        QFETCH(QString, number);
        QFETCH(QString, code);
        QTEST(phoneInputMessage(login ? PhoneAction::Login : PhoneAction::SendCode, number, code), "message");
    }

    void slowPlatformNeverOverlaps_data()
    {
        QTest::addColumn<QString>("slowPath");
        for (const QString &path : {pollPath, fetchPath, sendCodePath, loginPath})
            QTest::newRow(qPrintable(path)) << path;
    }
    // Polls fall due every 50 ms while the slow exchange waits 200 ms; none may start before it has ended.
    void slowPlatformNeverOverlaps()
    {
        QFETCH(QString, slowPath);
        const int delay = 200;
        QVERIFY(sim.setScenario(scenario(0, fault(slowPath, "delay", delay))));
        SignInFlow flow(nullptr);
        flow.start();
        if (slowPath == sendCodePath)
            flow.sendVerifyCode(knownPhone);
        else if (slowPath == loginPath)
            flow.phoneLogin(knownPhone, QStringLiteral("000000"));
        QTRY_VERIFY(countWithToken(sim.requests(pollPath), flow.loginToken()) >= 3);
        flow.stop();

        const auto time = [](const QJsonValue &request) { return request.toObject().value("time").toDouble(); };
        const QJsonArray slow = sim.requests(slowPath), polls = sim.requests(pollPath);
        QVERIFY(!slow.isEmpty());
        for (const QJsonValue &slowOne : slow)
            for (const QJsonValue &poll : polls)
                QVERIFY(poll == slowOne || time(poll) < time(slowOne) || time(poll) >= time(slowOne) + delay - 1);
    }

    void ownerGoneWhileExchangeWaits_data()
    {
        QTest::addColumn<QString>("slowPath");
        QTest::addColumn<bool>("succeeds");
        QTest::addColumn<bool>("deleted"); // else only stopped, as by a closed dialog not yet deleted
        QTest::newRow("qr fetch, stopped") << fetchPath << false << false;
        QTest::newRow("poll that signs in, stopped") << pollPath << true << false;
        QTest::newRow("poll that signs in, deleted") << pollPath << true << true;
        QTest::newRow("code request, deleted") << sendCodePath << false << true;
        QTest::newRow("login, stopped") << loginPath << false << false;
        QTest::newRow("login that signs in, deleted") << loginPath << true << true;
    }
    // The exchange returns into a flow that has stopped or no longer exists. Nothing more is shown, but a
    // late sign-in still counts: it is stored and announced (for the title bar and the other open dialogs).
    void ownerGoneWhileExchangeWaits()
    {
        QFETCH(QString, slowPath);
        QFETCH(bool, succeeds);
        QFETCH(bool, deleted);
        QVERIFY(sim.setScenario(scenario(succeeds ? 1 : 0, fault(slowPath, "delay", 250))));
        QSignalSpy lateSignIn(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose);
        QPointer<SignInFlow> flow = new SignInFlow(nullptr);
        QSignalSpy signedIn(flow.data(), &SignInFlow::signedIn);
        QSignalSpy messages(flow.data(), &SignInFlow::messageChanged);

        // The exchange returns only once its answer has come; the probe's first step runs while it waits.
        Probe owner([&] {
            if (deleted)
                delete flow;
            else if (flow)
                flow->stop();
        });
        if (slowPath == fetchPath)
            flow->fetchQrCode();
        else if (slowPath == pollPath)
            flow->pollQrLogin();
        else if (slowPath == sendCodePath)
            flow->sendVerifyCode(knownPhone);
        else
            flow->phoneLogin(knownPhone, succeeds ? knownCode : QStringLiteral("000000"));
        owner.stop();

        QCOMPARE(flow.isNull(), deleted);
        QCOMPARE(sim.requests(slowPath).size(), 1);
        QCOMPARE(signedIn.count(), 0);
        // Only the message cleared before a phone exchange; no answer is shown afterwards.
        QCOMPARE(messages.count(), slowPath == sendCodePath || slowPath == loginPath ? 1 : 0);
        QCOMPARE(lateSignIn.count(), int(succeeds));
        QCOMPARE(MyContext::settings().value("tokenId").toString(), succeeds ? "tok-1" : QString());
        delete flow;
    }

    void phoneExchange_data()
    {
        QTest::addColumn<bool>("login"); // else: ask for a code
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("kind"); // of the exchange's fault
        QTest::addColumn<QString>("message");
        // A refusal without a message (no JSON, or an "errorDesc" that is no string) must not read as success.
        const QString failure = QStringLiteral("网络异常，请检查网络连接！");
        QTest::newRow("code sent") << false << knownPhone << QString() << QString() << QString();
        QTest::newRow("code refused") << false << "13700000000" << QString() << QString() << "手机号未注册";
        QTest::newRow("code, not JSON") << false << knownPhone << QString() << "nonJson" << failure;
        QTest::newRow("code, wrong types") << false << knownPhone << QString() << "wrongType" << failure;
        QTest::newRow("login") << true << knownPhone << knownCode << QString() << QString();
        QTest::newRow("login, wrong code") << true << knownPhone << "000000" << QString() << "验证码错误";
        QTest::newRow("login, not JSON") << true << knownPhone << knownCode << "nonJson" << failure;
        QTest::newRow("login, wrong types") << true << knownPhone << knownCode << "wrongType" << failure;
    }
    void phoneExchange()
    {
        QFETCH(bool, login);
        QFETCH(QString, number);
        QFETCH(QString, code);
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString path = login ? loginPath : sendCodePath;
        QVERIFY(sim.setScenario(scenario(0, kind.isEmpty() ? QJsonObject() : fault(path, kind))));
        SignInFlow flow(nullptr);
        QSignalSpy messages(&flow, &SignInFlow::messageChanged);
        QSignalSpy countdown(&flow, &SignInFlow::countdownChanged);
        QSignalSpy countdownEnded(&flow, &SignInFlow::countdownEnded);
        QSignalSpy signedIn(&flow, &SignInFlow::signedIn);
        LogCapture log;
        if (login)
            flow.phoneLogin(number, code);
        else
            flow.sendVerifyCode(number);
        QCOMPARE(messages.last().at(0).toString(), message);
        // Only a successful login signs in and keeps the sign-in for the next start.
        const bool signs = login && message.isEmpty();
        QCOMPARE(signedIn.count(), int(signs));
        QCOMPARE(MyContext::settings().value("tokenId").toString(), signs ? "tok-1" : QString());
        // The log shows none of the sign-in's secrets, nor the head image.
        const QString logged = log.lines().join(QLatin1Char('\n'));
        for (const QString &secret : {number, code, QStringLiteral("tok-1"), headImage})
            QVERIFY2(secret.isEmpty() || !logged.contains(secret), qPrintable(secret));
        // The code's countdown runs on the flow's timer down to 0, or ends when the code was refused.
        if (!login) {
            QTRY_COMPARE(countdownEnded.count(), 1);
            QVERIFY(!message.isEmpty() || countdown.last().at(0).toInt() == 0);
        }
    }

    // The picture of a long text is larger than its area: it is shown whole, scaled down, not clipped. A failed
    // fetch keeps it.
    void qrPicture()
    {
        QJsonObject longText = scenario();
        longText["qr"] = QJsonObject{{"text", QStringLiteral("https://qr.tessaly.invalid/").leftJustified(160, 'x')}};
        QVERIFY(sim.setScenario(longText));
        GongZhongLoginDialog dialog(nullptr);
        dialog.setAttribute(Qt::WA_DeleteOnClose, false);
        dialog.show();
        auto *label = dialog.findChild<QLabel *>("qrCodeLabel");
        QTRY_VERIFY(!label->pixmap(Qt::ReturnByValue).isNull());
        const QSize room = label->contentsRect().size();
        const QImage picture = dialog.flow()->qrPicture();
        QVERIFY(picture.height() > room.height());
        const QImage shown = label->pixmap(Qt::ReturnByValue).toImage();
        QCOMPARE(shown.size(), QSize(room.height(), room.height()));

        QVERIFY(sim.setScenario(scenario(0, fault(fetchPath, "status"))));
        QTest::mouseClick(dialog.findChild<QPushButton *>("refreshButton"), Qt::LeftButton);
        QCOMPARE(sim.requests(fetchPath).size(), 2);
        QCOMPARE(dialog.flow()->qrPicture(), picture);
        QCOMPARE(label->pixmap(Qt::ReturnByValue).toImage(), shown);
    }

    // A text too long for a QR code carries the sign-in token: the failure line gives only its length.
    void qrTextNotLogged()
    {
        LogCapture log;
        QVERIFY(renderQrCode(QString(8000, 'x') + "token-7").isNull());
        QVERIFY(log.contains(QtWarningMsg, "qr code not encoded") && !log.lines().join('\n').contains("token-7"));
    }

    void keysAndClosing_data()
    {
        QTest::addColumn<QString>("action"); // or the code typed in the phone panel before Enter or Return
        QTest::addColumn<int>("result"); // -1: still open
        QTest::addColumn<QString>("message");
        const int rejected = QDialog::Rejected;
        QTest::newRow("close button") << "close button" << rejected << QString();
        QTest::newRow("escape") << "escape" << rejected << QString();
        QTest::newRow("window close") << "window close" << rejected << QString();
        QTest::newRow("Enter, 5-digit code") << "12345" << -1 << QStringLiteral("您输入的验证码有误！");
        QTest::newRow("Return, right code") << knownCode << int(QDialog::Accepted) << QString();
    }
    // In the phone panel Return and Enter press "登 录", never the close button. Every way of closing stops the polls:
    // the dialog is kept alive after closing, so the closing itself, not the deletion, must stop them.
    void keysAndClosing()
    {
        QFETCH(QString, action);
        GongZhongLoginDialog dialog(nullptr);
        dialog.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy finished(&dialog, &QDialog::finished);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        const auto keyClick = [&](Qt::Key key) {
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &dialog, key);
        };
        const QString token = dialog.flow()->loginToken();
        QTRY_VERIFY(countWithToken(sim.requests(pollPath), token) >= 2);

        if (action == QLatin1String("close button")) {
            QTest::mouseClick(dialog.findChild<QPushButton *>("closeButton"), Qt::LeftButton);
        } else if (action == QLatin1String("escape")) {
            keyClick(Qt::Key_Escape);
        } else if (action == QLatin1String("window close")) {
            QVERIFY(dialog.close());
        } else {
            QTest::mouseClick(dialog.findChild<QPushButton *>("phoneTab"), Qt::LeftButton);
            QTest::keyClicks(dialog.findChild<QLineEdit *>("phoneNumEdit"), knownPhone);
            auto *codeEdit = dialog.findChild<QLineEdit *>("verifyCodeEdit");
            QTest::keyClicks(codeEdit, action);
            QTest::mouseClick(codeEdit, Qt::LeftButton); // the focus leaves the tab for the field
            keyClick(action == knownCode ? Qt::Key_Return : Qt::Key_Enter);
        }
        QTEST(finished.isEmpty() ? -1 : finished.at(0).at(0).toInt(), "result");
        QTEST(dialog.findChild<QLabel *>("messageLabel")->text(), "message");
        if (finished.isEmpty())
            return;
        // While another attempt polls three times, none of this one follows.
        const int before = countWithToken(sim.requests(pollPath), token);
        SignInFlow other(nullptr);
        other.start();
        QTRY_VERIFY(countWithToken(sim.requests(pollPath), other.loginToken()) >= 3);
        QCOMPARE(countWithToken(sim.requests(pollPath), token), before);
    }

    // Signed in and out again and again, a click still opens one dialog (signed out) or none (signed in), and
    // hovering shows the popup only while signed in; signing out releases the user. Then a dialog is closed
    // while its poll waits for an answer that signs in: the dialog goes without a crash, the sign-in is stored
    // and shows here, and the other open sign-in dialog closes.
    void titleBar()
    {
        QVERIFY(sim.setScenario(scenario(1)));
        QWidget window;
        auto *titleBar = new TitleBar(&window);
        MyLoginBtn *button = titleBar->loginButtonWidget();
        PerInfoFloatDialog *popup = titleBar->accountPopupWidget();
        const auto dialogs = [&] { return titleBar->findChildren<GongZhongLoginDialog *>().size(); };
        for (int round = 0; round < 3; ++round) {
            emit button->showPer();
            QVERIFY(!popup->isVisible());
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(dialogs(), 1);
            QTRY_COMPARE(dialogs(), 0); // the first QR poll signs in
            QCOMPARE(button->text(), QStringLiteral("小泰"));
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(dialogs(), 0);
            emit button->showPer();
            QVERIFY(popup->isVisible());
            const QPointer<User> user = MyContext::user;
            QTest::mouseClick(popup->loginOutButton(), Qt::LeftButton);
            ContextFixture::releaseDeferred();
            QVERIFY(user.isNull() && !MyContext::settings().contains("tokenId") && !popup->isVisible());
            QCOMPARE(button->text(), QStringLiteral("登录"));
        }

        SignInFlow::setTiming({3600 * 1000}); // only the poll started below
        QVERIFY(sim.setScenario(scenario(1, fault(pollPath, "delay", 250))));
        QPointer<GongZhongLoginDialog> other = new GongZhongLoginDialog(nullptr);
        other->show();
        QTest::mouseClick(button, Qt::LeftButton);
        QPointer<GongZhongLoginDialog> dialog = titleBar->findChild<GongZhongLoginDialog *>();
        Probe closer([&] {
            if (dialog && dialog->isVisible())
                QTest::mouseClick(dialog->findChild<QPushButton *>("closeButton"), Qt::LeftButton);
        });
        dialog->gongZhongQrCodeLogin();
        closer.stop();
        QTRY_VERIFY(dialog.isNull() && other.isNull());
        QCOMPARE(MyContext::settings().value("tokenId").toString(), QStringLiteral("tok-1"));
        QCOMPARE(button->text(), QStringLiteral("小泰"));
    }
};

QTEST_MAIN(TestSignInFlow)
#include "tst_signinflow.moc"
