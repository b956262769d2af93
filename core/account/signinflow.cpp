#include "core/account/signinflow.h"

#include "core/account/phoneinput.h"
#include "core/account/qrrender.h"
#include "core/account/signinnotifier.h"
#include "core/base/logging.h"
#include "core/platform/mycontext.h"

#include <QPointer>
#include <QTimer>
#include <QUuid>

namespace {

SignInTiming &currentTiming()
{
    static SignInTiming timing;
    return timing;
}

} // namespace

// Counts one exchange of the flow while it waits, and marks the flow busy with it. The flow may be
// deleted before the answer arrives; the guard tells, and nothing of the flow is touched then.
class SignInFlow::Waiting
{
public:
    explicit Waiting(SignInFlow *flow, bool SignInFlow::*busy = nullptr)
        : m_flow(flow)
        , m_busy(busy)
    {
        ++flow->m_waiting;
        if (m_busy)
            flow->*m_busy = true;
    }
    ~Waiting()
    {
        if (!m_flow)
            return;
        --m_flow->m_waiting;
        if (m_busy)
            m_flow.data()->*m_busy = false;
    }
    Waiting(const Waiting &) = delete;
    Waiting &operator=(const Waiting &) = delete;

    bool flowGone() const { return m_flow.isNull(); }

private:
    QPointer<SignInFlow> m_flow;
    bool SignInFlow::*m_busy;
};

SignInFlow::SignInFlow(QObject *parent)
    : QObject(parent)
    , m_preLoginToken(MyContext::productId + QLatin1Char('_') +
                      QUuid::createUuid().toString().remove(QLatin1Char('{')).remove(QLatin1Char('}')))
    , m_timing(currentTiming())
    , m_countdownTimer(new QTimer(this))
    , m_pollTimer(new QTimer(this))
{
    m_countdownTimer->setInterval(m_timing.countdownIntervalMs);
    connect(m_countdownTimer, &QTimer::timeout, this, &SignInFlow::countdownStep);
    connect(m_pollTimer, &QTimer::timeout, this, &SignInFlow::pollQrLogin);
    connect(SignInNotifier::instance(), &SignInNotifier::signedInAfterClose, this, &SignInFlow::onSignedInAfterClose);
}

SignInFlow::~SignInFlow()
{
    qCDebug(lcAccount) << "sign-in flow released, exchanges still waiting:" << m_waiting;
}

void SignInFlow::setTiming(const SignInTiming &timing)
{
    currentTiming() = timing;
}

SignInTiming SignInFlow::timing()
{
    return currentTiming();
}

void SignInFlow::start()
{
    m_pollTimer->start(m_timing.pollIntervalMs);
    QTimer::singleShot(m_timing.firstFetchDelayMs, this, &SignInFlow::fetchQrCode);
}

void SignInFlow::fetchQrCode()
{
    // One fetch at a time: a second press while the first waits would only pile up requests.
    if (m_finished || m_fetching)
        return;
    QPointer<SignInFlow> self(this);
    emit fetchStarted();
    if (!self)
        return;

    const QString token = m_preLoginToken;
    bool ok = false;
    QString text;
    {
        Waiting waiting(this, &SignInFlow::m_fetching);
        text = MyContext::fetchQrCode(token, &ok);
        if (waiting.flowGone())
            return;
    }

    if (!ok) {
        qCWarning(lcAccount) << "qr code not fetched, the picture stays";
    } else {
        const QImage image = renderQrCode(text);
        if (!image.isNull()) {
            m_qrPicture = image;
            emit qrCodeFetched(image);
            if (!self)
                return;
        }
    }
    emit fetchEnded();
}

void SignInFlow::pollQrLogin()
{
    if (m_finished)
        return;
    if (m_waiting > 0) {
        qCDebug(lcAccount) << "qr login poll skipped, an exchange is still waiting";
        return;
    }

    const QString token = m_preLoginToken;
    bool signedIn = false;
    {
        Waiting waiting(this);
        signedIn = MyContext::qrCodeLogin(token);
        if (waiting.flowGone()) {
            if (signedIn)
                SignInNotifier::announceSignInAfterClose();
            return;
        }
    }
    if (!signedIn)
        return;
    if (m_finished)
        SignInNotifier::announceSignInAfterClose();
    else
        finishSignIn();
}

void SignInFlow::sendVerifyCode(const QString &phoneNum)
{
    if (m_finished)
        return;
    QPointer<SignInFlow> self(this);
    const QString problem = phoneInputMessage(PhoneAction::SendCode, phoneNum);
    emit messageChanged(problem);
    if (!problem.isEmpty() || !self)
        return;

    m_countdown = m_timing.countdownStart;
    m_countdownTimer->start(m_timing.countdownIntervalMs);
    emit countdownChanged(m_countdown);
    if (!self)
        return;

    QString message;
    {
        Waiting waiting(this);
        message = MyContext::sendVerifyCode(phoneNum);
        if (waiting.flowGone())
            return;
    }
    if (message.isEmpty() || m_finished)
        return;
    emit messageChanged(message);
    if (self)
        endCountdown();
}

void SignInFlow::phoneLogin(const QString &phoneNum, const QString &verifyCode)
{
    // A second press while the login waits would send the same login again.
    if (m_finished || m_loggingIn)
        return;
    QPointer<SignInFlow> self(this);
    const QString problem = phoneInputMessage(PhoneAction::Login, phoneNum, verifyCode);
    emit messageChanged(problem);
    if (!problem.isEmpty() || !self)
        return;

    QString result;
    {
        Waiting waiting(this, &SignInFlow::m_loggingIn);
        result = MyContext::phoneLogin(phoneNum, verifyCode);
        if (waiting.flowGone()) {
            if (result.isEmpty())
                SignInNotifier::announceSignInAfterClose();
            return;
        }
    }
    if (!result.isEmpty()) {
        if (!m_finished)
            emit messageChanged(result);
        return;
    }
    if (m_finished)
        SignInNotifier::announceSignInAfterClose();
    else
        finishSignIn();
}

void SignInFlow::countdownStep()
{
    m_countdown -= 1;
    QPointer<SignInFlow> self(this);
    emit countdownChanged(m_countdown);
    if (self && m_countdown < 1)
        endCountdown();
}

void SignInFlow::endCountdown()
{
    m_countdownTimer->stop();
    emit countdownEnded();
}

void SignInFlow::stop()
{
    m_finished = true;
    m_countdownTimer->stop();
    m_pollTimer->stop();
}

void SignInFlow::finishSignIn()
{
    stop();
    emit signedIn();
}

void SignInFlow::onSignedInAfterClose()
{
    if (m_finished)
        return;
    qCDebug(lcAccount) << "signed in through an earlier sign-in, this one stops";
    stop();
    emit signedInElsewhere();
}
