#include "support/contextfixture.h"

#include "buildconfig.h"
#include "core/base/apppaths.h"
#include "core/platform/mycontext.h"
#include "support/testregistry.h"

#include <QCoreApplication>
#include <QEvent>
#include <QSettings>
#include <QStandardPaths>

bool ContextFixture::isolate(const QString &settingsDir, const QString &appDir)
{
    QStandardPaths::setTestModeEnabled(true);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir);
    AppPaths::setAppDirForTesting(appDir);
#ifdef Q_OS_WIN
    // The settings store is the registry, private only in the test's own registry.
    return TestRegistry::isScratch();
#else
    return MyContext::settings().fileName().startsWith(settingsDir);
#endif
}

void ContextFixture::releaseDeferred()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void ContextFixture::resetContext()
{
    MyContext::loginOut();
    MyContext::clearProductInfos();
    MyContext::lastErrorCode = QStringLiteral("-1");
    MyContext::kefuMode = QStringLiteral("1");
    MyContext::kefuUrl = QStringLiteral(TESSALY_DEFAULT_KEFU_URL);
    MyContext::supportSpecialMusicStr.clear();
    releaseDeferred();
}
