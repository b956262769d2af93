#include "support/fixtureprogram.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QByteArray FixtureProgram::make(const Config &config)
{
    QFile program(qEnvironmentVariable("TESSALY_FIXTURE"));
    if (!program.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray image = program.readAll() + "\n##tessaly-fixture-config\n";
    for (auto it = config.cbegin(); it != config.cend(); ++it)
        image += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    return image;
}

bool FixtureProgram::write(const QString &path, const QByteArray &content, bool executable)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return !content.isEmpty() && file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(content) == content.size() &&
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                            (executable ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
}
