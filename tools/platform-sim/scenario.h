#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QString>

// One misbehaviour the server applies to a path instead of (or before) its normal answer.
struct Fault
{
    enum class Kind { Delay, Hang, Status, NonJson, WrongType, Truncated, Reset };

    Kind kind = Kind::Delay;
    int ms = 0; // Delay
    int status = 500; // Status
    QByteArray body; // Status: body to send
    QByteArray contentType; // Status: type of that body
    qint64 bytes = -1; // Truncated: bytes actually sent (-1: half the answer)
    int times = -1; // applies to the first `times` requests of the path; -1: to all
};

// A parsed scenario file: what the simulated platform knows and how it misbehaves. Immutable once
// parsed; the counters that change while serving (QR polls, fault hits) live in the server.
class Scenario
{
public:
    // Parses a scenario document; relative file roots are resolved against baseDir.
    // Returns false and sets *error when the document is not a usable scenario.
    static bool parse(const QByteArray &json, const QString &baseDir, Scenario *out, QString *error);

    // Answers of the platform exchanges, as complete response envelopes.
    QJsonObject appInitAnswer() const;
    QJsonObject tokenLoginAnswer(const QString &tokenId) const;
    QJsonObject phoneLoginAnswer(const QString &phoneNum, const QString &verifyCode) const;
    QJsonObject sendCodeAnswer(const QString &phoneNum) const;
    QJsonObject qrCodeAnswer(const QString &preLoginToken) const;
    // pollNumber counts the polls of one preLoginToken, starting at 1.
    QJsonObject qrLoginAnswer(int pollNumber) const;

    const Fault *fault(const QString &path) const;

    // Static files: empty root means none are served.
    QString filesRoot() const { return m_filesRoot; }
    QString redirectTarget(const QString &path) const { return m_redirects.value(path); }
    // Bytes of the answer sent before the connection is cut (drop) or falls silent (stall) for the
    // hit-th request of the path (counted from 1); -1 when it is sent whole.
    qint64 dropAfter(const QString &path, int hit) const { return m_drops.value(path).bytesFor(hit); }
    qint64 stallAfter(const QString &path, int hit) const { return m_stalls.value(path).bytesFor(hit); }
    // Whether the path answers a Range request with the part asked for (otherwise with the whole file).
    bool servesRanges(const QString &path) const { return !m_noRanges.contains(path); }
    // Whether a Range request's If-Range is heeded (otherwise the part is sent whatever the version).
    bool checksIfRange(const QString &path) const { return !m_noIfRange.contains(path); }
    // Bytes per second the path is sent at; 0 when as fast as it goes.
    qint64 paceOf(const QString &path) const { return m_paces.value(path, 0); }

    static QJsonObject envelope(const QString &errorCode, const QString &errorDesc, const QJsonObject &data = {});

private:
    QJsonObject userById(const QString &userId) const;
    QJsonObject loginSuccess(const QJsonObject &user, const QString &tokenId) const;
    static QString firstToken(const QJsonObject &user);

    QJsonObject m_appInit;
    bool m_hasAppInit = false;
    QJsonArray m_users;
    QJsonArray m_phones;
    QJsonObject m_qr;
    QHash<QString, Fault> m_faults;
    QString m_filesRoot;
    QHash<QString, QString> m_redirects;
    struct Cut
    {
        qint64 bytes = -1;
        int times = -1; // the first `times` requests only; -1: all
        qint64 bytesFor(int hit) const { return times < 0 || hit <= times ? bytes : -1; }
    };
    QHash<QString, Cut> m_drops;
    QHash<QString, Cut> m_stalls;
    QSet<QString> m_noRanges;
    QSet<QString> m_noIfRange;
    QHash<QString, qint64> m_paces;
};
