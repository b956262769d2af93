#include "widgets/catalog/softwareitemwidget.h"

#include "core/catalog/tiletexts.h"
#include "core/files/folderremoval.h"
#include "core/platform/mycontext.h"
#include "widgets/catalog/tileface.h"
#include "widgets/catalog/tilelook.h"
#include "widgets/catalog/transferbar.h"

#include <QEvent>
#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QToolTip>
#include <QVBoxLayout>

namespace {

QString progressText(TileOperations::Operation operation)
{
    switch (operation) {
    case TileOperations::Installing:
        return TileText::installing();
    case TileOperations::Upgrading:
        return TileText::upgrading();
    case TileOperations::Uninstalling:
        return TileText::unInstalling();
    case TileOperations::Launching:
        break;
    }
    return QString();
}

} // namespace

SoftwareItemWidget::SoftwareItemWidget(QWidget *parent)
    : QWidget(parent)
{
    // The controls are made when the tile's state first shows them.
    m_buttonRow = new QHBoxLayout;
    m_buttonRow->setSpacing(10);
    m_buttonRow->setContentsMargins(10, 0, 10, 0);

    m_operations = new TileOperations(this);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(15, 15, 15, 15);
    layout->addSpacing(15);
    m_face = std::make_unique<TileFace>(layout, MyContext::largeFont, MyContext::normalFont, 10, 5);
    m_face->useTileFont(font());
    layout->addStretch();
    layout->addLayout(m_buttonRow);

    connect(m_operations, &TileOperations::progressStarted, this, &SoftwareItemWidget::showProgress);
    connect(m_operations, &TileOperations::finished, this, &SoftwareItemWidget::showOutcome);
    connect(m_operations, &TileOperations::stateChanged, this, &SoftwareItemWidget::updateControls);
    connect(m_operations, &TileOperations::downloadProgress, this, &SoftwareItemWidget::showTransfer);
    // The controls come with the application's state, from setInfo().
}

SoftwareItemWidget::~SoftwareItemWidget()
{
    // The operations end before the buttons they report to.
    delete m_operations;
}

void SoftwareItemWidget::setInfo(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap,
                                 const QString &downloadUrl, const QString &pathName, bool installed, bool needUpgrade,
                                 const QString &sha256)
{
    m_face->set(zhName, zhDesc, pixmap);
    update();
    setAccessibleName(zhName);
    setAccessibleDescription(zhDesc);
    m_operations->setApplication(downloadUrl, pathName, installed, needUpgrade, sha256);
}

bool SoftwareItemWidget::launchesAt(const QPoint &pos) const
{
    return m_faceLaunches && m_face->contains(pos);
}

bool SoftwareItemWidget::removeFolder(const QString &folderPath)
{
    return ::removeFolder(folderPath);
}

void SoftwareItemWidget::setScaleFactor(double factor)
{
    m_scaleFactor = factor;
    update();
}

void SoftwareItemWidget::setDotInterval(int ms)
{
    m_dotIntervalMs = ms;
    if (m_dotTimer)
        m_dotTimer->setInterval(ms);
}

void SoftwareItemWidget::startDownload()
{
    const bool upgrade = m_operations->isInstalled() && m_operations->needsUpgrade();
    m_operations->startDownload(upgrade ? TileOperations::Upgrading : TileOperations::Installing);
}

void SoftwareItemWidget::startUnInstall()
{
    m_operations->startUnInstall();
}

void SoftwareItemWidget::updateControls()
{
    const TileControls controls = tileControls(m_operations->state());
    makeControls(controls);
    const auto set = [](QWidget *control, bool shown, bool enabled) {
        if (control) {
            control->setVisible(shown);
            control->setEnabled(enabled);
        }
    };
    set(m_installButton, controls.installShown, controls.installEnabled);
    set(m_upgradeButton, controls.upgradeShown, controls.upgradeEnabled);
    set(m_unInstallButton, controls.unInstallShown, controls.unInstallEnabled);
    set(m_statusLabel, controls.statusShown, true);
    fitButtonRow();

    // The icon, name and description of an installed application start it.
    if (controls.faceLaunches == m_faceLaunches)
        return;
    m_faceLaunches = controls.faceLaunches;
    setMouseTracking(m_faceLaunches);
    if (m_faceLaunches && underMouse() && launchesAt(mapFromGlobal(QCursor::pos())))
        setCursor(Qt::PointingHandCursor); // at once, under a pointer that does not move
    else if (!m_faceLaunches)
        unsetCursor();
}

