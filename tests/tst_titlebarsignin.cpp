#include "core/account/signinflow.h"
#include "core/account/signinnotifier.h"
#include "core/base/apppaths.h"
#include "core/base/user.h"
#include "core/platform/mycontext.h"
#include "support/signinscenario.h"
#include "widgets/account/contactus.h"
#include "widgets/account/gongzhonglogindialog.h"
#include "widgets/account/myloginbtn.h"
#include "widgets/account/perinfofloatdialog.h"
#include "widgets/common/roundqlabel.h"
#include "widgets/shell/titlebar.h"

#include <QBuffer>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

using namespace SignInScenario;

QString pngBase64(const QColor &colour)
{
    QImage image(40, 40, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return QString::fromLatin1(bytes.toBase64());
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
    bool show()
    {
        frame.move(120, 80);
        frame.show();
        return QTest::qWaitForWindowExposed(&frame);
    }
    MyLoginBtn *button() const { return titleBar->loginButtonWidget(); }
    PerInfoFloatDialog *popup() const { return titleBar->accountPopupWidget(); }
    GongZhongLoginDialog *dialog() const { return titleBar->findChild<GongZhongLoginDialog *>(); }

    QWidget frame;
    TitleBar *titleBar = nullptr;
};

bool isRed(QRgb pixel)
{
    return qAlpha(pixel) == 255 && qRed(pixel) > 200 && qGreen(pixel) < 60 && qBlue(pixel) < 60;
}

QImage argb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

QList<ContactUS *> contactDialogs()
{
    QList<ContactUS *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *contact = qobject_cast<ContactUS *>(widget))
            found.append(contact);
    }
    return found;
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
    void popup_data();
    void popup();
    void popupContent();
    void leavingButton_data();
    void leavingButton();
    void signOut();
    void contactModeThreeOpensContactUs();
    void storedTokenShowsUserAtStart();

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
    SignInTiming timing;
    timing.pollIntervalMs = 50;
    SignInFlow::setTiming(timing);
    QVERIFY(sim->setScenario(scenario()));
    sim->clearRequests();
    MyContext::loginOut();
}

void TestTitleBarSignIn::cleanup()
{
    qDeleteAll(contactDialogs());
    MyContext::loginOut();
    MyContext::kefuMode = QStringLiteral("1");
    MyContext::initScreenClass();
    SignInFlow::setTiming(SignInTiming());
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
    QVERIFY(sim->setScenario(scenario(2, {}, qrText, head)));
    Window window;
    QTest::mouseClick(window.button(), Qt::LeftButton);
    QPointer<GongZhongLoginDialog> dialog = window.dialog();
    QVERIFY(dialog);
    QTRY_VERIFY(dialog.isNull());

    QTRY_COMPARE(window.button()->text(), QStringLiteral("小泰"));
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    emit window.button()->showPer(); // hovering the button now opens the account popup
    QVERIFY(window.popup()->isVisible());
    const QIcon icon = window.button()->icon();
    QCOMPARE(icon.isNull(), look == QLatin1String("empty"));
    if (look == QLatin1String("round")) {
        const QImage picture = icon.pixmap(QSize(60, 60), QIcon::Normal, QIcon::On).toImage();
        QVERIFY(isRed(picture.pixel(30, 30)));
        QVERIFY(isRed(picture.pixel(30, 2)));
        QCOMPARE(qAlpha(picture.pixel(1, 1)), 0); // cut to a circle
        QCOMPARE(qAlpha(picture.pixel(58, 58)), 0);
    } else if (look == QLatin1String("default")) {
        const QImage fallback = QPixmap(QStringLiteral(":/icons/icons/defalut_title_head_img.png")).toImage();
        QCOMPARE(argb(icon.pixmap(fallback.size(), QIcon::Normal, QIcon::On).toImage()), argb(fallback));
    }
}

