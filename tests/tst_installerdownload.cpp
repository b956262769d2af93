// Installer downloads over real HTTP from the platform simulator: broken transfers taken up again with
// Range and If-Range, servers that ignore ranges or changed the file, the SHA-256 check, the progress
// reports and their text.

#include "core/download/installerdownload.h"
#include "core/download/transferprogress.h"
#include "support/logcapture.h"
#include "support/simulator.h"
#include "support/testfiles.h"

#include <QCryptographicHash>
#include <QNetworkAccessManager>
#include <QtTest>

class InstallerDownloadTest : public QObject
{
    Q_OBJECT

    static constexpr int kWaitMs = 15000;
    static constexpr int kSize = 300000;

    QTemporaryDir m_dir;
    std::unique_ptr<Simulator> m_sim;
    QNetworkAccessManager m_network;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Bytes that differ everywhere, so a piece written twice or at the wrong place shows.
    static QByteArray served(int size, char salt = 0)
    {
        QByteArray bytes(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i)
            bytes[i] = char((i * 7 + i / 251 + salt) & 0xff);
        return bytes;
    }
    static QByteArray sha256(const QByteArray &bytes)
    {
        return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<InstallerDownload::Outcome>();
        qRegisterMetaType<TransferProgress>();
        m_sim = std::make_unique<Simulator>(QJsonObject{});
        QVERIFY(m_sim->isRunning());
    }

    void transfer_data()
    {
        QTest::addColumn<QJsonObject>("files");  // the simulator's "files" besides its root
        QTest::addColumn<QString>("hash");       // "right", "wrong" or none
        QTest::addColumn<bool>("changes");       // the file changes while the transfer waits to resume
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QStringList>("ranges"); // the Range header of each request, in order
        const QJsonObject dropOnce{{"drops", QJsonObject{{"/files/i.exe", QJsonObject{{"bytes", 100000}, {"times", 1}}}}}};
        const QJsonObject stallOnce{{"stalls", QJsonObject{{"/files/i.exe", QJsonObject{{"bytes", 100000}, {"times", 1}}}}}};
        QJsonObject ignoresRanges = dropOnce;
        ignoresRanges["noRanges"] = QJsonArray{"/files/i.exe"};
        const QJsonObject dropsAlways{{"drops", QJsonObject{{"/files/i.exe", 50000}}}};
        const int complete = InstallerDownload::Complete;
        const QStringList once{""}, resumed{"", "bytes=100000-"};
        QTest::newRow("whole") << QJsonObject{} << "" << false << complete << once;
        QTest::newRow("dropped, resumed") << dropOnce << "" << false << complete << resumed;
        QJsonObject redirected = dropOnce;
        redirected["redirects"] = QJsonObject{{"/files/r.exe", "/files/i.exe"}};
        QTest::newRow("dropped behind a redirect, resumed") << redirected << "" << false << complete << resumed;
        QTest::newRow("stalled, resumed") << stallOnce << "" << false << complete << resumed;
        QTest::newRow("dropped, resumed, hash") << dropOnce << "right" << false << complete << resumed;
        QTest::newRow("ranges ignored: again from zero") << ignoresRanges << "right" << false << complete << resumed;
        QTest::newRow("file changed: again from zero") << dropOnce << "right" << true << complete << resumed;
        QJsonObject heedless = dropOnce; // answers the range of whatever version is there
        heedless["noIfRange"] = QJsonArray{"/files/i.exe"};
        QTest::newRow("file changed, If-Range unheeded: again from zero")
            << heedless << "right" << true << complete << QStringList{"", "bytes=100000-", ""};
        QTest::newRow("dropped every time")
            << dropsAlways << "" << false << int(InstallerDownload::NetworkFailed)
            << QStringList{"", "bytes=50000-", "bytes=100000-", "bytes=150000-"};
        QTest::newRow("wrong hash") << QJsonObject{} << "wrong" << false << int(InstallerDownload::ChecksumMismatch) << once;
        QTest::newRow("HTTP 404: no second try") << QJsonObject{{"noSuchFile", true}} << "" << false
                                                 << int(InstallerDownload::NetworkFailed) << once;
    }

