#include "core/download/installerdownload.h"

#include "core/base/logging.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

namespace {

// A bounded buffer makes the network wait for the disk instead of piling the body up in memory.
constexpr qint64 readBufferSize = 1024 * 1024;
// Writes of this size or less: much larger ones have been seen to take ten times as long in the
// kernel on some machines.
constexpr qint64 writePieceSize = 64 * 1024;
constexpr int progressIntervalMs = 250;

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isEncoded(const QNetworkReply *reply)
{
    const QByteArray encoding = reply->rawHeader(QByteArrayLiteral("Content-Encoding")).trimmed().toLower();
    return !(encoding.isEmpty() || encoding == "identity");
}

// The length the answer announces for what lands in the file; -1 when it does not say, or when the
// body is encoded and its length is not the file's.
qint64 announcedLength(const QNetworkReply *reply)
{
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    return length.isValid() && !isEncoded(reply) ? length.toLongLong() : -1;
}

// "bytes FIRST-LAST/TOTAL": FIRST and TOTAL (LAST + 1 when "*": the rest asked for ends with the file);
// false when it is not that form.
bool parseContentRange(const QByteArray &value, qint64 *first, qint64 *total)
{
    static const QRegularExpression form(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+|\\*)$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(value.trimmed()));
    if (!match.hasMatch())
        return false;
    *first = match.captured(1).toLongLong();
    *total = match.captured(3) == QLatin1String("*") ? match.captured(2).toLongLong() + 1
                                                     : match.captured(3).toLongLong();
    return true;
}

// What If-Range may carry: a strong ETag, else the Last-Modified date; empty when neither is there
// or the body is encoded (its byte offsets are not the file's).
QByteArray validatorOf(const QNetworkReply *reply)
{
    if (isEncoded(reply))
        return {};
    const QByteArray etag = reply->rawHeader(QByteArrayLiteral("ETag")).trimmed();
    if (etag.startsWith('"'))
        return etag;
    return reply->rawHeader(QByteArrayLiteral("Last-Modified")).trimmed();
}

// The address as logged: without its query (signed addresses carry their keys there) or user.
QString shown(const QUrl &url)
{
    return url.toString(QUrl::RemoveQuery | QUrl::RemoveUserInfo | QUrl::RemoveFragment);
}

} // namespace

InstallerDownload::InstallerDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , m_network(network)
{
}

InstallerDownload::~InstallerDownload()
{
    releaseReply();
    delete m_file;
}

bool InstallerDownload::start(const QUrl &url, const QString &filePath, const QByteArray &expectedSha256)
{
    m_url = url;
    m_filePath = filePath;
    m_expectedSha256 = expectedSha256.toLower();
    // Unbuffered: a failing write shows at once, not at some later flush.
    m_file = new QFile(filePath, this);
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        qCWarning(lcCatalog) << "Failed to open file for writing:" << filePath;
        delete m_file;
        m_file = nullptr;
        return false;
    }

    m_stallTimer = new QTimer(this);
    m_stallTimer->setSingleShot(true);
    m_stallTimer->setInterval(m_stallMs);
    connect(m_stallTimer, &QTimer::timeout, this, &InstallerDownload::onStalled);
    m_retryTimer = new QTimer(this);
    m_retryTimer->setSingleShot(true);
    connect(m_retryTimer, &QTimer::timeout, this, &InstallerDownload::send);
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(progressIntervalMs);
    connect(m_progressTimer, &QTimer::timeout, this, &InstallerDownload::reportProgress);

    m_clock.start();
    m_rate.add(0, 0);
    m_progressTimer->start();
    send();
    reportProgress();
    return true;
}