void TestTitleBarSignIn::popup_data()
{
    QTest::addColumn<bool>("small");
    QTest::addColumn<QPoint>("cursor"); // where the popup is left, in popup coordinates
    QTest::addColumn<bool>("hides");
    QTest::newRow("small screen, still inside") << true << QPoint(20, 20) << false;
    QTest::newRow("normal screen, left of it") << false << QPoint(-5, 20) << true;
    QTest::newRow("normal screen, below it") << false << QPoint(20, 310) << true;
    QTest::newRow("small screen, back up to the button") << true << QPoint(20, -3) << true;
}

// Hovering the button shows the popup centred under it (5 px lower on normal screens); leaving the
// popup hides it.
void TestTitleBarSignIn::popup()
{
    QFETCH(bool, small);
    QFETCH(QPoint, cursor);
    QFETCH(bool, hides);
    MyContext::isSmall = small; // initScreenClass() sets it back in cleanup()
    QVERIFY(MyContext::phoneLogin(knownPhone, knownCode).isEmpty());
    Window window;
    QVERIFY(window.show());
    emit window.button()->showPer();
    PerInfoFloatDialog *popup = window.popup();
    QVERIFY(popup->isVisible());
    MyLoginBtn *button = window.button();
    const QPoint corner = button->mapToGlobal(QPoint(0, 0));
    const int distance = (popup->width() - button->width()) / 2;
    QCOMPARE(popup->pos(), QPoint(corner.x() - distance, corner.y() + button->height() + (small ? 0 : 5)));

    QCursor::setPos(popup->mapToGlobal(cursor));
    QCOMPARE(popup->mapFromGlobal(QCursor::pos()), cursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(popup, &leave);
    QCOMPARE(popup->isVisible(), !hides);
}

// The popup is refreshed each time it is shown: a new user, or a new head image, shows at the next
// hover. The head image is drawn as a circle.
void TestTitleBarSignIn::popupContent()
{
    QVERIFY(MyContext::phoneLogin(knownPhone, knownCode).isEmpty());
    Window window;
    PerInfoFloatDialog *popup = window.popup();
    emit window.button()->showPer();
    QCOMPARE(popup->nickNameLabel()->text(), QStringLiteral("小泰"));
    QCOMPARE(popup->userIdLabel()->text(), QStringLiteral("u1"));
    const QImage fallback = QPixmap(QStringLiteral(":/icons/icons/defalut_head_img.png")).toImage();
    QCOMPARE(popup->headLabel()->pixmap(Qt::ReturnByValue).toImage(), fallback);

    MyContext::user->setHeadImgBase64(pngBase64(Qt::red));
    MyContext::user->setNickName(QStringLiteral("小雅"));
    emit window.button()->showPer();
    QCOMPARE(popup->nickNameLabel()->text(), QStringLiteral("小雅"));
    RoundQLabel *head = popup->headLabel();
    QImage canvas(head->size(), QImage::Format_ARGB32);
    canvas.fill(Qt::blue);
    head->render(&canvas, QPoint(), QRegion(), QWidget::DrawChildren);
    const int side = head->width();
    QVERIFY(isRed(canvas.pixel(side / 2, side / 2)));
    QVERIFY(isRed(canvas.pixel(side / 2, 2)));
    QCOMPARE(canvas.pixel(1, 1), QColor(Qt::blue).rgb());
    QCOMPARE(canvas.pixel(side - 2, side - 2), QColor(Qt::blue).rgb());

    MyContext::user->setHeadImgBase64(QString::fromLatin1(QByteArray("garbage").toBase64()));
    emit window.button()->showPer();
    QVERIFY(popup->headLabel()->pixmap(Qt::ReturnByValue).isNull());
}

void TestTitleBarSignIn::leavingButton_data()
{
    QTest::addColumn<QPoint>("cursor"); // in button coordinates; the button is 100 x 45
    QTest::addColumn<bool>("hides");
    // The popup stays while the cursor is on the button or in the 50 px below it, edges excluded.
    QTest::newRow("down into the popup") << QPoint(50, 45 + 20) << false;
    QTest::newRow("last row of the zone") << QPoint(99, 45 + 49) << false;
    QTest::newRow("below the zone") << QPoint(50, 45 + 50) << true;
    QTest::newRow("left edge") << QPoint(0, 5) << true;
    QTest::newRow("right edge") << QPoint(100, 5) << true;
    QTest::newRow("up") << QPoint(50, -1) << true;
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

// Signed in, a click on the button opens nothing and hovering opens the popup; "退出登录" signs out,
// clears the stored sign-in and gives the button back its sign-in role, however often the title bar
// was refreshed in between.
void TestTitleBarSignIn::signOut()
{
    QVERIFY(MyContext::phoneLogin(knownPhone, knownCode).isEmpty());
    QCOMPARE(MyContext::settings().value(QStringLiteral("tokenId")).toString(), QStringLiteral("tok-1"));
    Window window;
    MyLoginBtn *button = window.button();
    for (int i = 0; i < 3; ++i)
        window.titleBar->refreshContent();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(!window.dialog());

    emit button->showPer();
    QVERIFY(window.popup()->isVisible());
    QTest::mouseClick(window.popup()->loginOutButton(), Qt::LeftButton);
    QVERIFY(!MyContext::user);
    QVERIFY(!MyContext::settings().contains(QStringLiteral("tokenId")));
    QVERIFY(!MyContext::settings().contains(QStringLiteral("userSystemId")));
    QVERIFY(!window.popup()->isVisible());
    QCOMPARE(button->text(), QStringLiteral("登录"));
    const QImage plain = QPixmap(QStringLiteral(":/icons/icons/login_white.png")).toImage();
    QCOMPARE(argb(button->icon().pixmap(plain.size()).toImage()), argb(plain));
    for (int i = 0; i < 3; ++i)
        window.titleBar->refreshContent();
    emit button->showPer();
    QVERIFY(!window.popup()->isVisible());

    // Signed out again: a click opens one new modal sign-in dialog.
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(window.titleBar->findChildren<GongZhongLoginDialog *>().size(), 1);
    QVERIFY(window.dialog()->isModal());

    // A sign-in answered after its own dialog had closed shows here too, and the open dialog closes.
    QVERIFY(MyContext::phoneLogin(knownPhone, knownCode).isEmpty());
    SignInNotifier::announceSignInAfterClose();
    QCOMPARE(button->text(), QStringLiteral("小泰"));
    QTRY_VERIFY(!window.dialog());
}

void TestTitleBarSignIn::contactModeThreeOpensContactUs()
{
    MyContext::kefuMode = QStringLiteral("3");
    Window window;
    QTest::mouseClick(window.titleBar->contactButtonWidget(), Qt::LeftButton);
    QCOMPARE(contactDialogs().size(), 1);
    QPointer<ContactUS> contact = contactDialogs().first();
    QVERIFY(QTest::qWaitForWindowActive(contact));
    auto *picture = contact->findChild<QLabel *>(QStringLiteral("officialAccountLabel"));
    QVERIFY(picture && !picture->pixmap(Qt::ReturnByValue).isNull());

    // Its only button is the close button; no key right after opening presses it.
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : contact.data(), key);
        QVERIFY(contact && contact->isVisible());
    }

    QTest::mouseClick(window.titleBar->contactButtonWidget(), Qt::LeftButton);
    QCOMPARE(contactDialogs().size(), 2); // a new one for each click
    QTest::mouseClick(contact->findChild<QPushButton *>(QStringLiteral("closeButton")), Qt::LeftButton);
    QTRY_VERIFY(contact.isNull());
}

void TestTitleBarSignIn::storedTokenShowsUserAtStart()
{
    MyContext::settings().setValue(QStringLiteral("tokenId"), QStringLiteral("tok-1"));
    MyContext context;
    context.init();
    QVERIFY(MyContext::user);

    Window window; // built after start-up, as the main window is
    QCOMPARE(window.button()->text(), QStringLiteral("小泰"));
    QTest::mouseClick(window.button(), Qt::LeftButton);
    QVERIFY(!window.dialog());
    emit window.button()->showPer();
    QVERIFY(window.popup()->isVisible());
    // Start-up's background work ends before the context goes.
    QTRY_VERIFY(!context.findChild<QThread *>());
    MyContext::clearProductInfos();
}

QTEST_MAIN(TestTitleBarSignIn)
#include "tst_titlebarsignin.moc"
