#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// The designed look of a catalog tile: its style sheets, sizes and timings.
namespace TileLook {

inline constexpr char tileStyle[] = "background-color: #ffffff; border-radius: 8px;";
inline constexpr char nameStyle[] = " color: #333;";
inline constexpr char descStyle[] = "color: #666; padding: 0 10px;";
inline constexpr char installStyle[] = "QPushButton {   background-color: #2196F3;   color: white;   border: none;   "
                                       "border-radius: 4px;}QPushButton:hover {   background-color: #0b7dda;}";
inline constexpr char unInstallStyle[] =
    "QPushButton {   background-color: #e3f2fd;   color: #1976d2;   border: 1px solid #bbdefb;   "
    "border-radius: 4px;}QPushButton:hover {   background-color: #bbdefb;   "
    "border-color: #90caf9;}";
inline constexpr char statusStyle[] = "QLabel {   color: #1976d2;}";
inline constexpr char upgradeStyle[] = "QPushButton {   background-color: #4CAF50;   color: white;   border: none;   "
                                       "border-radius: 4px;}QPushButton:hover {   background-color: #45a049;}";

inline constexpr int controlHeight = 32;
inline constexpr int iconSize = 80;
inline constexpr int dotIntervalMs = 300;
inline constexpr int maxDots = 6;
inline constexpr double hoverScale = 1.03;

// A button of the tile's button row: 32 pixels high, normal font, pointing-hand cursor.
QPushButton *button(const QString &text, const char *style, const char *objectName, QWidget *parent);
// A centred label with the given font size class and style.
QLabel *label(const char *objectName, bool largeFont, const char *style, QWidget *parent);

} // namespace TileLook
