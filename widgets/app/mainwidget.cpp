#include "widgets/app/mainwidget.h"

#include "core/base/productinfo.h"
#include "core/catalog/catalogfill.h"
#include "core/platform/mycontext.h"
#include "core/platform/uisize.h"
#include "widgets/catalog/commonsoftwaremainwt.h"
#include "widgets/common/windowdrag.h"
#include "widgets/shell/titlebar.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

MainWidget::MainWidget(QWidget *parent)
    : QFrame(parent)
{
    if (objectName().isEmpty())
        setObjectName(QStringLiteral("MainWidget"));
    const QSize size = UiSize::mainWindow();
    windowWidth = size.width();
    windowHeight = size.height();
    dragLeft = 0;
    dragRight = windowWidth - 100;
    dragTop = 0;
    dragBottom = 60;

    setWindowTitle(QStringLiteral("Tessaly软件管家"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint);
    activateWindow();
    setFixedSize(windowWidth, windowHeight);
    setFont(QFont(QStringLiteral("Microsoft YaHei")));
    // Style and font come before the children: every later change restyles the whole tree again.
    setStyleSheet(QStringLiteral("MainWidget{background:transparent;border:1px solid #55585C;color:#484848;}"));

    new WindowDrag(this, [this](const QPoint &pos) { return inDragBand(pos); });

    titleBar = new TitleBar(this);
    catalogPage = new CommonSoftwareMainWT(this);
    fillCatalog([this](const ProductInfo &info, const CatalogIcon &icon) {
        catalogPage->addItem(info.zhName, info.zhDesc, icon, info.pathName, info.version, info.downloadUrl, info.sha256);
    });

    QWidget *footer = buildFooter();

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(titleBar, 1);
    layout->addWidget(catalogPage, 100);
    layout->addWidget(footer, 1);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move((available.width() - windowWidth) / 2, (available.height() - windowHeight) / 2);
    }
}

MainWidget::~MainWidget() = default;

QWidget *MainWidget::buildFooter()
{
    auto *footer = new QWidget(this);
    footer->setObjectName(QStringLiteral("footer"));
    footer->setAttribute(Qt::WA_StyledBackground);
    footer->setStyleSheet(QStringLiteral("QWidget{background-color:white;}"));

    const QString labelStyle = QStringLiteral("QLabel{border:0px;color:#484848;}");
    auto *versionLabel = new QLabel(QStringLiteral("当前版本号：") + MyContext::clientVersion, footer);
    versionLabel->setObjectName(QStringLiteral("versionLabel"));
    versionLabel->setStyleSheet(labelStyle);
    versionLabel->setFont(MyContext::normalFont);
    auto *mottoLabel = new QLabel(QStringLiteral("用心做好每一款软件！"), footer);
    mottoLabel->setObjectName(QStringLiteral("mottoLabel"));
    mottoLabel->setStyleSheet(labelStyle);
    mottoLabel->setFont(MyContext::normalFont);

    auto *layout = new QHBoxLayout(footer);
    layout->setAlignment(Qt::AlignVCenter);
    layout->addWidget(mottoLabel);
    layout->addStretch(1);
    layout->addWidget(versionLabel);
    layout->setContentsMargins(15, 5, UiSize::footerMargin().width(), 5);
    return footer;
}

bool MainWidget::inDragBand(const QPoint &pos) const
{
    return dragLeft < pos.x() && pos.x() < dragRight && dragTop < pos.y() && pos.y() < dragBottom;
}
