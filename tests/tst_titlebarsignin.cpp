#include "account/contactus.h"
#include "account/gongzhonglogindialog.h"
#include "account/myloginbtn.h"
#include "account/perinfofloatdialog.h"
#include "account/roundqlabel.h"
#include "account/user.h"
#include "catalog/productinfo.h"
#include "platform/apppaths.h"
#include "platform/mycontext.h"
#include "shell/titlebar.h"
#include "support/probe.h"
#include "support/simulator.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

const QString pollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
const QString loginPath = QStringLiteral("/user/user/phonelogin.html");
const QString knownPhone = QStringLiteral("13800000000");
const QString knownCode = QStringLiteral("123456");

QString pngBase64(const QColor &colour, const QSize &size = QSize(40, 40))
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
}

QJsonObject scenario(const QString &headImgBase64 = {}, int pollsUntilLogin = 0, const QJsonObject &faults = {})
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", QStringLiteral("小泰")},
                           {"headImgBase64", headImgBase64},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}}};
    return QJsonObject{
        {"users", QJsonArray{user}},
        {"phones", QJsonArray{QJsonObject{{"phoneNum", knownPhone}, {"verifyCode", knownCode}, {"userId", "u1"}}}},
        {"qr", QJsonObject{{"pollsUntilLogin", pollsUntilLogin}, {"userId", "u1"}}},
        {"faults", faults}};
}

LoginDialogTiming fastTiming()
{
    LoginDialogTiming timing;
    timing.pollIntervalMs = 50;
    timing.countdownIntervalMs = 3600 * 1000;
    timing.firstFetchDelayMs = 10;
    return timing;
}

// A window holding a title bar, as the main window does.
struct Window
{
    Window()
    {
        auto *layout = new QHBoxLayout(&frame);
        layout->setContentsMargins(0, 0, 0, 0);
        titleBar = new TitleBar(&frame);
        layout->addWidget(titleBar);
        frame.resize(1100, titleBar->height());
    }
    MyLoginBtn *button() const { return titleBar->loginButtonWidget(); }
    PerInfoFloatDialog *popup() const { return titleBar->accountPopupWidget(); }
    QList<GongZhongLoginDialog *> dialogs() const { return titleBar->findChildren<GongZhongLoginDialog *>(); }

    QWidget frame;
    TitleBar *titleBar = nullptr;
};

void signInDirectly(const QString &headImgBase64)
{
    auto *user = new User;
    user->setNickName(QStringLiteral("小泰"));
    user->setUserId(QStringLiteral("u1"));
    user->setUserSystemId(QStringLiteral("1000"));
    user->setHeadImgBase64(headImgBase64);
    MyContext::user = user;
}

bool isRed(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

} // namespace

class TestTitleBarSignIn : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void qrSignInShowsUser_data();
    void qrSignInShowsUser();
    void refreshKeepsOneConnection();
    void popupPosition_data();
    void popupPosition();
    void popupContent();
    void roundHeadImage();
    void hoverZone_data();
    void hoverZone();
    void leavingButton_data();
    void leavingButton();
    void popupLeave_data();
    void popupLeave();
    void loginOutClearsSettings();
    void contactModeThreeOpensContactUs();
    void contactKeysKeepDialog_data();
    void contactKeysKeepDialog();
    void storedTokenShowsUserAtStart();
    void lateSignInShowsInTitleBar_data();
    void lateSignInShowsInTitleBar();

private:
    std::unique_ptr<Simulator> sim;
    QTemporaryDir appDir;
};

void TestTitleBarSignIn::initTestCase()
{
    QLoggingCategory::setFilterRules(QStringLiteral("tessaly.platform.debug=false"));
    QVERIFY(appDir.isValid());
    AppPaths::setAppDirForTesting(appDir.path());
    MyContext::initScreenClass();
    sim = std::make_unique<Simulator>(scenario());
    QVERIFY(sim->isRunning());
    sim->useForPlatform();
}

void TestTitleBarSignIn::init()
{
    GongZhongLoginDialog::setTiming(fastTiming());
    QVERIFY(sim->setScenario(scenario()));
    sim->clearRequests();
    MyContext::loginOut();
}

