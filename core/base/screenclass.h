#pragma once

#include <QSize>

// The screen class picks the smaller or larger set of sizes and fonts for the whole UI.
struct ScreenClass
{
    bool isSmall = true;
    int normalFontPx = 15;
    int largeFontPx = 17;
};

// available: the primary screen's available geometry; dpi: its logical dots per inch.
ScreenClass classifyScreen(const QSize &available, qreal dpi);
