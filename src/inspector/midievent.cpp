#include "midievent.h"

#include <QGuiApplication>
#include <QInputDevice>

QEvent::Type MidiEvent::staticType()
{
    static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
    return type;
}

MidiEvent::MidiEvent(double timeStamp, const QByteArray &bytes)
    : QInputEvent(staticType(), QInputDevice::primaryKeyboard(),
                  QGuiApplication::keyboardModifiers()),
      m_timeStamp(timeStamp), m_bytes(bytes)
{
    // Unhandled unless a widget takes it, as a key press is.
    ignore();
}