void TestTitleBarSignIn::cleanup()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<ContactUS *>(widget))
            delete widget;
    }
    MyContext::loginOut();
    MyContext::kefuMode = QStringLiteral("1");
    MyContext::initScreenClass();
    GongZhongLoginDialog::setTiming(LoginDialogTiming());
}

void TestTitleBarSignIn::qrSignInShowsUser_data()
{
    QTest::addColumn<QString>("head");
    QTest::addColumn<QString>("look");
    QTest::newRow("head image") << pngBase64(Qt::red) << "round";
    QTest::newRow("no head image") << QString() << "default";
    QTest::newRow("head image that does not decode")
        << QString::fromLatin1(QByteArray("not a picture").toBase64()) << "empty";
}

void TestTitleBarSignIn::qrSignInShowsUser()
{
    QFETCH(QString, head);
    QFETCH(QString, look);
    QVERIFY(sim->setScenario(scenario(head, 2)));
    Window window;
    QTest::mouseClick(window.button(), Qt::LeftButton);
    QPointer<GongZhongLoginDialog> dialog = window.dialogs().value(0);
    QVERIFY(dialog);
    QTRY_VERIFY(dialog.isNull());

    QCOMPARE(window.button()->text(), QStringLiteral("小泰"));
    QCOMPARE(window.button()->iconSize(), QSize(30, 30));
    const QIcon icon = window.button()->icon();
    if (look == QLatin1String("empty")) {
        QVERIFY(icon.isNull());
        return;
    }
    QVERIFY(!icon.isNull());
    if (look == QLatin1String("round")) {
        const QImage picture = icon.pixmap(QSize(60, 60), QIcon::Normal, QIcon::On).toImage();
        QCOMPARE(picture.size(), QSize(60, 60));
        QVERIFY(isRed(picture.pixel(30, 30)));
        QVERIFY(isRed(picture.pixel(30, 2)));
        QCOMPARE(qAlpha(picture.pixel(1, 1)), 0); // cut to a circle
        QCOMPARE(qAlpha(picture.pixel(58, 58)), 0);
    } else {
        const QImage fallback = QPixmap(QStringLiteral(":/icons/icons/defalut_title_head_img.png")).toImage();
        const QImage picture = icon.pixmap(fallback.size(), QIcon::Normal, QIcon::On).toImage();
        QCOMPARE(picture.convertToFormat(QImage::Format_ARGB32), fallback.convertToFormat(QImage::Format_ARGB32));
    }
}

void TestTitleBarSignIn::refreshKeepsOneConnection()
{
    Window window;
    MyLoginBtn *button = window.button();
    // Receivers of (clicked, showPer, hidePer): signed out a click signs in, signed in hovering shows the popup.
    const auto receivers = [button] {
        return QVector<int>{button->receiverCount(&QPushButton::clicked), button->receiverCount(&MyLoginBtn::showPer),
                            button->receiverCount(&MyLoginBtn::hidePer)};
    };
    for (int i = 0; i < 4; ++i)
        window.titleBar->refreshContent();
    QCOMPARE(receivers(), QVector<int>({1, 0, 0}));
    signInDirectly(QString());
    for (int i = 0; i < 4; ++i)
        window.titleBar->refreshContent();
    QCOMPARE(receivers(), QVector<int>({0, 1, 1}));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window.dialogs().size(), 0);
    window.titleBar->loginOut();
    QCOMPARE(receivers(), QVector<int>({1, 0, 0}));
}

void TestTitleBarSignIn::popupPosition_data()
{
    QTest::addColumn<bool>("small");
    QTest::addColumn<int>("below");
    QTest::newRow("small screen") << true << 0;
    QTest::newRow("normal screen") << false << 5;
}

