#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>

#include <memory>

// The base of every participant of the settings framework: models,
// controllers and views. Each participant has a mailbox, a plain object on
// the participant's thread, and the others reach it only by posting events
// there (CEvent to a controller, MEvent to a model, VEvent to a view), so
// every notification arrives from the event loop, after the call that caused
// it has returned. Participants address each other by mailbox: a mailbox
// goes with its participant, and what is posted to one that has gone is
// dropped instead of reaching freed memory.
//
// Threads: a participant belongs to the thread that created it and is used
// on that thread only; events may be posted to it from any thread.
class MvcBase
{
public:
    MvcBase();
    virtual ~MvcBase();
    MvcBase(const MvcBase &) = delete;
    MvcBase &operator=(const MvcBase &) = delete;

    // Where the events for this participant are posted.
    QObject *mailbox() const { return m_mailbox.get(); }

    // The participant behind a mailbox; nullptr once it has gone.
    static MvcBase *participant(const QObject *mailbox);

protected:
    // Posts the event to the participant behind the mailbox, which then owns
    // it; deletes it when there is no participant.
    static void post(QObject *mailbox, QEvent *event);

    // Handles an event posted to this participant; false for an event it
    // does not know.
    virtual bool mvcEvent(QEvent *event) = 0;

private:
    class Mailbox;
    friend class Mailbox;

    std::unique_ptr<QObject> m_mailbox;
};

// The key an event is about.
class KeyContainer
{
public:
    explicit KeyContainer(const QString &key) : m_key(key) {}
    const QString &key() const { return m_key; }

private:
    QString m_key;
};

// The value an event carries.
class ValueContainer
{
public:
    explicit ValueContainer(const QVariant &value) : m_value(value) {}
    const QVariant &value() const { return m_value; }

private:
    QVariant m_value;
};

// One event type number for each event class, registered at its first use.
#define LUDRA_MVC_EVENT_TYPE                                                                       \
public:                                                                                            \
    static QEvent::Type staticType()                                                               \
    {                                                                                              \
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());                \
        return type;                                                                               \
    }
