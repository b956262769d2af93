#include "core/app/uifont.h"

#include <QFont>
#include <QStringList>

#include <fontconfig/fontconfig.h>

#include <clocale>
#include <system_error>

// Substitutes apply only while "Microsoft YaHei" itself is missing; the first installed one wins.
void installUiFontFallback()
{
    QFont::insertSubstitutions(QStringLiteral("Microsoft YaHei"),
                               {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                                QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")});
}

// Qt reads the configuration with FcInit() too, at its first font: it finds it read.
FontConfigPreload::FontConfigPreload()
{
    // The application object sets the locale from the environment; set first, it does not change
    // while fontconfig reads numbers.
    std::setlocale(LC_ALL, "");
    try {
        m_thread = std::thread([] { FcInit(); });
    } catch (const std::system_error &) {
        // No thread to spare: Qt reads the configuration at its first font, as without this.
    }
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
