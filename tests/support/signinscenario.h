#pragma once

#include "support/simulator.h"

#include <QString>

// The platform simulator's scenario for the sign-in tests, and reading back what the client sent.
namespace SignInScenario {

inline const QString fetchPath = QStringLiteral("/user/user/getgongzhongqrcode.html");
inline const QString pollPath = QStringLiteral("/user/user/gongzhongqrcodelogin.html");
inline const QString sendCodePath = QStringLiteral("/user/user/sendverifycode.html");
inline const QString loginPath = QStringLiteral("/user/user/phonelogin.html");
// The simulator puts each attempt's token in place of {preLoginToken}.
inline const QString qrText = QStringLiteral("https://qr.tessaly.invalid/login?t={preLoginToken}");
inline const QString knownPhone = QStringLiteral("13800000000");
inline const QString knownCode = QStringLiteral("123456");
// Its code requests are refused with "发送过于频繁，请稍后再试".
inline const QString busyPhone = QStringLiteral("13900000000");

// One user, u1 "小泰" (token "tok-1", user system "1000"), signed in by knownPhone with knownCode, or by
// an attempt's pollsUntilLogin-th QR poll (never for 0); faults by path.
inline QJsonObject scenario(int pollsUntilLogin = 0, const QJsonObject &faults = {}, const QString &text = qrText,
                            const QString &headImgBase64 = {})
{
    const QJsonObject user{{"userId", "u1"},
                           {"nickName", QStringLiteral("小泰")},
                           {"headImgBase64", headImgBase64},
                           {"userSystemId", "1000"},
                           {"tokens", QJsonArray{"tok-1"}}};
    const QJsonObject busy{
        {"phoneNum", busyPhone},
        {"verifyCode", "654321"},
        {"userId", "u1"},
        {"sendCode", QJsonObject{{"errorCode", "0023"}, {"errorDesc", QStringLiteral("发送过于频繁，请稍后再试")}}}};
    return QJsonObject{
        {"users", QJsonArray{user}},
        {"phones",
         QJsonArray{QJsonObject{{"phoneNum", knownPhone}, {"verifyCode", knownCode}, {"userId", "u1"}}, busy}},
        {"qr", QJsonObject{{"text", text}, {"pollsUntilLogin", pollsUntilLogin}, {"userId", "u1"}}},
        {"faults", faults}};
}

inline QJsonObject delayed(const QString &path, int ms)
{
    return QJsonObject{{path, QJsonObject{{"kind", "delay"}, {"ms", ms}}}};
}

// How many of the recorded requests belong to the QR sign-in attempt with this token.
inline int countWithToken(const QJsonArray &requests, const QString &token)
{
    int count = 0;
    for (const QJsonValue &request : requests)
        count += Simulator::jsonBody(request.toObject()).value(QLatin1String("preLoginToken")).toString() == token;
    return count;
}

} // namespace SignInScenario
