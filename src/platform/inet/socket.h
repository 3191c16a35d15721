#pragma once

#include <QDeadlineTimer>

#include <memory>

#include "platform/inet/result.h"
#include "platform/inet/server.h"
#include "platform/inet/wait.h"

class QHostAddress;
class QSslSocket;

// Opening TCP connections within a deadline, for the control connection and
// for passive data connections alike, and the socket an active data
// connection is made to.
namespace inet {

// What is left of the deadline, as the milliseconds Qt's waits take; 0 once
// it has passed.
int remainingMs(const QDeadlineTimer &deadline);

// Resolves the server's name and connects to the first of its addresses that
// answers, all within the deadline. Fails with ErrorTimeout,
// ErrorNameNotResolved or ErrorCannotConnect. A connection that does not
// come at once calls the hook first.
Result<std::unique_ptr<QSslSocket>> connectSocket(const ServerAddress &server, QDeadlineTimer deadline,
                                                  const WaitHook &hook = {});

// A socket listening at the address, on a port the system chooses, that
// nobody else may share; its descriptor, or -1 with errno set. For a
// QTcpServer to take over (setSocketDescriptor()).
qintptr listenOnFreePort(const QHostAddress &address, int backlog);

} // namespace inet
