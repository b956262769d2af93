#pragma once

#include <pthread.h>

#include <csignal>
#include <functional>
#include <thread>

// SIGTERM and SIGINT are taken by one waiting thread; every other thread (a server's pool included,
// which inherits the mask) never sees them. Writes to a vanished client fail with EPIPE rather than
// end the process. Create it before any other thread.
class StopSignals
{
public:
    StopSignals()
    {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGTERM);
        sigaddset(&m_signals, SIGINT);
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        std::signal(SIGPIPE, SIG_IGN);
    }

    // Runs onStop on the waiting thread once a stop signal arrives, or wake() is called.
    void start(std::function<void()> onStop)
    {
        m_waiter = std::thread([this, onStop = std::move(onStop)] {
            int signal = 0;
            sigwait(&m_signals, &signal);
            onStop();
        });
    }
    void wake() { pthread_kill(m_waiter.native_handle(), SIGTERM); }
    void join() { m_waiter.join(); }

private:
    sigset_t m_signals;
    std::thread m_waiter;
};
