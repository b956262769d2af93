#pragma once

#include <QFont>
#include <QList>
#include <QObject>
#include <QString>

class QSettings;
class ProductInfo;
struct ScreenClass;
class User;

// The one process-wide context: shared state, the platform exchanges and the work folders.
// Its state is static; main() creates one instance and runs init() before any window exists.
class MyContext : public QObject
{
    Q_OBJECT
public:
    explicit MyContext(QObject *parent = nullptr);

    // Start-up: screen class and fonts, built-in catalog, app init, start-up log line,
    // token login (see sendStartUpExchanges), then the housekeeping thread.
    void init();
    // init() in two halves, between which the start-up exchanges run on a thread of their own, so
    // that the caller can do other work meanwhile: beginInit() returns once they are sent,
    // endInit() waits for their answers and does the rest.
    void beginInit();
    void endInit();

    // Screen class and fonts from the primary screen (first step of init()).
    static void initScreenClass();
    // Takes the given screen class's size preset and font sizes.
    static void applyScreenClass(const ScreenClass &screenClass);

    // Catalog
    static void initDefaultProductInfos();
    static void clearProductInfos();

    // Platform exchanges; each returns once its exchange has ended.
    static void appInit();
    static void tokenLogin();
    // The exchanges of start-up: app init and, with a stored token, the token login are sent together
    // from a thread of their own (their requests are made here) by the first; the second waits for the
    // answers in local event loops, as every exchange does, and applies app init's answer, then sends
    // the log line, then applies the token login's answer.
    static void sendStartUpExchanges();
    static void finishStartUpExchanges();
    static bool qrCodeLogin(const QString &preLoginToken);
    static QString phoneLogin(const QString &phoneNum, const QString &verifyCode);
    static QString sendVerifyCode(const QString &phoneNum);
    // The text to encode as the sign-in QR code; *ok is false when the exchange failed.
    static QString fetchQrCode(const QString &preLoginToken, bool *ok = nullptr);
    // The log line is the exception: it is sent at once and its answer, when it comes, is only logged.
    static void commonLog(const QString &text);
    static bool downloadImage(const QString &url, const QString &savePath);
    static void loginOut();

    // Endpoints (build-time defaults, replaced by TESSALY_USER_SERVICE_URL / TESSALY_PLATFORM_URL).
    static QString userServiceUrl();
    static QString platformUrl();
    // Milliseconds an exchange may take before it is aborted (TESSALY_HTTP_TIMEOUT_MS, default 5000).
    static int httpTimeoutMs();

    static QString deviceInfo();
    static QString macAddress();
    static QString tempDir();
    // A new folder of its own for one download: tempDir() + "/temp_" + the local time "ddhhmmsszzz",
    // with "_1", "_2", ... appended when that name is taken. Empty when no folder could be created.
    static QString newTempWorkDir();
    static QString iconImgDir();

    static QSettings &settings();

    static const QString productId;
    static const QString channelId;
    static const QString clientVersion;
    static const QString successCode;
    static const QString loginExpiredCode;

    static QString lastErrorCode;
    static QString kefuMode;
    static QString kefuUrl;
    static QString supportSpecialMusicStr;
    static QList<ProductInfo *> productInfoList;
    static User *user;
    static bool isSmall;
    static QFont normalFont;
    static QFont largeFont;
};
