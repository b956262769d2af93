#include "core/app/uifont.h"

#include <QFont>
#include <QStringList>

#include <fontconfig/fontconfig.h>

// Substitutes apply only while "Microsoft YaHei" itself is missing; the first installed one wins.
void installUiFontFallback()
{
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                                QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")});
}

// Qt reads the configuration with FcInit() too, at its first font: it finds it read.
FontConfigPreload::FontConfigPreload()
    : m_thread([] { FcInit(); })
{
}

FontConfigPreload::~FontConfigPreload()
{
    wait();
}

void FontConfigPreload::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
