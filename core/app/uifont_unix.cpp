#include "core/app/uifont.h"

#include <QFont>
#include <QStringList>

// Substitutes apply only while "Microsoft YaHei" itself is missing; the first installed one wins.
void installUiFontFallback()
{
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                                QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")});
}
