#pragma once

// The hand-over through Qt's event system told to ThreadSanitizer: see
// qteventannotations.cpp. Only the ThreadSanitizer tree's test programs use it.

#include <QEvent>
#include <QObject>

namespace QtEventAnnotations {

// What a delivery needs to tell after the event was handled, noted before
// (the handler may delete the receiver).
struct Delivery {
    void* context = nullptr;
    const void* blockingDone = nullptr;
    QtPrivate::QSlotObjectBase* slotObject = nullptr;
};

// Called on the receiving thread around the delivery of every event.
Delivery beforeDelivery(QObject* receiver, QEvent* event);
void afterDelivery(const Delivery& delivery);

// The test main's application object: every event that Qt delivers, on any
// thread, goes through notify() while an application exists.
template <typename Application>
class AnnotatedApplication : public Application {
public:
    using Application::Application;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const Delivery delivery = beforeDelivery(receiver, event);
        const bool handled = Application::notify(receiver, event);
        afterDelivery(delivery);
        return handled;
    }
};

} // namespace QtEventAnnotations