    // The file ends byte-identical to what was served last, however often the transfer broke; a resume
    // asks for the rest with If-Range carrying the first answer's ETag, and the hash covers each byte once.
    void transfer()
    {
        QFETCH(QJsonObject, files);
        QFETCH(QString, hash);
        QFETCH(bool, changes);
        QFETCH(int, outcome);
        QFETCH(QStringList, ranges);
        const QByteArray first = served(kSize), second = served(kSize + 1000, 1);
        const bool missing = files.take("noSuchFile").toBool();
        QVERIFY(missing ? QFile::remove(path("files/i.exe")) : TestFiles::write(path("files/i.exe"), first));
        files["root"] = path("files");
        QVERIFY(m_sim->setScenario({{"files", files}}));
        m_sim->clearRequests();

        InstallerDownload download(&m_network);
        download.setStallTimeout(300);
        download.setRetryDelays({changes ? 1000 : 10, 10, 10});
        QSignalSpy finished(&download, &InstallerDownload::finished);
        LogCapture log;
        const QByteArray expected = hash == "right" ? sha256(changes ? second : first)
                                                    : hash == "wrong" ? sha256("other") : QByteArray();
        const QString name = files.contains("redirects") ? "r.exe" : "i.exe";
        QVERIFY(download.start(QUrl(m_sim->baseUrl() + "/files/" + name), path("got.exe"), expected));
        if (changes) {
            QTRY_VERIFY_WITH_TIMEOUT(log.contains("Download broken:"), kWaitMs);
            QVERIFY(TestFiles::write(path("files/i.exe"), second));
        }
        QVERIFY(finished.wait(kWaitMs));
        QCOMPARE(finished.first().first().toInt(), outcome);
        if (outcome == InstallerDownload::Complete)
            QVERIFY(TestFiles::read(path("got.exe")) == (changes ? second : first));

        const QJsonArray requests = m_sim->requests("/files/i.exe");
        QStringList sentRanges;
        for (const QJsonValue &request : requests) {
            // Qt sends a request again when its connection closes before any answer (one the server
            // closed after a drop), so one request may be recorded twice in a row.
            const QString range = Simulator::header(request.toObject(), "Range");
            if (!sentRanges.isEmpty() && sentRanges.last() == range)
                continue;
            sentRanges << range;
            // The first answer's ETag: the served file's size and time.
            const QString ifRange = Simulator::header(request.toObject(), "If-Range");
            QVERIFY(sentRanges.last().isEmpty() ? ifRange.isEmpty() : ifRange.startsWith(QString("\"%1-").arg(kSize)));
        }
        QCOMPARE(sentRanges, ranges);
        QCOMPARE(log.count("Installer checksum mismatch:"), hash == "wrong" ? 1 : 0);
        QCOMPARE(log.count("Download resumed at byte 100000"), ranges.count("bytes=100000-"));
    }

    // A paced file reports at most four times a second, with the size and a speed near the pace; a
    // file whose size is not announced has none.
    void progressOfPacedFile()
    {
        QVERIFY(TestFiles::write(path("files/p.exe"), served(kSize)));
        QVERIFY(m_sim->setScenario({{"files", QJsonObject{{"root", path("files")}, {"paces", QJsonObject{{"/files/p.exe", 400000}}}}}}));
        InstallerDownload download(&m_network);
        QSignalSpy progress(&download, &InstallerDownload::progress);
        QSignalSpy finished(&download, &InstallerDownload::finished);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(download.start(QUrl(m_sim->baseUrl() + "/files/p.exe"), path("paced.exe")));
        QVERIFY(finished.wait(kWaitMs));
        QVERIFY(progress.count() >= 2 && progress.count() <= clock.elapsed() / 250 + 2);
        qint64 received = 0;
        double fastest = 0;
        for (const QList<QVariant> &report : progress) {
            const auto state = report.first().value<TransferProgress>();
            QVERIFY(state.received >= received && state.received <= kSize);
            QVERIFY(state.total == kSize || (state.total == -1 && state.received == 0));
            received = state.received;
            fastest = qMax(fastest, state.bytesPerSecond);
        }
        QVERIFY2(fastest > 0 && fastest < 3 * 400000, qPrintable(QString::number(fastest)));
    }

    void text_data()
    {
        QTest::addColumn<qint64>("received");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<double>("speed");
        QTest::addColumn<QString>("text");
        const qint64 mb = 1 << 20;
        QTest::newRow("size, speed, time left") << qint64(12.3 * mb) << 48 * mb << 5.2 * mb
                                                << "12.3 MB / 48.0 MB · 5.2 MB/s · 剩余 7 秒";
        QTest::newRow("no size: no time left") << 3 * mb << qint64(-1) << 1024.0 << "3.0 MB · 1.0 KB/s";
        QTest::newRow("silent: no time left") << qint64(1000) << qint64(2048) << 0.0 << "1000 B / 2.0 KB · 0 B/s";
        QTest::newRow("minutes") << qint64(0) << 125 * mb << double(mb) << "0 B / 125.0 MB · 1.0 MB/s · 剩余 2 分 5 秒";
        QTest::newRow("hours") << qint64(0) << 4 * 1024 * mb << double(mb) << "0 B / 4.0 GB · 1.0 MB/s · 剩余 1 小时 8 分";
        QTest::newRow("a byte short of a unit") << mb - 1 << mb << 0.0 << "1.0 MB / 1.0 MB · 0 B/s";
    }

    void text()
    {
        QFETCH(qint64, received);
        QFETCH(qint64, total);
        QFETCH(double, speed);
        QFETCH(QString, text);
        QCOMPARE(transferText({received, total, speed}), text);
    }

    // The speed is that of the last three seconds: a fast start is forgotten, and silence slows it to 0.
    void rateOfLastSeconds()
    {
        TransferRate rate;
        rate.add(0, 0);
        rate.add(100, 1000000);
        rate.add(4000, 1004000);
        QVERIFY(qAbs(rate.bytesPerSecond(4000) - 1025.6) < 1);
        QCOMPARE(rate.bytesPerSecond(5500), 4000.0 * (4000 - 2500) / 3900 / 3);
        QCOMPARE(rate.bytesPerSecond(7000), 0.0);
    }
};

QTEST_MAIN(InstallerDownloadTest)
#include "tst_installerdownload.moc"
