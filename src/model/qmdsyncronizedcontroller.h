#pragma once

#include "qmdglobal.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRecursiveMutex>

// Makes a controller safe for readers on other threads. Every read through
// the controller and every request, from its begin to its end, holds the data
// lock, so a reader never sees a request half done. The lock is recursive
// because a request reads the model through the controller while it holds
// the lock. The counter lock guards only the request counter and the small
// operations around it; it is taken inside the data lock, never around it.
template <class Base> class QmdSyncronizedController : public Base
{
public:
    using Base::Base;

    // For sections that read several values and must see them from one
    // state of the document.
    QRecursiveMutex &dataLock() const { return m_dataLock; }

protected:
    QmdRequestId nextRequestId() override
    {
        QMutexLocker locker(&m_counterLock);
        return Base::nextRequestId();
    }
    QmdRequestId requestCounter() const override
    {
        QMutexLocker locker(&m_counterLock);
        return Base::requestCounter();
    }
    void setRequestCounter(QmdRequestId counter) override
    {
        QMutexLocker locker(&m_counterLock);
        Base::setRequestCounter(counter);
    }
    void requestFinishedHook(QmdRequestId rid) override
    {
        QMutexLocker locker(&m_counterLock);
        Base::requestFinishedHook(rid);
    }

    void beforeReadHook() const override { m_dataLock.lock(); }
    void afterReadHook() const override { m_dataLock.unlock(); }
    void beforeRequestHook() const override { m_dataLock.lock(); }
    void afterRequestHook() const override { m_dataLock.unlock(); }

private:
    mutable QRecursiveMutex m_dataLock;
    mutable QMutex m_counterLock;
};