void InstallerDownload::send()
{
    QNetworkRequest request(m_url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    m_askedFrom = m_received > 0 && !m_validator.isEmpty() ? m_received : 0;
    if (m_askedFrom > 0) {
        request.setRawHeader(QByteArrayLiteral("Range"), "bytes=" + QByteArray::number(m_askedFrom) + '-');
        request.setRawHeader(QByteArrayLiteral("If-Range"), m_validator);
        qCInfo(lcCatalog) << "Download resumed at byte" << m_askedFrom << "of" << m_total << ":" << shown(m_url);
    } else if (m_received > 0 && !restartFromZero()) {
        finish(WriteFailed);
        return;
    }
    m_answerAccepted = false;
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(readBufferSize);
    // Only the reply in hand is connected; releaseReply() cuts it off before anything else comes.
    connect(m_reply, &QNetworkReply::readyRead, this, &InstallerDownload::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &InstallerDownload::onReplyFinished);
    connect(m_reply, &QNetworkReply::metaDataChanged, m_stallTimer, qOverload<>(&QTimer::start));
    m_stallTimer->start();
}

bool InstallerDownload::restartFromZero()
{
    qCInfo(lcCatalog) << "Download starts again from zero:" << shown(m_url);
    // What stayed behind a shorter new body would go unnoticed by the hash.
    if (!m_file->resize(0) || !m_file->seek(0)) {
        qCWarning(lcCatalog) << "Failed to write file:" << m_filePath << m_file->errorString();
        return false;
    }
    m_hash.reset();
    m_received = 0;
    m_rate.reset();
    m_rate.add(m_clock.elapsed(), 0);
    return true;
}

// Checks the answer before its first byte is written: a plain request takes a success; a resume takes
// a 206 with the rest of the same version of the file, or a 200 that replaces the whole file. A 206
// that is not that (another offset, another version from a server that pays If-Range no heed, an
// encoded body) is Unfit: the file is fetched again whole.
InstallerDownload::Verdict InstallerDownload::acceptAnswer()
{
    if (m_answerAccepted)
        return Accepted;
    const int status = httpStatus(m_reply);
    if (status >= 300 || m_reply->error() != QNetworkReply::NoError)
        return Refused;
    if (m_askedFrom > 0 && status == 206) {
        qint64 first = -1;
        qint64 total = -1;
        const QByteArray version = m_reply->rawHeader(m_validator.startsWith('"') ? QByteArrayLiteral("ETag")
                                                                                  : QByteArrayLiteral("Last-Modified"));
        if (!parseContentRange(m_reply->rawHeader(QByteArrayLiteral("Content-Range")), &first, &total) ||
            first != m_askedFrom || isEncoded(m_reply) || (!version.isEmpty() && version.trimmed() != m_validator))
            return Unfit;
        m_total = total;
    } else {
        // The server sent the whole file where the rest was asked for.
        if (m_received > 0 && !restartFromZero())
            return Unwritable;
        m_total = announcedLength(m_reply);
        m_validator = validatorOf(m_reply);
    }
    m_answerAccepted = true;
    m_answered = true;
    return Accepted;
}

bool InstallerDownload::writeReceived()
{
    if (m_piece.isEmpty())
        m_piece.resize(writePieceSize);
    while (m_reply->bytesAvailable() > 0) {
        const qint64 size = m_reply->read(m_piece.data(), m_piece.size());
        if (size <= 0)
            break;
        if (m_file->write(m_piece.constData(), size) != size) {
            qCWarning(lcCatalog) << "Failed to write file:" << m_filePath << m_file->errorString();
            return false;
        }
        if (!m_expectedSha256.isEmpty())
            m_hash.addData(m_piece.constData(), int(size));
        m_received += size;
    }
    return true;
}

void InstallerDownload::onReadyRead()
{
    m_stallTimer->start();
    switch (acceptAnswer()) {
    case Accepted:
        break;
    case Refused: // an error page: nothing of it goes into the file, and the reply's end decides
        m_reply->readAll();
        return;
    case Unfit:
        takeUpAgainWhole();
        return;
    case Unwritable:
        finish(WriteFailed);
        return;
    }
    // A file that cannot take the data (disk full, folder gone) ends the download.
    if (!writeReceived())
        finish(WriteFailed);
}

void InstallerDownload::onReplyFinished()
{
    m_stallTimer->stop();
    const Verdict verdict = acceptAnswer();
    if (verdict == Unfit) {
        takeUpAgainWhole();
        return;
    }
    const bool accepted = verdict == Accepted;
    if (verdict == Unwritable || (accepted && !writeReceived())) {
        finish(WriteFailed);
        return;
    }
    const QNetworkReply::NetworkError error = m_reply->error();
    const int status = httpStatus(m_reply);
    if (accepted && error == QNetworkReply::NoError) {
        // A connection cut short can end without an error. Only a shortfall counts: after a
        // redirect Qt has been seen (under Wine) to report the redirect's own length, 0, for a body
        // that arrived whole.
        if (m_total >= 0 && m_received < m_total) {
            takeUpAgain(QStringLiteral("cut short"));
            return;
        }
        if (!m_expectedSha256.isEmpty()) {
            const QByteArray actual = m_hash.result().toHex();
            if (actual != m_expectedSha256) {
                qCWarning(lcCatalog) << "Installer checksum mismatch:"
                                     << "expected" << m_expectedSha256 << "actual" << actual;
                finish(ChecksumMismatch);
                return;
            }
        }
        finish(Complete);
        return;
    }
    // A broken connection (no HTTP status, or one that was fine) is taken up again once the server
    // has answered this transfer; refusals and HTTP errors end it.
    if (m_answered && (status == 0 || accepted) && error != QNetworkReply::NoError) {
        takeUpAgain(QStringLiteral("dropped (%1)").arg(m_reply->errorString()));
        return;
    }
    qCWarning(lcCatalog) << "Download error:" << error << m_reply->errorString();
    finish(NetworkFailed);
}

void InstallerDownload::onStalled()
{
    const QString why = QStringLiteral("stalled (nothing received for %1 ms)").arg(m_stallTimer->interval());
    if (m_answered) {
        takeUpAgain(why);
        return;
    }
    qCWarning(lcCatalog).noquote() << "Download error:" << why;
    finish(NetworkFailed);
}

void InstallerDownload::takeUpAgain(const QString &why)
{
    releaseReply();
    if (m_attempts >= m_retryDelaysMs.size()) {
        qCWarning(lcCatalog).noquote() << "Download error:" << why << "at byte" << m_received << "of" << m_total
                                       << "after" << m_attempts << "attempts to resume";
        finish(NetworkFailed);
        return;
    }
    const int delay = m_retryDelaysMs.at(m_attempts++);
    qCWarning(lcCatalog).noquote() << "Download broken:" << why << "at byte" << m_received << "of" << m_total
                                   << "- taken up again in" << delay << "ms";
    m_retryTimer->start(delay);
}

void InstallerDownload::takeUpAgainWhole()
{
    m_validator.clear(); // so the next request asks for the whole file
    takeUpAgain(QStringLiteral("the resumed answer is not the rest of the file (%1)")
                    .arg(QString::fromLatin1(m_reply->rawHeader(QByteArrayLiteral("Content-Range")).left(80))));
}

void InstallerDownload::reportProgress()
{
    const qint64 now = m_clock.elapsed();
    m_rate.add(now, m_received);
    TransferProgress state;
    state.received = m_received;
    state.total = m_total;
    state.bytesPerSecond = m_rate.bytesPerSecond(now);
    emit progress(state);
}

void InstallerDownload::finish(Outcome outcome)
{
    releaseReply();
    m_stallTimer->stop();
    m_retryTimer->stop();
    m_progressTimer->stop();
    m_file->close();
    emit finished(outcome);
}

void InstallerDownload::releaseReply()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    if (!reply)
        return;
    // Aborting emits the reply's signals at once; they must not come back here.
    disconnect(reply, nullptr, this, nullptr);
    disconnect(reply, nullptr, m_stallTimer, nullptr);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}
