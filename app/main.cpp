#include "core/app/logoutput.h"
#include "core/app/processexit.h"
#include "core/app/singleinstance.h"
#include "core/app/uifont.h"
#include "core/base/logging.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "widgets/app/firstpaintwatcher.h"
#include "widgets/app/mainwidget.h"
#include "widgets/app/startupnotice.h"
#include "widgets/common/mydialog.h"
#include "widgets/shell/titlebar.h"

#include <QApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <QTextCodec>
#include <QTimer>

namespace {
// Shown by a second copy. TESSALY_AUTO_ANSWER_NOTICES=1 answers it at once, for scripted runs.
void showAlreadyRunning()
{
    qCWarning(lcApp) << "当前程序正在运行！";
    QMessageBox box(QMessageBox::Information, QStringLiteral("温馨提示"), QStringLiteral("当前程序正在运行！"),
                    QMessageBox::Ok);
    if (qEnvironmentVariableIntValue("TESSALY_AUTO_ANSWER_NOTICES") == 1)
        QTimer::singleShot(0, &box, &QMessageBox::accept);
    box.exec();
}

// Lays out a line in each of the interface's fonts, which loads them and their shaping tables as the
// first text shown in them would.
void loadInterfaceFonts()
{
    for (const QFont &font : {MyContext::normalFont, MyContext::largeFont})
        QFontMetrics(font).horizontalAdvance(QStringLiteral("Tessaly软件管家"));
}
} // namespace

int main(int argc, char *argv[])
{
    // Read beside the application object's construction: each takes a while.
    FontConfigPreload fontConfig;
    installLogOutput();
    QApplication app(argc, argv);
    installUiFontFallback();
    const auto setWindowIcon = [&app] {
        app.setWindowIcon(QIcon(readPixmapFile(QStringLiteral(":/icons/icons/application_icon.png"))));
    };

    if (!SingleInstance::acquire()) {
        setWindowIcon();
        fontConfig.wait(); // else the notice's first font would read the configuration a second time
        showAlreadyRunning();
        return 0;
    }

    static MyContext *context = new MyContext; // lives for the whole process
    // The start-up exchanges, and the network configuration they wait for, are under way beside the
    // rest: the window's pictures, then the interface's fonts once the font configuration is read.
    context->beginInit();
    setWindowIcon();
    for (const QString &picture : TitleBar::startPictures())
        readPixmapFile(picture);
    fontConfig.wait();
    // The first font sets up the font database.
    QFont font;
    font.setPointSize(10);
    loadInterfaceFonts();
    context->endInit();

    MainWidget window;
    window.setFont(font);

    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));

    FirstPaintWatcher watcher;
    if (qEnvironmentVariableIntValue("TESSALY_QUIT_WHEN_SHOWN") == 1)
        window.installEventFilter(&watcher);

    window.show();

    QPointer<MyDialog> notice = showExpiredLoginNotice();

    const int result = app.exec();
    delete notice; // still open when the program was asked to leave
    ProcessExit::releaseSharedState();
    SingleInstance::release();
    return result;
}
