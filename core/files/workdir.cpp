#include "core/files/workdir.h"

#include "core/base/logging.h"

#include <QDir>
#include <QFileInfo>

namespace {
// Candidates tried after the base; far more than downloads a person can start in one millisecond.
constexpr int maxSuffix = 1000;
} // namespace

QString claimWorkDir(const QString &base)
{
    if (base.isEmpty())
        return QString();
    if (QDir().mkpath(QFileInfo(base).absolutePath())) {
        for (int n = 0; n <= maxSuffix; ++n) {
            const QString candidate = n == 0 ? base : base + QLatin1Char('_') + QString::number(n);
            if (QDir().mkdir(candidate))
                return candidate;
            // Refused with nothing in the way: no sibling can be made either.
            const QFileInfo existing(candidate);
            if (!existing.exists() && !existing.isSymLink())
                break;
        }
    }
    qCWarning(lcCatalog) << "No free work folder for:" << base;
    return QString();
}
