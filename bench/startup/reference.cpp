// The reference for the start-up benchmark: a bare frameless 1400 x 900 window with a few labels,
// which quits once it has been painted, as the program does with TESSALY_QUIT_WHEN_SHOWN=1.
#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {
class Window : public QWidget
{
public:
    Window()
    {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        setFixedSize(1400, 900);
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(new QLabel(QStringLiteral("Tessaly软件管家"), this));
        layout->addStretch(1);
        layout->addWidget(new QLabel(QStringLiteral("用心做好每一款软件！"), this));
        layout->addWidget(new QLabel(QStringLiteral("当前版本号：8.0.0.1"), this));
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        QWidget::paintEvent(event);
        if (!m_painted) {
            m_painted = true;
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        }
    }

private:
    bool m_painted = false;
};
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Window window;
    window.show();
    return app.exec();
}
