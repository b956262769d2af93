#include "core/files/workdir.h"

#include "core/base/logging.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

namespace {

// Candidates tried after the base; far more than downloads a person can start in one millisecond.
constexpr int maxSuffix = 1000;

QMutex s_mutex;
QSet<QString> s_held;

enum class Candidate { Claimable, Taken, Impossible };

// An empty folder (created when missing) is claimable; a folder with entries, or anything else by
// that name, is taken. A folder that cannot be created means its siblings cannot be either.
Candidate check(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return QDir().mkpath(path) ? Candidate::Claimable : Candidate::Impossible;
    if (!info.isDir() || info.isSymLink())
        return Candidate::Taken;
    return QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)
        ? Candidate::Claimable
        : Candidate::Taken;
}

} // namespace

QString uniqueWorkDir(const QString &base)
{
    if (base.isEmpty())
        return QString();
    QMutexLocker lock(&s_mutex);
    for (int n = 0; n <= maxSuffix; ++n) {
        const QString candidate = n == 0 ? base : base + QLatin1Char('_') + QString::number(n);
        if (s_held.contains(candidate))
            continue;
        const Candidate state = check(candidate);
        if (state == Candidate::Impossible)
            break;
        if (state == Candidate::Taken)
            continue;
        s_held.insert(candidate);
        return candidate;
    }
    qCWarning(lcCatalog) << "No free work folder for:" << base;
    return QString();
}

void releaseWorkDir(const QString &path)
{
    QMutexLocker lock(&s_mutex);
    s_held.remove(path);
}
