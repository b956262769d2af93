#include "core/app/logoutput.h"
#include "core/app/processexit.h"
#include "core/app/singleinstance.h"
#include "core/app/uifont.h"
#include "core/base/logging.h"
#include "core/files/imagefile.h"
#include "core/platform/mycontext.h"
#include "core/platform/platformexchange.h"
#include "widgets/app/firstpaintwatcher.h"
#include "widgets/app/mainwidget.h"
#include "widgets/app/startupnotice.h"
#include "widgets/common/mydialog.h"

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
    // Loads beside the work below, up to the first platform exchange.
    const PlatformExchange::NetworkPreload networkPreload;
    // Read beside the work below too, and set before the first window.
    ImageFileReader windowIcon({QStringLiteral(":/icons/icons/application_icon.png")});
    const auto setWindowIcon = [&] { app.setWindowIcon(QIcon(windowIcon.take(0))); };
    installUiFontFallback();

    if (!SingleInstance::acquire()) {
        setWindowIcon();
        showAlreadyRunning();
        return 0;
    }

    static MyContext *context = new MyContext; // lives for the whole process
    context->beginInit();
    // The first font sets up the font database, and the interface's fonts load, while the start-up
    // exchanges and the network configuration they wait for are under way: all take a while.
    fontConfig.wait();
    QFont font;
    font.setPointSize(10);
    loadInterfaceFonts();
    context->endInit();

    setWindowIcon();
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
