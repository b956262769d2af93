// The reference for the start-up benchmark: what any window showing the catalog must do at least. A
// frameless window of the size the program picks on this screen, in the program's font, holding 14
// word-wrapped labels with the built-in catalog's names and descriptions; it quits once it has been
// painted, as the program does with TESSALY_QUIT_WHEN_SHOWN=1.
#include "core/app/uifont.h"
#include "core/base/productinfo.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"

#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QTimer>

#include <cstdio>

namespace {
class Window : public QFrame
{
public:
    Window()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setFixedSize(UiSize::mainWindow());
        setFont(QFont(QStringLiteral("Microsoft YaHei")));
        auto *layout = new QGridLayout(this);
        int n = 0;
        for (const ProductInfo *info : qAsConst(MyContext::productInfoList)) {
            auto *label = new QLabel(info->zhName + QLatin1Char('\n') + info->zhDesc, this);
            label->setFont(MyContext::normalFont);
            label->setWordWrap(true);
            layout->addWidget(label, n / 4, n % 4);
            ++n;
        }
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QFrame::paintEvent(event);
        if (!m_painted) {
            m_painted = true;
            QTimer::singleShot(0, qApp, [] {
                std::fputs("first paint\n", stdout);
                std::fflush(stdout);
                QCoreApplication::exit(0);
            });
        }
    }

private:
    bool m_painted = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installUiFontFallback();
    MyContext::initScreenClass();
    MyContext::initDefaultProductInfos();
    Window window;
    window.show();
    return app.exec();
}
