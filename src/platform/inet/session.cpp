#include "platform/inet/session.h"

#include <QCoreApplication>

#include "platform/inet/errors.h"

namespace inet {

std::unique_ptr<Session> Session::open(const QString &agent)
{
    // Qt's sockets need the application object; without it nothing of the
    // network can work, so say so now rather than at the first connect.
    if (!QCoreApplication::instance()) {
        setLastError(ErrorInternalError);
        return nullptr;
    }
    return std::unique_ptr<Session>(new Session(agent));
}

} // namespace inet