void TestTitleBarSignIn::popupPosition()
{
    QFETCH(bool, small);
    QFETCH(int, below);
    MyContext::isSmall = small; // initScreenClass() sets it back in cleanup()
    signInDirectly(QString());
    Window window;
    window.frame.move(120, 80);
    window.frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.frame));

    PerInfoFloatDialog *popup = window.popup();
    emit window.button()->showPer();
    QVERIFY(popup->isVisible());

    const QPoint corner = window.button()->mapToGlobal(QPoint(0, 0));
    const int distance = (popup->width() - window.button()->width()) / 2;
    QCOMPARE(popup->pos(), QPoint(corner.x() - distance, corner.y() + window.button()->height() + below));
    QCOMPARE(popup->size(), small ? QSize(260, 300) : QSize(300, 300));
}

void TestTitleBarSignIn::popupContent()
{
    signInDirectly(QString());
    Window window;
    PerInfoFloatDialog *popup = window.popup();
    emit window.button()->showPer();
    QCOMPARE(popup->nickNameLabel()->text(), QStringLiteral("小泰"));
    QCOMPARE(popup->userIdLabel()->text(), QStringLiteral("u1"));
    const QImage fallback = QPixmap(QStringLiteral(":/icons/icons/defalut_head_img.png")).toImage();
    QCOMPARE(popup->headLabel()->pixmap(Qt::ReturnByValue).toImage(), fallback);

    // The popup is refreshed each time it is shown: a new user shows at the next hover.
    MyContext::loginOut();
    signInDirectly(pngBase64(Qt::red));
    MyContext::user->setNickName(QStringLiteral("小雅"));
    emit window.button()->showPer();
    QCOMPARE(popup->nickNameLabel()->text(), QStringLiteral("小雅"));
    QVERIFY(isRed(popup->headLabel()->pixmap(Qt::ReturnByValue).toImage().pixel(5, 5)));

    MyContext::user->setHeadImgBase64(QString::fromLatin1(QByteArray("garbage").toBase64()));
    emit window.button()->showPer();
    QVERIFY(popup->headLabel()->pixmap(Qt::ReturnByValue).isNull());
}

void TestTitleBarSignIn::roundHeadImage()
{
    RoundQLabel label;
    label.resize(60, 40);
    QImage red(20, 20, QImage::Format_ARGB32);
    red.fill(Qt::red);
    label.setPixmap(QPixmap::fromImage(red));
    QImage canvas(label.size(), QImage::Format_ARGB32);
    canvas.fill(Qt::blue);
    label.render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    // A circle of diameter 40 at the top-left corner.
    QVERIFY(isRed(canvas.pixel(20, 20)));
    QVERIFY(isRed(canvas.pixel(20, 2)));
    QCOMPARE(canvas.pixel(1, 1), QColor(Qt::blue).rgb());
    QCOMPARE(canvas.pixel(39, 39), QColor(Qt::blue).rgb());
    QCOMPARE(canvas.pixel(50, 20), QColor(Qt::blue).rgb()); // right of the circle
}

void TestTitleBarSignIn::hoverZone_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("keeps");
    // The button is 100 x 45; the zone reaches 50 px below it, edges excluded.
    QTest::newRow("(1, 1)") << QPoint(1, 1) << true;
    QTest::newRow("(w - 1, h + 49)") << QPoint(99, 45 + 49) << true;
    QTest::newRow("(w / 2, h + 50)") << QPoint(50, 45 + 50) << false;
    QTest::newRow("(0, 5)") << QPoint(0, 5) << false;
    QTest::newRow("(w, 5)") << QPoint(100, 5) << false;
    QTest::newRow("above") << QPoint(50, -1) << false;
}

void TestTitleBarSignIn::hoverZone()
{
    QFETCH(QPoint, pos);
    QFETCH(bool, keeps);
    MyLoginBtn button;
    button.setFixedSize(100, 45);
    QCOMPARE(button.keepsPopupOpen(pos), keeps);
}

void TestTitleBarSignIn::leavingButton_data()
{
    QTest::addColumn<QPoint>("cursor"); // in button coordinates
    QTest::addColumn<bool>("hides");
    QTest::newRow("down into the popup") << QPoint(50, 45 + 20) << false;
    QTest::newRow("below the zone") << QPoint(50, 45 + 60) << true;
    QTest::newRow("to the right") << QPoint(130, 20) << true;
    QTest::newRow("up") << QPoint(50, -10) << true;
}

