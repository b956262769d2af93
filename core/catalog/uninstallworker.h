#pragma once

#include <QObject>
#include <QString>

// Runs the uninstall tool "tt.exe" found beside an application's uninstaller and reports its outcome.
// Meant to live in a QThread of its own: performUnInstall() blocks until the tool has exited.
// An empty or relative uninstaller path names no folder; nothing runs and the outcome is false.
class UnInstallWorker : public QObject
{
    Q_OBJECT
public:
    explicit UnInstallWorker(const QString &unInstallerPath, QObject *parent = nullptr);

signals:
    // Emitted exactly once per performUnInstall(): true only when the tool exited normally with code 0.
    void unInstallationFinished(bool success);

public slots:
    void performUnInstall();

private:
    QString m_unInstallerPath;
};
