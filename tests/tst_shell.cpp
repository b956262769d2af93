#include "widgets/app/mainwidget.h"
#include "widgets/app/startupnotice.h"
#include "core/platform/mycontext.h"
#include "widgets/common/mydialog.h"
#include "widgets/shell/titlebar.h"

#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QtTest>

// Receives the addresses the contact button hands to the desktop.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TestShell : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void window_data();
    void window();
    void drag_data();
    void drag();
    void noticeKeepsFixedSize();
    void expiredLoginNotice_data();
    void expiredLoginNotice();
    void contactButton_data();
    void contactButton();
    void closeButtonEndsProcess_data();
    void closeButtonEndsProcess();
};

void TestShell::initTestCase()
{
    MyContext::initScreenClass();
}

void TestShell::window_data()
{
    QTest::addColumn<bool>("small");
    QTest::addColumn<QSize>("size");
    QTest::newRow("small screen") << true << QSize(1100, 730);
    QTest::newRow("normal screen") << false << QSize(1400, 900);
}

void TestShell::window()
{
    QFETCH(bool, small);
    const bool saved = MyContext::isSmall;
    MyContext::isSmall = small;
    MainWidget window;
    MyContext::isSmall = saved;
    QTEST(window.size(), "size");
    QTEST(window.minimumSize(), "size");
    QTEST(window.maximumSize(), "size");
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);

    const auto hasLabel = [](const QWidget *parent, const QString &text) {
        const QList<QLabel *> labels = parent->findChildren<QLabel *>();
        return std::any_of(labels.cbegin(), labels.cend(), [&text](QLabel *l) { return l->text() == text; });
    };
    QVERIFY(hasLabel(window.titleBarWidget(), QStringLiteral("Tessaly软件管家")));
    QVERIFY(hasLabel(&window, QStringLiteral("用心做好每一款软件！")));
    QVERIFY(hasLabel(&window, QStringLiteral("当前版本号：8.0.0.1")));

    // Nothing in the title bar takes the keyboard focus when the window comes up (Windows frames it).
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QWidget *focus = QApplication::focusWidget();
    QVERIFY2(!focus || !window.titleBarWidget()->isAncestorOf(focus), focus ? focus->metaObject()->className() : "");
}

void TestShell::drag_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("drags");
    // The band is the title bar's height, short of the window buttons' 100 px on the right.
    QTest::newRow("(1,1)") << QPoint(1, 1) << true;
    QTest::newRow("y = 59") << QPoint(200, 59) << true;
    QTest::newRow("y = 60") << QPoint(200, 60) << false;
    QTest::newRow("x = width - 101") << QPoint(1299, 30) << true;
    QTest::newRow("x = width - 100") << QPoint(1300, 30) << false;
}

void TestShell::drag()
{
    QFETCH(QPoint, press);
    QFETCH(bool, drags);
    MyContext::isSmall = false;
    MainWidget window;
    window.move(100, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint grip = window.mapToGlobal(press);
    const auto send = [&](QEvent::Type type, const QPoint &offset, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(press + offset), grip + offset, button, buttons, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    };
    const QPoint moved = window.pos() + (drags ? QPoint(40, 25) : QPoint());

    send(QEvent::MouseButtonPress, {}, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, {40, 25}, Qt::NoButton, Qt::LeftButton);
    QCOMPARE(window.pos(), moved);
    // After the release, moving the mouse no longer moves the window.
    send(QEvent::MouseButtonRelease, {40, 25}, Qt::LeftButton, Qt::NoButton);
    send(QEvent::MouseMove, {70, 55}, Qt::NoButton, Qt::NoButton);
    QCOMPARE(window.pos(), moved);
}

void TestShell::noticeKeepsFixedSize()
{
    MyContext::isSmall = false;
    QPointer<MyDialog> dialog = new MyDialog(QStringLiteral("很长的提示。").repeated(400));
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog));
    QCOMPARE(dialog->size(), QSize(450, 200));
    QVERIFY(dialog->textEdit()->isReadOnly());
    QVERIFY(dialog->textEdit()->verticalScrollBar()->maximum() > 0);
    QVERIFY(dialog->isModal());
    QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
    QTRY_VERIFY(dialog.isNull()); // deletes itself when closed
}

void TestShell::expiredLoginNotice_data()
{
    QTest::addColumn<QString>("lastErrorCode");
    QTest::addColumn<bool>("shown");
    QTest::newRow("expired (0014)") << QStringLiteral("0014") << true;
    QTest::newRow("no token login (-1)") << QStringLiteral("-1") << false;
    QTest::newRow("unknown token (0013)") << QStringLiteral("0013") << false;
}

void TestShell::expiredLoginNotice()
{
    QFETCH(QString, lastErrorCode);
    QFETCH(bool, shown);
    MyContext::lastErrorCode = lastErrorCode;
    MainWidget window;
    window.show();
    QPointer<MyDialog> notice = showExpiredLoginNotice();
    MyContext::lastErrorCode = QStringLiteral("-1");

    QCOMPARE(!notice.isNull(), shown);
    if (!shown)
        return;
    QVERIFY(QTest::qWaitForWindowExposed(notice));
    QVERIFY(window.isVisible());
    QVERIFY(notice->isModal());
    QCOMPARE(notice->textEdit()->toPlainText(), QStringLiteral("您的登录已经过期，请您重新登录！"));
    QCOMPARE(QApplication::activeModalWidget(), notice.data());
    notice->close();
    QTRY_VERIFY(notice.isNull());
}

void TestShell::contactButton_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("opens");
    QTest::newRow("mode 1") << QStringLiteral("1") << true;
    QTest::newRow("mode 2") << QStringLiteral("2") << true;
    QTest::newRow("mode 5") << QStringLiteral("5") << false;
    QTest::newRow("empty mode") << QString() << false;
}

void TestShell::contactButton()
{
    QFETCH(QString, mode);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    MyContext::kefuMode = mode;
    MyContext::kefuUrl = QStringLiteral("http://127.0.0.1:9/kefu.html");

    QWidget window;
    auto *titleBar = new TitleBar(&window);
    QTest::mouseClick(titleBar->contactButtonWidget(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    MyContext::kefuMode = QStringLiteral("1");

    QFETCH(bool, opens);
    QCOMPARE(catcher.urls.size(), opens ? 1 : 0);
    if (opens)
        QCOMPARE(catcher.urls.first(), QUrl(QStringLiteral("http://127.0.0.1:9/kefu.html")));
}

void TestShell::closeButtonEndsProcess_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("window alone") << QStringLiteral("plain");
    QTest::newRow("while a notice is open") << QStringLiteral("notice");
}

// Runs this executable again in a child mode that presses the close button, and checks its status.
void TestShell::closeButtonEndsProcess()
{
    QFETCH(QString, mode);
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--close-child"), mode});
    QVERIFY(child.waitForFinished(30000));
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 1);
}

// Child mode: build the main window, optionally open a modal notice, then press close.
static int runCloseChild(int argc, char **argv)
{
    QApplication app(argc, argv);
    MyContext::initScreenClass();
    MainWidget window;
    window.show();
    auto *close = window.titleBarWidget()->findChild<QPushButton *>(QStringLiteral("closeButton"));
    if (!close)
        return 3;
    if (qstrcmp(argv[2], "notice") == 0) {
        QTimer::singleShot(50, &window, [close] { close->click(); });
        auto *notice = new MyDialog(QStringLiteral("提示"));
        notice->exec();
        return 2; // close must not let the notice return
    }
    QTimer::singleShot(0, &window, [close] { close->click(); });
    app.exec();
    return 2; // close must not let the event loop return
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
