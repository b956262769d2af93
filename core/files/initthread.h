#pragma once

#include <QThread>

// Start-up housekeeping: empties the codec work folder beside the executable.
class InitThread : public QThread
{
    Q_OBJECT
public:
    explicit InitThread(QObject *parent);

    // The folder run() empties: the program's folder followed by "/res/codec".
    static QString codecDir();
    // Removes every entry of dir (hidden ones too) but keeps dir itself; symbolic links are not followed.
    static void emptyFolder(const QString &dir);

protected:
    void run() override;
};