// Most tiles only ever show one or two of the row's four controls: each is made when first shown.
void SoftwareItemWidget::makeControls(const TileControls &controls)
{
    using namespace TileLook;
    const auto make = [this](QPushButton *&button, bool shown, const QString &text, const char *name,
                             auto onClick) {
        if (button || !shown)
            return false;
        button = TileLook::button(text, name, this);
        connect(button, &QPushButton::clicked, this, onClick);
        return true;
    };
    bool made = make(m_installButton, controls.installShown, TileText::install(), "installButton",
                     [this] { m_operations->startDownload(TileOperations::Installing); });
    made |= make(m_upgradeButton, controls.upgradeShown, TileText::upgrade(), "upgradeButton",
                 [this] { m_operations->startDownload(TileOperations::Upgrading); });
    made |= make(m_unInstallButton, controls.unInstallShown, TileText::unInstall(), "unInstallButton",
                 [this] { startUnInstall(); });
    if (!m_statusLabel && controls.statusShown) {
        m_statusLabel = label("statusLabel", this);
        m_statusLabel->setText(TileText::upToDate());
        m_statusLabel->setFixedHeight(controlHeight);
        m_statusLabel->setCursor(Qt::ArrowCursor); // not the tile's pointing hand
        made = true;
    }
    if (made)
        orderButtonRow();
}

// Side by side the status label is right of the uninstall button, one above the other above it.
void SoftwareItemWidget::orderButtonRow()
{
    QBoxLayout *row = m_buttonRow;
    const bool sideBySide = row->direction() == QBoxLayout::LeftToRight;
    const QList<QWidget *> order = sideBySide
        ? QList<QWidget *>{m_installButton, m_upgradeButton, m_unInstallButton, m_statusLabel}
        : QList<QWidget *>{m_installButton, m_upgradeButton, m_statusLabel, m_unInstallButton};
    for (QWidget *control : order) {
        if (control) {
            row->removeWidget(control);
            row->addWidget(control);
        }
    }
}

QPushButton *SoftwareItemWidget::buttonFor(TileOperations::Operation operation) const
{
    switch (operation) {
    case TileOperations::Installing:
        return m_installButton;
    case TileOperations::Upgrading:
        return m_upgradeButton;
    case TileOperations::Uninstalling:
        return m_unInstallButton;
    case TileOperations::Launching:
        break;
    }
    return nullptr;
}

// The controls' widths follow their texts; a running operation's button is measured with all its
// dots, so the row stays as it is while they move. Laid out at once: no frame shows the texts in
// the row's former arrangement.
void SoftwareItemWidget::fitButtonRow()
{
    if (!testAttribute(Qt::WA_Resized))
        return; // until the tile has its size
    QBoxLayout *row = m_buttonRow;
    const QMargins margins = layout()->contentsMargins() + row->contentsMargins();
    int needed = -row->spacing();
    for (QWidget *control : QList<QWidget *>{m_installButton, m_upgradeButton, m_unInstallButton, m_statusLabel}) {
        if (!control || control->isHidden())
            continue;
        QString text = control == m_statusLabel ? m_statusLabel->text() : static_cast<QPushButton *>(control)->text();
        if (control == m_dotButton)
            text = m_dotBase + QString(TileLook::maxDots, QLatin1Char('.'));
        const int width = TileLook::widthFor(control, text);
        control->setMinimumWidth(width);
        needed += width + row->spacing();
    }
    const bool sideBySide = needed <= width() - margins.left() - margins.right();
    if (sideBySide != (row->direction() == QBoxLayout::LeftToRight)) {
        row->setDirection(sideBySide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
        orderButtonRow();
    }
    layout()->activate();
    placeTransferBar();
}

void SoftwareItemWidget::showProgress(TileOperations::Operation operation)
{
    endTransfer(); // a download's progress ends when the installer starts
    QPushButton *button = buttonFor(operation);
    if (!button)
        return;
    m_dotCount = 0;
    m_dotButton = button;
    m_dotBase = progressText(operation);
    button->setText(m_dotBase);
    if (!m_dotTimer) { // made with the first operation: most tiles never run one
        m_dotTimer = new QTimer(this);
        m_dotTimer->setInterval(m_dotIntervalMs);
        connect(m_dotTimer, &QTimer::timeout, this, &SoftwareItemWidget::updateDotAnimation);
    }
    m_dotTimer->start();
    fitButtonRow();
}

void SoftwareItemWidget::showOutcome(TileOperations::Operation operation, const QString &buttonText)
{
    endTransfer();
    if (m_dotTimer)
        m_dotTimer->stop();
    m_dotButton = nullptr;
    if (QPushButton *button = buttonFor(operation))
        button->setText(buttonText);
    fitButtonRow();
}

void SoftwareItemWidget::updateDotAnimation()
{
    if (!m_dotButton)
        return;
    m_dotCount = m_dotCount % TileLook::maxDots + 1;
    m_dotButton->setText(m_dotBase + QString(m_dotCount, QLatin1Char('.')));
}

// ---- the download's line and tooltip ----

void SoftwareItemWidget::showTransfer(const TransferProgress &progress)
{
    if (!m_dotButton || (m_dotButton != m_installButton && m_dotButton != m_upgradeButton))
        return;
    if (!m_transferBar) {
        m_transferBar = new TransferBar(this);
        m_transferBar->setObjectName(QStringLiteral("transferBar"));
    }
    const bool upgrade = m_dotButton == m_upgradeButton;
    m_transferBar->setColors(QColor(QLatin1String(upgrade ? TileLook::upgradeAccent : TileLook::installAccent)),
                             QColor(QLatin1String(upgrade ? TileLook::upgradeTrack : TileLook::installTrack)));
    m_transferBar->setProgress(progress);
    placeTransferBar();
    m_transferBar->raise();
    m_transferBar->show();
    setToolTip(transferText(progress));
    if (QToolTip::isVisible() && underMouse()) // the tooltip shown is this tile's
        QToolTip::showText(QCursor::pos(), toolTip(), this);
}

void SoftwareItemWidget::placeTransferBar()
{
    if (!m_transferBar || !m_dotButton)
        return;
    const QPoint corner = m_dotButton->mapTo(this, QPoint(0, m_dotButton->height() + TileLook::transferGap));
    m_transferBar->setGeometry(QRect(corner, QSize(m_dotButton->width(), TileLook::transferHeight)));
}

void SoftwareItemWidget::endTransfer()
{
    if (!m_transferBar || m_transferBar->isHidden())
        return;
    m_transferBar->hide();
    setToolTip(QString());
    if (QToolTip::isVisible() && underMouse())
        QToolTip::hideText();
}

// ---- hover and painting ----

void SoftwareItemWidget::makeHoverEffects()
{
    if (m_shadow)
        return;
    m_scaleAnimation = new QPropertyAnimation(this, QByteArrayLiteral("scaleFactor"), this);
    m_scaleAnimation->setDuration(200);
    m_scaleAnimation->setEasingCurve(QEasingCurve::OutQuad);
    m_shadow = new QGraphicsDropShadowEffect(this);
    m_shadow->setEnabled(false);
    setGraphicsEffect(m_shadow);
}

void SoftwareItemWidget::enterEvent(QEvent *event)
{
    makeHoverEffects();
    m_shadow->setColor(QColor(0, 0, 0, 80));
    m_shadow->setBlurRadius(25);
    m_shadow->setOffset(0, 8);
    m_shadow->setEnabled(true);
    m_scaleAnimation->stop();
    m_scaleAnimation->setStartValue(1.0);
    m_scaleAnimation->setEndValue(TileLook::hoverScale);
    m_scaleAnimation->start();
    raise();
    QWidget::enterEvent(event);
}

void SoftwareItemWidget::leaveEvent(QEvent *event)
{
    if (m_shadow) { // nothing to undo on a tile that was never hovered
        m_shadow->setEnabled(false);
        m_scaleAnimation->stop();
        m_scaleAnimation->setStartValue(m_scaleFactor);
        m_scaleAnimation->setEndValue(1.0);
        m_scaleAnimation->start();
    }
    QWidget::leaveEvent(event);
}

void SoftwareItemWidget::mouseMoveEvent(QMouseEvent *event)
{
    const bool hand = launchesAt(event->pos());
    if (hand != testAttribute(Qt::WA_SetCursor)) { // only when it changes: moves come often
        if (hand)
            setCursor(Qt::PointingHandCursor);
        else
            unsetCursor();
    }
    QWidget::mouseMoveEvent(event);
}

void SoftwareItemWidget::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && launchesAt(event->pos())) {
        m_operations->startLaunch();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

// The second press of a double click starts nothing more (QWidget would take it as a press).
void SoftwareItemWidget::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && launchesAt(event->pos())) {
        event->accept();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void SoftwareItemWidget::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_face) { // m_face: from the constructor's end on
        m_face->useTileFont(font());
        update();
    }
}