// The cursor is really moved (the offscreen platform keeps its position), then the button is left.
void TestTitleBarSignIn::leavingButton()
{
    QFETCH(QPoint, cursor);
    QFETCH(bool, hides);
    MyLoginBtn button;
    button.setFixedSize(100, 45);
    button.move(200, 100);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy hide(&button, &MyLoginBtn::hidePer);

    QCursor::setPos(button.mapToGlobal(cursor));
    QCOMPARE(button.mapFromGlobal(QCursor::pos()), cursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&button, &leave);
    QCOMPARE(hide.count(), hides ? 1 : 0);
}

void TestTitleBarSignIn::popupLeave_data()
{
    QTest::addColumn<QPoint>("cursor"); // in popup coordinates
    QTest::addColumn<bool>("hides");
    QTest::newRow("still inside") << QPoint(20, 20) << false;
    QTest::newRow("left of it") << QPoint(-5, 20) << true;
    QTest::newRow("below it") << QPoint(20, 310) << true;
    QTest::newRow("back up to the button") << QPoint(20, -3) << true;
}

void TestTitleBarSignIn::popupLeave()
{
    QFETCH(QPoint, cursor);
    QFETCH(bool, hides);
    signInDirectly(QString());
    Window window;
    window.frame.move(120, 80);
    window.frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window.frame));
    emit window.button()->showPer();
    PerInfoFloatDialog *popup = window.popup();
    QVERIFY(popup->isVisible());

    QCursor::setPos(popup->mapToGlobal(cursor));
    QCOMPARE(popup->mapFromGlobal(QCursor::pos()), cursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(popup, &leave);
    QCOMPARE(popup->isVisible(), !hides);
}

void TestTitleBarSignIn::loginOutClearsSettings()
{
    QVERIFY(sim->setScenario(scenario(QString(), 1)));
    Window window;
    window.frame.show();
    QTest::mouseClick(window.button(), Qt::LeftButton);
    QPointer<GongZhongLoginDialog> dialog = window.dialogs().value(0);
    QTRY_VERIFY(dialog.isNull());
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    QCOMPARE(window.button()->text(), QStringLiteral("小泰"));

    emit window.button()->showPer();
    QVERIFY(window.popup()->isVisible());
    QTest::mouseClick(window.popup()->loginOutButton(), Qt::LeftButton);

    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains(QStringLiteral("tokenId")));
    QVERIFY(!MyContext::settings().contains(QStringLiteral("userSystemId")));
    QVERIFY(!window.popup()->isVisible());
    QCOMPARE(window.button()->text(), QStringLiteral("登录"));
    const QImage plain = QPixmap(QStringLiteral(":/icons/icons/login_white.png")).toImage();
    QCOMPARE(window.button()->iconSize(), QSize(25, 25));
    QCOMPARE(window.button()->icon().pixmap(plain.size()).toImage().convertToFormat(QImage::Format_ARGB32),
             plain.convertToFormat(QImage::Format_ARGB32));

    // Signed out again: the button opens a new modal sign-in dialog.
    QTest::mouseClick(window.button(), Qt::LeftButton);
    QCOMPARE(window.dialogs().size(), 1);
    QVERIFY(window.dialogs().first()->isModal());
}

void TestTitleBarSignIn::contactModeThreeOpensContactUs()
{
    MyContext::kefuMode = QStringLiteral("3");
    Window window;
    QTest::mouseClick(window.titleBar->contactButtonWidget(), Qt::LeftButton);
    QTest::mouseClick(window.titleBar->contactButtonWidget(), Qt::LeftButton);

    QList<ContactUS *> opened;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *contact = qobject_cast<ContactUS *>(widget))
            opened.append(contact);
    }
    QCOMPARE(opened.size(), 2); // a new one for each click
    QPointer<ContactUS> contact = opened.first();
    QVERIFY(contact->isVisible());
    auto *picture = contact->findChild<QLabel *>(QStringLiteral("officialAccountLabel"));
    QVERIFY(picture && !picture->pixmap(Qt::ReturnByValue).isNull());

    QTest::mouseClick(contact->findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    QTRY_VERIFY(contact.isNull());
}

void TestTitleBarSignIn::contactKeysKeepDialog_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

