#pragma once

// Base of objects that follow one controller (a voice group, an instrument,
// a timing source, a view): holds the controller, which it does not own.
// Subclasses override setController() to connect to the new controller's
// signals and disconnect from the old one's.
template <class Controller> class QmdObserver
{
public:
    explicit QmdObserver(Controller *controller = nullptr) : m_controller(controller) {}
    virtual ~QmdObserver() = default;

    Controller *controller() const { return m_controller; }
    virtual void setController(Controller *controller) { m_controller = controller; }

protected:
    Controller *m_controller;
};
