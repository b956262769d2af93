#pragma once

#include "core/download/transferprogress.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QNetworkReply>
#include <QObject>
#include <QUrl>
#include <QVector>

class QFile;
class QNetworkAccessManager;
class QTimer;

// Fetches one installer into a file, and keeps at it when the connection breaks.
//
// A transfer that breaks after the server began answering (the connection drops or falls silent in
// the middle of the body, or the body ends short of its Content-Length) is taken up again after a
// pause (1 s, 2 s, 4 s): with a Range request for the rest, guarded by If-Range with the first
// answer's strong ETag or its Last-Modified date. A 206 answer with the rest of the same version is
// appended; a 200 answer (the server ignores ranges, or the file changed) starts the file again from
// zero; a 206 of another version or offset (a server that pays If-Range no heed) counts as one more
// break, after which the file is fetched again whole. Without a validator, or with an encoded body,
// there is nothing safe to resume and the file is fetched again whole. A transfer that breaks before
// any answer, an HTTP error, or one more break after the last pause ends it.
//
// With an expected SHA-256 the bytes are hashed as they are written, and a file whose hash differs
// ends as ChecksumMismatch.
class InstallerDownload : public QObject
{
    Q_OBJECT
public:
    enum Outcome { Complete, NetworkFailed, WriteFailed, ChecksumMismatch };
    Q_ENUM(Outcome)

    InstallerDownload(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~InstallerDownload() override; // aborts a running transfer; the file stays where it is

    // How long a transfer may receive nothing before it counts as broken, and the pauses before
    // each attempt to take it up again (their number is the number of attempts).
    void setStallTimeout(int ms) { m_stallMs = ms; }
    void setRetryDelays(const QVector<int> &ms) { m_retryDelaysMs = ms; }

    // Creates `filePath` and starts fetching `url` into it; `expectedSha256` is 64 hex digits or
    // empty. False when the file cannot be created (nothing is sent then).
    bool start(const QUrl &url, const QString &filePath, const QByteArray &expectedSha256 = {});

    qint64 received() const { return m_received; }

signals:
    // Four times a second while the transfer runs, and once at its start.
    void progress(const TransferProgress &progress);
    // The transfer ended; the file is closed.
    void finished(InstallerDownload::Outcome outcome);

private:
    enum Verdict { Accepted, Refused, Unfit, Unwritable };

    void send();
    Verdict acceptAnswer();
    bool writeReceived();
    void onReadyRead();
    void onReplyFinished();
    void onStalled();
    void takeUpAgain(const QString &why);
    void takeUpAgainWhole();
    bool restartFromZero();
    void reportProgress();
    void finish(Outcome outcome);
    void releaseReply();

    QNetworkAccessManager *m_network;
    QUrl m_url;
    QString m_filePath;
    QByteArray m_expectedSha256;
    QFile *m_file = nullptr;
    QNetworkReply *m_reply = nullptr;
    QTimer *m_stallTimer = nullptr;
    QTimer *m_retryTimer = nullptr;
    QTimer *m_progressTimer = nullptr;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    QElapsedTimer m_clock;
    TransferRate m_rate;
    QByteArray m_piece; // what is read from the reply and written to the file
    QByteArray m_validator; // what If-Range sends; empty when the transfer cannot be resumed
    qint64 m_received = 0;
    qint64 m_total = -1;
    qint64 m_askedFrom = 0; // the offset the reply in hand was asked for
    bool m_answerAccepted = false;
    bool m_answered = false; // the server answered this transfer with its body at least once
    int m_attempts = 0;
    int m_stallMs = 30000;
    QVector<int> m_retryDelaysMs{1000, 2000, 4000};
};