// The contact dialog's only button is its close button; no key right after opening presses it.
void TestTitleBarSignIn::contactKeysKeepDialog()
{
    QFETCH(int, key);
    QPointer<ContactUS> contact = new ContactUS(nullptr);
    contact->show();
    QVERIFY(QTest::qWaitForWindowActive(contact));
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : contact.data();
    QTest::keyClick(target, Qt::Key(key));
    QVERIFY(contact);
    QVERIFY(contact->isVisible());
    delete contact;
}

void TestTitleBarSignIn::storedTokenShowsUserAtStart()
{
    MyContext::settings().setValue(QStringLiteral("tokenId"), QStringLiteral("tok-1"));
    MyContext context;
    context.init();
    QVERIFY(MyContext::user);

    Window window; // built after start-up, as the main window is
    QCOMPARE(window.button()->text(), QStringLiteral("小泰"));
    QCOMPARE(window.button()->receiverCount(&MyLoginBtn::showPer), 1);
    QCOMPARE(window.button()->receiverCount(&QPushButton::clicked), 0);
    QCOMPARE(sim->requests(QStringLiteral("/user/user/tokenlogin.html")).size(), 1);
    // Start-up's background work ends before the context goes, and the catalog it built is released.
    QTRY_VERIFY(!context.findChild<QThread *>());
    QList<QPointer<QObject>> entries;
    for (QObject *entry : qAsConst(MyContext::productInfoList))
        entries.append(entry);
    MyContext::clearProductInfos();
    QTRY_VERIFY(std::all_of(entries.cbegin(), entries.cend(), [](const QPointer<QObject> &e) { return e.isNull(); }));
}

void TestTitleBarSignIn::lateSignInShowsInTitleBar_data()
{
    QTest::addColumn<QString>("slowPath");
    QTest::newRow("qr poll") << pollPath;
    QTest::newRow("phone login") << loginPath;
}

// The user closes the dialog while the answer that signs them in is still on its way.
void TestTitleBarSignIn::lateSignInShowsInTitleBar()
{
    QFETCH(QString, slowPath);
    const bool poll = slowPath == pollPath;
    QVERIFY(sim->setScenario(
        scenario(QString(), poll ? 1 : 0, QJsonObject{{slowPath, QJsonObject{{"kind", "delay"}, {"ms", 300}}}})));
    if (!poll) {
        LoginDialogTiming timing = fastTiming();
        timing.pollIntervalMs = 3600 * 1000;
        GongZhongLoginDialog::setTiming(timing);
    }
    Window window;
    QPointer<GongZhongLoginDialog> dialog;
    QPointer<QLabel> qrLabel;
    // Closes the dialog as soon as an exchange waits after the first picture: the poll or the login.
    bool closed = false;
    Probe closer([&] {
        if (!dialog || !qrLabel || closed || dialog->exchangesWaiting() == 0 ||
            qrLabel->pixmap(Qt::ReturnByValue).isNull())
            return;
        closed = true;
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    });
    QTest::mouseClick(window.button(), Qt::LeftButton);
    dialog = window.dialogs().value(0);
    QVERIFY(dialog);
    qrLabel = dialog->findChild<QLabel *>(QStringLiteral("qrCodeLabel"));
    if (!poll) {
        QTRY_VERIFY(qrLabel && !qrLabel->pixmap(Qt::ReturnByValue).isNull());
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("phoneTab")), Qt::LeftButton);
        QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("phoneNumEdit")), knownPhone);
        QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("verifyCodeEdit")), knownCode);
        QTest::mouseClick(dialog->findChild<QPushButton *>(QStringLiteral("phoneLoginButton")), Qt::LeftButton);
    }
    QTRY_VERIFY(dialog.isNull());
    closer.stop();
    QVERIFY(closed);

    QTRY_COMPARE(window.button()->text(), QStringLiteral("小泰"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    QCOMPARE(window.button()->receiverCount(&MyLoginBtn::showPer), 1);
    QCOMPARE(sim->requests(slowPath).size(), 1);
}

QTEST_MAIN(TestTitleBarSignIn)
#include "tst_titlebarsignin.moc"
