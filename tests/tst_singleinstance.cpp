// The whole program, run as child processes: one copy at a time, also after a copy was killed, and the
// main window shown in bounded time on a platform that never answers. Each test run has its own TMPDIR,
// which holds the keys of the named semaphore and segment, so runs do not see each other.
#include "support/simulator.h"
#include "support/testregistry.h"

#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void oneCopyAtATime();

private:
    // A copy of the program against `platform`, with the settings of m_home; one that quits when shown
    // has exit code 0 after its window's first paint.
    QProcess *startApp(const QString &platform, bool quitWhenShown);
    // Whether the program logged `text` before it ended or 20 s passed.
    bool waitForLog(QProcess *process, const QByteArray &text)
    {
        const auto logged = [&] { return m_logs.value(process).contains(text); };
        return QTest::qWaitFor([&] { return logged() || process->state() == QProcess::NotRunning; }, 20000) && logged();
    }
    // Whether the copy ended by itself with exit code 0.
    bool endsWithZero(QProcess *process)
    {
        return process->waitForFinished(20000) && process->exitStatus() == QProcess::NormalExit &&
            process->exitCode() == 0;
    }

    QTemporaryDir m_home;
    QHash<QProcess *, QByteArray> m_logs;
};

QProcess *TestSingleInstance::startApp(const QString &platform, bool quitWhenShown)
{
    auto *process = new QProcess(this); // one still running when a check failed is killed with the test
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> settings{{"TESSALY_USER_SERVICE_URL", platform},
                                                  {"TESSALY_PLATFORM_URL", platform},
                                                  {"TESSALY_HTTP_TIMEOUT_MS", "500"},
                                                  {"TESSALY_AUTO_ANSWER_NOTICES", "1"},
                                                  {"TESSALY_QUIT_WHEN_SHOWN", quitWhenShown ? "1" : "0"},
                                                  {"QT_LOGGING_RULES", "tessaly.*.debug=true"},
                                                  {"XDG_CONFIG_HOME", m_home.path()}};
    for (const auto &setting : settings)
        env.insert(setting.first, setting.second);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::readyRead, this, [this, process] { m_logs[process] += process->readAll(); });
    process->start(qEnvironmentVariable("TESSALY_APP"), QStringList());
    return process;
}

void TestSingleInstance::oneCopyAtATime()
{
    QVERIFY2(QFile::exists(qEnvironmentVariable("TESSALY_APP")), "TESSALY_APP names the program");
    QVERIFY(m_home.isValid());
    // A stored token, so that the token login runs too.
#ifdef Q_OS_WIN
    QVERIFY(TestRegistry::isScratch()); // the settings are the registry's: the test's own under Wine
    QSettings(QStringLiteral("morvanetec"), QStringLiteral("10015")).setValue("tokenId", "tok-1");
#else
    QSettings(m_home.filePath("morvanetec/10015.conf"), QSettings::IniFormat).setValue("tokenId", "tok-1");
#endif
    const QString refusing = QStringLiteral("http://127.0.0.1:9"); // keeps start-up short

    QProcess *first = startApp(refusing, false);
    QVERIFY2(waitForLog(first, "delete temp file begin"), m_logs.value(first).constData());
    // A second copy shows its notice and leaves, without a window or start-up.
    QProcess *second = startApp(refusing, false);
    QVERIFY(endsWithZero(second));
    QVERIFY2(m_logs.value(second).contains("当前程序正在运行！"), m_logs.value(second).constData());
    QVERIFY(!m_logs.value(second).contains("delete temp file begin"));
    QCOMPARE(first->state(), QProcess::Running);

    // After a kill (SIGKILL or TerminateProcess: no clean-up runs) the next copy starts. On a platform
    // that never answers it waits for app init and the token login up to their time-out, and not for
    // the log line, before showing its window.
    first->kill();
    QVERIFY(first->waitForFinished(5000));
    const QJsonObject hang{{"kind", "hang"}};
    const QString appInitPath = QStringLiteral("/user/init/appinit.html");
    const QString tokenLoginPath = QStringLiteral("/user/user/tokenlogin.html");
    Simulator silent(QJsonObject{
        {"users", QJsonArray{Simulator::user()}},
        {"faults", QJsonObject{{appInitPath, hang}, {tokenLoginPath, hang}, {"/platform/log/commonlog.html", hang}}}});
    QVERIFY(silent.isRunning());
    QProcess *next = startApp(silent.baseUrl(), true);
    QVERIFY2(endsWithZero(next), m_logs.value(next).constData());
    QVERIFY(!m_logs.value(next).contains("当前程序正在运行！"));
#ifndef Q_OS_WIN // Windows frees the segment with its owner's last handle: nothing stale is left
    QVERIFY(m_logs.value(next).contains("removed a stale single-instance segment"));
#endif
    QCOMPARE(silent.requests(appInitPath).size(), 1);
    QCOMPARE(silent.requests(tokenLoginPath).size(), 1);

    // A copy that ended normally leaves nothing behind.
    QProcess *last = startApp(refusing, true);
    QVERIFY(endsWithZero(last));
    QVERIFY2(!m_logs.value(last).contains("当前程序正在运行！") && !m_logs.value(last).contains("stale"),
             m_logs.value(last).constData());
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
