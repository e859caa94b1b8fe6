#include "mvcbase.h"

#include <QCoreApplication>

// Hands what is posted to it to its participant.
class MvcBase::Mailbox : public QObject
{
public:
    explicit Mailbox(MvcBase *owner) : m_owner(owner) {}

    MvcBase *owner() const { return m_owner; }

    bool event(QEvent *event) override
    {
        if (event->type() >= QEvent::User && m_owner->mvcEvent(event))
            return true;
        return QObject::event(event);
    }

private:
    MvcBase *const m_owner;
};

MvcBase::MvcBase() : m_mailbox(std::make_unique<Mailbox>(this)) {}

MvcBase::~MvcBase() = default;

MvcBase *MvcBase::participant(const QObject *mailbox)
{
    const auto *box = dynamic_cast<const Mailbox *>(mailbox);
    return box ? box->owner() : nullptr;
}

void MvcBase::post(QObject *mailbox, QEvent *event)
{
    if (!mailbox) {
        delete event;
        return;
    }
    QCoreApplication::postEvent(mailbox, event);
}
