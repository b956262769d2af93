#include <QtTest>

// Runs the real program as child processes. Each test run has its own TMPDIR, which holds the
// keys of the named semaphore and segment, so runs do not see each other.
class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void secondCopyIsRefused();
    void startsAfterKilledCopy();

private:
    QProcess *startApp(bool quitWhenShown = false);
    // Whether the program logged `text` before it ended or 20 s passed.
    bool waitForLog(QProcess *process, const QByteArray &text)
    {
        const auto logged = [&] { return m_logs.value(process).contains(text); };
        return QTest::qWaitFor([&] { return logged() || process->state() == QProcess::NotRunning; }, 20000) && logged();
    }
    QList<QProcess *> m_processes;
    QHash<QProcess *, QByteArray> m_logs;
};

void TestSingleInstance::init()
{
    QVERIFY2(!qEnvironmentVariableIsEmpty("TESSALY_APP"), "TESSALY_APP names the program");
}

void TestSingleInstance::cleanup()
{
    for (QProcess *process : qAsConst(m_processes)) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
        delete process;
    }
    m_processes.clear();
    m_logs.clear();
}

QProcess *TestSingleInstance::startApp(bool quitWhenShown)
{
    auto *process = new QProcess;
    m_processes.append(process);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // A refused connection keeps start-up short.
    env.insert(QStringLiteral("TESSALY_USER_SERVICE_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("TESSALY_PLATFORM_URL"), QStringLiteral("http://127.0.0.1:9"));
    env.insert(QStringLiteral("TESSALY_AUTO_ANSWER_NOTICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tessaly.*.debug=true"));
    if (quitWhenShown)
        env.insert(QStringLiteral("TESSALY_QUIT_WHEN_SHOWN"), QStringLiteral("1"));
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::readyRead, this, [this, process] { m_logs[process] += process->readAll(); });
    process->start(qEnvironmentVariable("TESSALY_APP"), QStringList());
    return process;
}

void TestSingleInstance::secondCopyIsRefused()
{
    QProcess *first = startApp();
    QVERIFY2(waitForLog(first, "delete temp file begin"), m_logs.value(first).constData());

    QProcess *second = startApp();
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitStatus(), QProcess::NormalExit);
    QCOMPARE(second->exitCode(), 0);
    QVERIFY2(m_logs.value(second).contains("当前程序正在运行！"), m_logs.value(second).constData());
    QVERIFY(!m_logs.value(second).contains("delete temp file begin")); // no window, no start-up
    QCOMPARE(first->state(), QProcess::Running);
}

void TestSingleInstance::startsAfterKilledCopy()
{
    QProcess *first = startApp();
    QVERIFY2(waitForLog(first, "delete temp file begin"), m_logs.value(first).constData());
    first->kill(); // SIGKILL or TerminateProcess: no clean-up runs
    QVERIFY(first->waitForFinished(5000));

    QProcess *next = startApp(true);
    QVERIFY(next->waitForFinished(20000));
    QVERIFY2(!m_logs.value(next).contains("当前程序正在运行！"), m_logs.value(next).constData());
    QCOMPARE(next->exitCode(), 0);
    QVERIFY(m_logs.value(next).contains("delete temp file begin"));
#ifndef Q_OS_WIN // Windows frees the segment with its owner's last handle: nothing stale is left
    QVERIFY(m_logs.value(next).contains("removed a stale single-instance segment"));
#endif

    // After that copy closed, the next one starts and holds the guard again.
    QProcess *holder = startApp();
    QVERIFY2(waitForLog(holder, "delete temp file begin"), m_logs.value(holder).constData());
    QProcess *refused = startApp();
    QVERIFY(refused->waitForFinished(20000));
    QVERIFY(m_logs.value(refused).contains("当前程序正在运行！"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
