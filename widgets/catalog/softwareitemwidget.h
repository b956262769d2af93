#pragma once

#include "core/catalog/tilecontrols.h"
#include "core/catalog/tileoperations.h"
#include "widgets/catalog/tilelook.h"

#include <QPixmap>
#include <QString>
#include <QWidget>

#include <memory>

class QBoxLayout;
class QGraphicsDropShadowEffect;
class QLabel;
class QPropertyAnimation;
class QPushButton;
class QTimer;
class TileFace;
class TransferBar;

// One application of the catalog page: icon, name, description and the control that fits the
// application's state on this machine (install, upgrade, or up to date), plus an uninstall button
// on installed tiles. A press on an installed tile's icon, name or description starts the
// application. What the controls do runs in the tile's TileOperations; the tile shows it, with a
// moving row of dots on the button of the operation in progress and, while the installer downloads,
// a line under that button and the transfer in the tile's tooltip.
//
// The button row shows its controls side by side while their texts fit there together, else one
// above the other with the uninstall button at the bottom; the tile keeps its size, the stretch above
// the row gives the room.
class SoftwareItemWidget : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(double scaleFactor READ scaleFactor WRITE setScaleFactor)

public:
    explicit SoftwareItemWidget(QWidget *parent = nullptr);
    ~SoftwareItemWidget() override;

    void setInfo(const QString &zhName, const QString &zhDesc, const QPixmap &pixmap, const QString &downloadUrl,
                 const QString &pathName, bool installed, bool needUpgrade, const QString &sha256 = {});

    // Removes a download's work folder tree; true when it is gone or was never there.
    static bool removeFolder(const QString &folderPath);

    double scaleFactor() const { return m_scaleFactor; }
    void setScaleFactor(double factor);

    // The dot interval (300 ms); tests shorten it.
    void setDotInterval(int ms);

    TileOperations *operations() const { return m_operations; }
    // The icon, name and description the tile shows, and where.
    const TileFace &face() const { return *m_face; }

public slots:
    void updateDotAnimation();
    // Installs, or upgrades an installed application whose version differs.
    void startDownload();
    void startUnInstall();

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void showProgress(TileOperations::Operation operation);
    void showOutcome(TileOperations::Operation operation, const QString &buttonText);
    void showTransfer(const TransferProgress &progress);
    void updateControls();
    void makeControls(const TileControls &controls);
    void orderButtonRow();
    void fitButtonRow();
    void placeTransferBar();
    void endTransfer();
    // The shadow and the scale animation, made when the tile is first hovered.
    void makeHoverEffects();
    QPushButton *buttonFor(TileOperations::Operation operation) const;
    // Whether a press at `pos` starts the application: on its icon, name or description, once installed.
    bool launchesAt(const QPoint &pos) const;

    std::unique_ptr<TileFace> m_face;
    // The row's controls, each made when first shown.
    QPushButton *m_installButton = nullptr;
    QPushButton *m_unInstallButton = nullptr;
    QLabel *m_statusLabel = nullptr;
    QPushButton *m_upgradeButton = nullptr;
    QBoxLayout *m_buttonRow = nullptr; // in the tile's layout
    double m_scaleFactor = 1.0;
    QPropertyAnimation *m_scaleAnimation = nullptr;
    QGraphicsDropShadowEffect *m_shadow = nullptr;
    TileOperations *m_operations = nullptr;
    QTimer *m_dotTimer = nullptr;
    QPushButton *m_dotButton = nullptr; // the button of the operation in progress
    QString m_dotBase; // its text without the dots
    TransferBar *m_transferBar = nullptr; // made with the first download
    int m_dotCount = 0;
    int m_dotIntervalMs = TileLook::dotIntervalMs;
    bool m_faceLaunches = false;
};
