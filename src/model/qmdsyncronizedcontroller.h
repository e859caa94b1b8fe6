#pragma once

#include "qmdglobal.h"

#include <mutex>

// Makes a controller safe for readers on other threads. Every read through
// the controller and every request, from its begin to its end, holds the data
// lock, so a reader never sees a request half done. The lock is recursive
// because a request reads the model through the controller while it holds
// the lock. The counter lock guards only the request counter and the small
// operations around it; it is taken inside the data lock, never around it.
//
// The locks are standard mutexes rather than Qt's: ThreadSanitizer sees
// through them, while Qt's mutexes lock inside an uninstrumented library.
template <class Base> class QmdSyncronizedController : public Base
{
public:
    using Base::Base;

    // For sections that read several values and must see them from one
    // state of the document.
    std::recursive_mutex &dataLock() const { return m_dataLock; }

protected:
    QmdRequestId nextRequestId() override
    {
        const std::lock_guard locker(m_counterLock);
        return Base::nextRequestId();
    }
    QmdRequestId requestCounter() const override
    {
        const std::lock_guard locker(m_counterLock);
        return Base::requestCounter();
    }
    void setRequestCounter(QmdRequestId counter) override
    {
        const std::lock_guard locker(m_counterLock);
        Base::setRequestCounter(counter);
    }
    void requestFinishedHook(QmdRequestId rid) override
    {
        const std::lock_guard locker(m_counterLock);
        Base::requestFinishedHook(rid);
    }

    void beforeReadHook() const override { m_dataLock.lock(); }
    void afterReadHook() const override { m_dataLock.unlock(); }
    void beforeRequestHook() const override { m_dataLock.lock(); }
    void afterRequestHook() const override { m_dataLock.unlock(); }

private:
    mutable std::recursive_mutex m_dataLock;
    mutable std::mutex m_counterLock;
};
