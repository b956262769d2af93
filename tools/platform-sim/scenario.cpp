#include "scenario.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>

#include <utility>

namespace {

const QString kDefaultQrText = QStringLiteral("https://qr.tessaly.invalid/login?t={preLoginToken}");

bool faultKind(const QString &name, Fault::Kind *kind)
{
    static const QHash<QString, Fault::Kind> kinds = {
        {QStringLiteral("delay"), Fault::Kind::Delay},         {QStringLiteral("hang"), Fault::Kind::Hang},
        {QStringLiteral("status"), Fault::Kind::Status},       {QStringLiteral("nonJson"), Fault::Kind::NonJson},
        {QStringLiteral("wrongType"), Fault::Kind::WrongType}, {QStringLiteral("truncated"), Fault::Kind::Truncated},
        {QStringLiteral("reset"), Fault::Kind::Reset},
    };
    const auto it = kinds.constFind(name);
    if (it == kinds.constEnd())
        return false;
    *kind = it.value();
    return true;
}

bool parseFault(const QString &path, const QJsonValue &value, Fault *fault, QString *error)
{
    const QJsonObject object = value.toObject();
    if (!value.isObject() || !faultKind(object.value(QLatin1String("kind")).toString(), &fault->kind)) {
        *error = QStringLiteral("fault for %1 needs a \"kind\" of delay, hang, status, nonJson, "
                                "wrongType, truncated or reset")
                     .arg(path);
        return false;
    }
    fault->ms = object.value(QLatin1String("ms")).toInt(0);
    fault->status = object.value(QLatin1String("status")).toInt(500);
    fault->bytes = object.contains(QLatin1String("bytes"))
        ? static_cast<qint64>(object.value(QLatin1String("bytes")).toDouble(-1))
        : -1;
    fault->times = object.contains(QLatin1String("times")) ? object.value(QLatin1String("times")).toInt(-1) : -1;
    if (fault->ms < 0 || fault->status < 100 || fault->status > 599) {
        *error = QStringLiteral("fault for %1: \"ms\" must not be negative and \"status\" must be 100..599").arg(path);
        return false;
    }
    const QJsonValue body = object.value(QLatin1String("body"));
    if (body.isString()) {
        fault->body = body.toString().toUtf8();
        fault->contentType = "text/plain; charset=utf-8";
    } else if (body.isObject() || body.isArray()) {
        fault->body = body.isObject() ? QJsonDocument(body.toObject()).toJson(QJsonDocument::Compact)
                                      : QJsonDocument(body.toArray()).toJson(QJsonDocument::Compact);
        fault->contentType = "application/json; charset=utf-8";
    } else {
        fault->contentType = "text/plain; charset=utf-8";
    }
    return true;
}

bool expectType(const QJsonObject &root, const char *key, QJsonValue::Type type, QString *error)
{
    const QJsonValue value = root.value(QLatin1String(key));
    if (value.isUndefined() || value.type() == type)
        return true;
    *error = QStringLiteral("\"%1\" has the wrong JSON type").arg(QLatin1String(key));
    return false;
}

} // namespace

