#include "core/catalog/workerthread.h"

void WorkerThread::release(QObject *context)
{
    const QList<QThread *> threads = context->findChildren<QThread *>(QString(), Qt::FindDirectChildrenOnly);
    for (QThread *thread : threads) {
        if (thread->wait(0))
            continue;
        thread->setParent(nullptr);
    }
}
