#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// The designed look of a catalog tile: its style sheet, sizes and timings.
namespace TileLook {

// The one style sheet of the page that holds the tiles (set on the tiles' container, which is white
// behind them); tile parts are told apart by their object names.
inline constexpr char pageStyle[] =
    "QWidget#m_container { background-color: white; }"
    "QToolTip { background-color: white; border-radius: 8px; }" // a tile's tooltip
    "QLabel#statusLabel { color: #1976d2; }"
    "QPushButton#installButton { background-color: #2196F3; color: white; border: none; border-radius: 4px; }"
    "QPushButton#installButton:hover { background-color: #0b7dda; }"
    "QPushButton#upgradeButton { background-color: #4CAF50; color: white; border: none; border-radius: 4px; }"
    "QPushButton#upgradeButton:hover { background-color: #45a049; }"
    "QPushButton#unInstallButton { background-color: #e3f2fd; color: #1976d2; border: 1px solid #bbdefb; "
    "border-radius: 4px; }"
    "QPushButton#unInstallButton:hover { background-color: #bbdefb; border-color: #90caf9; }";

// The tile's name and description, which the tile paints (TileFace).
inline constexpr char nameColor[] = "#333";
inline constexpr char descriptionColor[] = "#666";
inline constexpr int descriptionPadding = 10; // on either side
inline constexpr int columnWidth = 250; // the tile's width less its margins

// The download's line under its button: accent and track of the install and the upgrade button.
inline constexpr char installAccent[] = "#2196F3";
inline constexpr char installTrack[] = "#e3f2fd";
inline constexpr char upgradeAccent[] = "#4CAF50";
inline constexpr char upgradeTrack[] = "#e8f5e9";
inline constexpr int transferHeight = 3;
inline constexpr int transferGap = 2; // between the button and its line
inline constexpr int stripeIntervalMs = 50;

inline constexpr int controlHeight = 32;
inline constexpr int textMargin = 4; // least room on either side of a control's text
inline constexpr int iconSize = 80;
inline constexpr int dotIntervalMs = 300;
inline constexpr int maxDots = 6;
inline constexpr double hoverScale = 1.03;

// A button of the tile's button row: 32 pixels high, normal font, pointing-hand cursor.
QPushButton *button(const QString &text, const char *objectName, QWidget *parent);
// A centred label of the row, in the normal font.
QLabel *label(const char *objectName, QWidget *parent);
// The width a button or label of the row needs to show `text` whole in its font: the text, the border
// and padding its style puts around it, and textMargin on either side.
int widthFor(const QWidget *control, const QString &text);

} // namespace TileLook
