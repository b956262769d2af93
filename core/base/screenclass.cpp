#include "core/base/screenclass.h"

ScreenClass classifyScreen(const QSize &available, qreal dpi)
{
    ScreenClass result;
    result.isSmall = !(available.width() > 1600 && available.height() >= 890);
    if (result.isSmall) {
        result.normalFontPx = 15;
        result.largeFontPx = 17;
    } else if (dpi >= 144.0) {
        result.normalFontPx = 18;
        result.largeFontPx = 20;
    } else {
        result.normalFontPx = 15;
        result.largeFontPx = 18;
    }
    return result;
}
