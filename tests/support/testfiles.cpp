#include "support/testfiles.h"

#include <QDir>

bool TestFiles::write(const QString &path, const QByteArray &content, bool executable)
{
    QFile file(path);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()) || path.endsWith(QLatin1Char('/')))
        return QFileInfo(path).isDir();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size() &&
        (!executable || file.setPermissions(file.permissions() | QFileDevice::ExeOwner));
}

QByteArray TestFiles::read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray TestFiles::fixture(const QMap<QString, QString> &config)
{
    QByteArray image = read(qEnvironmentVariable("TESSALY_FIXTURE")) + "\n##tessaly-fixture-config\n";
    for (auto it = config.cbegin(); it != config.cend(); ++it)
        image += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    return image;
}
