#pragma once

#include <QObject>
#include <QThread>

#include <utility>

// Runs a worker (Worker, UnInstallWorker: made without parent, blocking in one slot until its child
// process has exited) on a thread of its own.
namespace WorkerThread {

// Moves `worker` to a new thread parented to `context` and invokes `perform` there. The worker's
// `finished(bool)` ends the thread, which then deletes itself and the worker, and reaches
// `onFinished` on the context's thread. The report is bound to the context: once the context is
// gone nothing is called, and a report can never reach anything but the one call it was made for.
template <typename W, typename Callback>
void start(W *worker, void (W::*perform)(), void (W::*finished)(bool), QObject *context, Callback onFinished)
{
    auto *thread = new QThread(context);
    worker->moveToThread(thread);
    QObject::connect(thread, &QThread::started, worker, perform);
    QObject::connect(worker, finished, thread, &QThread::quit, Qt::DirectConnection);
    QObject::connect(worker, finished, context, std::move(onFinished), Qt::QueuedConnection);
    QObject::connect(thread, &QThread::finished, worker, &QObject::deleteLater);
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

// For the context's destructor. A worker still waiting for its child cannot be stopped (the child, an
// installer or the user's program, is not ours to kill): its thread is let go and deletes itself, with
// the worker, once the child has exited. Threads whose worker has reported end within moments and
// are waited for.
void release(QObject *context);

} // namespace WorkerThread