void SoftwareItemWidget::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitButtonRow();
}

namespace {

// The tile's rounded frame, drawn at the given scale about its centre.
void drawFrame(QPainter &painter, const QRect &rect, double scale)
{
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect).adjusted(1, 1, -1, -1);
    if (!qFuzzyCompare(scale, 1.0)) {
        const QPointF centre = box.center();
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
    }
    painter.setPen(QPen(QColor(QStringLiteral("#e0e0e0")), 1));
    painter.setBrush(QColor(QStringLiteral("#ffffff")));
    painter.drawRoundedRect(box, 8, 8);
}

} // namespace

void SoftwareItemWidget::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    // At rest, on the page's white, every tile's frame is the same picture: drawn once, then copied.
    // Scaled, or through the hover shadow (which paints the tile on a transparent picture), it is drawn.
    if (!qFuzzyCompare(m_scaleFactor, 1.0) || (m_shadow && m_shadow->isEnabled())) {
        painter.save();
        drawFrame(painter, rect(), m_scaleFactor);
        painter.restore();
        m_face->paint(painter, this);
        return;
    }
    // Kept in Qt's pixmap cache, which goes with the application.
    const qreal ratio = devicePixelRatioF();
    const QString key = QStringLiteral("tessaly-tile-frame-%1x%2@%3").arg(width()).arg(height()).arg(ratio);
    QPixmap frame;
    if (!QPixmapCache::find(key, &frame)) {
        frame = QPixmap(size() * ratio);
        frame.setDevicePixelRatio(ratio);
        frame.fill(Qt::white);
        QPainter framePainter(&frame);
        drawFrame(framePainter, rect(), 1.0);
        framePainter.end();
        QPixmapCache::insert(key, frame);
    }
    painter.drawPixmap(0, 0, frame);
    m_face->paint(painter, this);
}
