#pragma once

#include <QObject>
#include <QString>

// The signed-in user, filled from a login answer's "data".
class User : public QObject
{
    Q_OBJECT
public:
    explicit User(QObject *parent = nullptr);

    QString nickName() const { return m_nickName; }
    void setNickName(const QString &nickName) { m_nickName = nickName; }
    QString headImgBase64() const { return m_headImgBase64; }
    void setHeadImgBase64(const QString &headImgBase64) { m_headImgBase64 = headImgBase64; }
    QString userId() const { return m_userId; }
    void setUserId(const QString &userId) { m_userId = userId; }
    QString userSystemId() const { return m_userSystemId; }
    void setUserSystemId(const QString &userSystemId) { m_userSystemId = userSystemId; }

private:
    QString m_nickName;
    QString m_headImgBase64;
    QString m_userId;
    QString m_userSystemId;
};