bool Scenario::parse(const QByteArray &json, const QString &baseDir, Scenario *out, QString *error)
{
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = QStringLiteral("not JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset);
        return false;
    }
    if (!document.isObject()) {
        *error = QStringLiteral("the scenario must be a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    if (!expectType(root, "appInit", QJsonValue::Object, error) ||
        !expectType(root, "users", QJsonValue::Array, error) || !expectType(root, "phones", QJsonValue::Array, error) ||
        !expectType(root, "qr", QJsonValue::Object, error) || !expectType(root, "faults", QJsonValue::Object, error) ||
        !expectType(root, "files", QJsonValue::Object, error))
        return false;

    Scenario scenario;
    scenario.m_hasAppInit = root.contains(QLatin1String("appInit"));
    scenario.m_appInit = root.value(QLatin1String("appInit")).toObject();
    scenario.m_users = root.value(QLatin1String("users")).toArray();
    scenario.m_phones = root.value(QLatin1String("phones")).toArray();
    scenario.m_qr = root.value(QLatin1String("qr")).toObject();

    const QJsonObject faults = root.value(QLatin1String("faults")).toObject();
    for (auto it = faults.constBegin(); it != faults.constEnd(); ++it) {
        Fault fault;
        if (!parseFault(it.key(), it.value(), &fault, error))
            return false;
        scenario.m_faults.insert(it.key(), fault);
    }

    const QJsonObject files = root.value(QLatin1String("files")).toObject();
    const QString root_ = files.value(QLatin1String("root")).toString();
    if (!root_.isEmpty())
        scenario.m_filesRoot = QDir::cleanPath(QDir(baseDir).absoluteFilePath(root_));
    const QJsonObject redirects = files.value(QLatin1String("redirects")).toObject();
    for (auto it = redirects.constBegin(); it != redirects.constEnd(); ++it)
        scenario.m_redirects.insert(it.key(), it.value().toString());
    // A byte count, or {"bytes": N, "times": K} to cut only the first K requests.
    for (const auto &[key, target] : {std::pair<const char *, QHash<QString, Cut> *>{"drops", &scenario.m_drops},
                                      {"stalls", &scenario.m_stalls}}) {
        const QJsonObject cuts = files.value(QLatin1String(key)).toObject();
        for (auto it = cuts.constBegin(); it != cuts.constEnd(); ++it) {
            Cut cut;
            const QJsonObject given = it.value().toObject();
            cut.bytes = static_cast<qint64>(it.value().isObject() ? given.value(QLatin1String("bytes")).toDouble(-1)
                                                                 : it.value().toDouble(-1));
            cut.times = given.value(QLatin1String("times")).toInt(-1);
            if (cut.bytes < 0) {
                *error = QStringLiteral("%1 for %2 needs a byte count").arg(QLatin1String(key), it.key());
                return false;
            }
            target->insert(it.key(), cut);
        }
    }
    for (const QJsonValue &path : files.value(QLatin1String("noRanges")).toArray())
        scenario.m_noRanges.insert(path.toString());
    for (const QJsonValue &path : files.value(QLatin1String("noIfRange")).toArray())
        scenario.m_noIfRange.insert(path.toString());
    const QJsonObject paces = files.value(QLatin1String("paces")).toObject();
    for (auto it = paces.constBegin(); it != paces.constEnd(); ++it) {
        const double perSecond = it.value().toDouble(0);
        if (perSecond <= 0) {
            *error = QStringLiteral("pace for %1 needs bytes per second").arg(it.key());
            return false;
        }
        scenario.m_paces.insert(it.key(), static_cast<qint64>(perSecond));
    }

    *out = scenario;
    return true;
}

QJsonObject Scenario::envelope(const QString &errorCode, const QString &errorDesc, const QJsonObject &data)
{
    return QJsonObject{
        {QStringLiteral("errorCode"), errorCode},
        {QStringLiteral("errorDesc"), errorDesc},
        {QStringLiteral("data"), data},
    };
}

QJsonObject Scenario::appInitAnswer() const
{
    return m_hasAppInit ? m_appInit : envelope(QStringLiteral("0001"), QString());
}

QJsonObject Scenario::tokenLoginAnswer(const QString &tokenId) const
{
    if (!tokenId.isEmpty()) {
        for (const QJsonValue &value : m_users) {
            const QJsonObject user = value.toObject();
            if (user.value(QLatin1String("tokens")).toArray().contains(tokenId))
                return loginSuccess(user, tokenId);
            if (user.value(QLatin1String("expiredTokens")).toArray().contains(tokenId))
                return envelope(QStringLiteral("0014"), QStringLiteral("登录已过期，请重新登录"));
        }
    }
    return envelope(QStringLiteral("0013"), QStringLiteral("token无效"));
}

QJsonObject Scenario::phoneLoginAnswer(const QString &phoneNum, const QString &verifyCode) const
{
    for (const QJsonValue &value : m_phones) {
        const QJsonObject phone = value.toObject();
        if (phone.value(QLatin1String("phoneNum")).toString() != phoneNum || phoneNum.isEmpty())
            continue;
        if (phone.value(QLatin1String("verifyCode")).toString() != verifyCode)
            break;
        const QString userId = phone.value(QLatin1String("userId")).toString();
        QJsonObject user = userById(userId);
        if (user.isEmpty())
            user.insert(QStringLiteral("userId"), userId);
        return loginSuccess(user, firstToken(user));
    }
    return envelope(QStringLiteral("0021"), QStringLiteral("验证码错误"));
}

QJsonObject Scenario::sendCodeAnswer(const QString &phoneNum) const
{
    for (const QJsonValue &value : m_phones) {
        const QJsonObject phone = value.toObject();
        if (phoneNum.isEmpty() || phone.value(QLatin1String("phoneNum")).toString() != phoneNum)
            continue;
        QJsonObject answer = envelope(QStringLiteral("0001"), QString());
        const QJsonObject configured = phone.value(QLatin1String("sendCode")).toObject();
        for (auto it = configured.constBegin(); it != configured.constEnd(); ++it)
            answer.insert(it.key(), it.value());
        return answer;
    }
    return envelope(QStringLiteral("0022"), QStringLiteral("手机号未注册"));
}

QJsonObject Scenario::qrCodeAnswer(const QString &preLoginToken) const
{
    QString text = m_qr.value(QLatin1String("text")).toString(kDefaultQrText);
    text.replace(QLatin1String("{preLoginToken}"), preLoginToken);
    return envelope(QStringLiteral("0001"), QString(), QJsonObject{{QStringLiteral("qrCode"), text}});
}

QJsonObject Scenario::qrLoginAnswer(int pollNumber) const
{
    const int pollsUntilLogin = m_qr.value(QLatin1String("pollsUntilLogin")).toInt(0);
    if (pollsUntilLogin <= 0 || pollNumber < pollsUntilLogin)
        return envelope(QStringLiteral("0030"), QStringLiteral("等待扫码"));
    const QString userId = m_qr.value(QLatin1String("userId")).toString();
    QJsonObject user = userById(userId);
    if (user.isEmpty())
        user.insert(QStringLiteral("userId"), userId);
    return loginSuccess(user, firstToken(user));
}

const Fault *Scenario::fault(const QString &path) const
{
    const auto it = m_faults.constFind(path);
    return it == m_faults.constEnd() ? nullptr : &it.value();
}

QJsonObject Scenario::userById(const QString &userId) const
{
    for (const QJsonValue &value : m_users) {
        const QJsonObject user = value.toObject();
        if (user.value(QLatin1String("userId")).toString() == userId)
            return user;
    }
    return {};
}

QJsonObject Scenario::loginSuccess(const QJsonObject &user, const QString &tokenId) const
{
    // The user's fields are copied as written, so a scenario can hand the client a value of the
    // wrong JSON type on purpose.
    QJsonObject data;
    for (const char *key : {"userId", "nickName", "headImgBase64", "userSystemId"}) {
        const QJsonValue value = user.value(QLatin1String(key));
        data.insert(QLatin1String(key), value.isUndefined() ? QJsonValue(QString()) : value);
    }
    data.insert(QStringLiteral("tokenId"), tokenId);
    return envelope(QStringLiteral("0001"), QString(), data);
}

QString Scenario::firstToken(const QJsonObject &user)
{
    return user.value(QLatin1String("tokens")).toArray().at(0).toString();
}
