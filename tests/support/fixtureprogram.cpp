#include "support/fixtureprogram.h"

#include "support/testfiles.h"

#include <QFile>

QByteArray FixtureProgram::make(const Config &config)
{
    QByteArray image = TestFiles::read(qEnvironmentVariable("TESSALY_FIXTURE"));
    if (image.isEmpty())
        return image;
    image += "\n##tessaly-fixture-config\n";
    for (auto it = config.cbegin(); it != config.cend(); ++it)
        image += it.key().toUtf8() + '=' + it.value().toUtf8() + '\n';
    return image;
}

bool FixtureProgram::write(const QString &path, const QByteArray &content, bool executable)
{
    return !content.isEmpty() && TestFiles::write(path, content) &&
        QFile::setPermissions(path,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                  (executable ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
}
