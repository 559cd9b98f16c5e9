#include "platform/dispatch/messagequeue.h"

#include <QDebug>

#include <exception>

namespace platform {

void reportEscapedException(const std::type_info& message)
{
    try {
        throw;
    } catch (const std::exception& e) {
        qDebug() << "message" << message.name() << "failed:" << e.what();
    } catch (...) {
        qDebug() << "message" << message.name() << "failed with an unknown exception";
    }
}

} // namespace platform
