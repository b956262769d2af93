// The main window and its title bar: start-up with a stored sign-in, keyboard focus at start, the customer
// service button, and the close button that ends the process.
#include "core/base/apppaths.h"
#include "core/platform/mycontext.h"
#include "support/simulator.h"
#include "widgets/account/contactus.h"
#include "widgets/account/myloginbtn.h"
#include "widgets/app/mainwidget.h"
#include "widgets/app/startupnotice.h"
#include "widgets/common/mydialog.h"
#include "widgets/common/windowdrag.h"
#include "widgets/shell/titlebar.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QSettings>
#include <QTextEdit>
#include <QtTest>

class TestShell : public QObject
{
    Q_OBJECT

    QTemporaryDir appDir;
    Simulator sim{QJsonObject{{"users", QJsonArray{Simulator::user()}}}};
    QList<QUrl> urls; // handed to the desktop

public slots:
    void openUrl(const QUrl &url) { urls.append(url); }

private slots:
    void initTestCase()
    {
        QVERIFY(appDir.isValid());
        AppPaths::setAppDirForTesting(appDir.path());
        QVERIFY(sim.isRunning());
        sim.useForPlatform();
    }

    // A frameless window moves with a left-button drag that starts in its drag band, and only then.
    void drag_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left, in the band") << int(Qt::LeftButton) << QPoint(10, 10) << true;
        QTest::newRow("right, in the band") << int(Qt::RightButton) << QPoint(10, 10) << false;
        QTest::newRow("left, below the band") << int(Qt::LeftButton) << QPoint(10, 80) << false;
    }
    void drag()
    {
        QFETCH(int, button);
        QFETCH(QPoint, press);
        QFETCH(bool, moves);
        QWidget window(nullptr, Qt::FramelessWindowHint);
        window.setGeometry(100, 100, 200, 200);
        new WindowDrag(&window, [](const QPoint &pos) { return pos.y() < 60; });
        const QPoint start = window.pos();
        const auto send = [&](QEvent::Type type, const QPoint &at, int pressed) {
            QMouseEvent event(type, at, start + at, Qt::MouseButton(type == QEvent::MouseMove ? 0 : button),
                              Qt::MouseButtons(pressed), Qt::NoModifier);
            QApplication::sendEvent(&window, &event);
        };
        send(QEvent::MouseButtonPress, press, button);
        send(QEvent::MouseMove, press + QPoint(30, 20), button);
        send(QEvent::MouseButtonRelease, press + QPoint(30, 20), 0);
        send(QEvent::MouseMove, press + QPoint(60, 40), 0);
        QCOMPARE(window.pos(), start + (moves ? QPoint(30, 20) : QPoint()));
    }

    void window_data()
    {
        QTest::addColumn<QString>("token"); // stored
        QTest::addColumn<QString>("shown"); // on the sign-in button
        QTest::addColumn<bool>("notice"); // that the sign-in has expired
        QTest::newRow("valid token") << "tok-1" << QStringLiteral("小泰") << false;
        QTest::newRow("expired token") << "tok-old" << QStringLiteral("登录") << true;
        QTest::newRow("no token") << QString() << QStringLiteral("登录") << false;
    }
    // Start-up signs in with the stored token; the main window, built after it, comes up with the user shown
    // and nothing in the title bar holding the keyboard focus (Windows would frame it); then the notice, if any.
    void window()
    {
        QFETCH(QString, token);
        MyContext::settings().setValue(QStringLiteral("tokenId"), token);
        MyContext context;
        context.init();
        MainWidget window;
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(!window.titleBarWidget()->isAncestorOf(QApplication::focusWidget()));
        QTEST(window.titleBarWidget()->loginButtonWidget()->text(), "shown");

        QPointer<MyDialog> shownNotice = showExpiredLoginNotice();
        QTEST(!shownNotice.isNull(), "notice");
        if (shownNotice) {
            QCOMPARE(QApplication::activeModalWidget(), shownNotice.data());
            QCOMPARE(shownNotice->textEdit()->toPlainText(), QStringLiteral("您的登录已经过期，请您重新登录！"));
            delete shownNotice;
        }
        // Start-up's background work ends before the context goes.
        QTRY_VERIFY(!context.findChild<QThread *>());
        MyContext::loginOut();
        MyContext::clearProductInfos();
        MyContext::lastErrorCode = QStringLiteral("-1");
    }

    void contactButton_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("urls"); // handed to the desktop
        QTest::addColumn<int>("dialogs"); // ContactUS opened
        QTest::newRow("mode 2") << QStringLiteral("2") << 1 << 0;
        QTest::newRow("mode 3") << QStringLiteral("3") << 0 << 1;
        QTest::newRow("mode 5") << QStringLiteral("5") << 0 << 0;
    }

    void contactButton()
    {
        QFETCH(QString, mode);
        urls.clear();
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "openUrl");
        MyContext::kefuMode = mode;
        MyContext::kefuUrl = QStringLiteral("http://127.0.0.1:9/kefu.html");
        TitleBar titleBar(nullptr);
        QTest::mouseClick(titleBar.contactButtonWidget(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

        QTEST(urls.size(), "urls");
        QVERIFY(urls.isEmpty() || urls.first() == QUrl(MyContext::kefuUrl));
        QList<ContactUS *> contacts;
        for (QWidget *widget : QApplication::topLevelWidgets())
            if (auto *contact = qobject_cast<ContactUS *>(widget))
                contacts.append(contact);
        QTEST(contacts.size(), "dialogs");
        qDeleteAll(contacts);
    }

    void closeButtonEndsProcess_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("window alone") << QStringLiteral("plain");
        QTest::newRow("while a notice is open") << QStringLiteral("notice");
    }

    // Runs this executable again in a child mode that presses the close button, and checks its status.
    void closeButtonEndsProcess()
    {
        QFETCH(QString, mode);
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--close-child"), mode});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 1);
    }
};

// Child mode: build the main window, optionally open a modal notice, then press close.
static int runCloseChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    MyContext::initScreenClass();
    MainWidget window;
    window.show();
    auto *close = window.titleBarWidget()->findChild<QPushButton *>(QStringLiteral("closeButton"));
    QTimer::singleShot(50, &window, [close] { close->click(); });
    if (qstrcmp(argv[2], "notice") == 0)
        (new MyDialog(QStringLiteral("提示")))->exec();
    else
        app.exec();
    return 2; // close must let neither the notice nor the event loop return
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--close-child") == 0)
        return runCloseChild(argc, argv);
    QApplication app(argc, argv);
    TestShell test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_shell.moc"
