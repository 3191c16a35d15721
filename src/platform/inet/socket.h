#pragma once

#include <QDeadlineTimer>

#include <memory>

#include "platform/inet/result.h"
#include "platform/inet/server.h"

class QSslSocket;

// Opening TCP connections within a deadline, for the control connection and
// for passive data connections alike.
namespace inet {

// What is left of the deadline, as the milliseconds Qt's waits take; 0 once
// it has passed.
int remainingMs(const QDeadlineTimer &deadline);

// Resolves the server's name and connects to the first of its addresses that
// answers, all within the deadline. Fails with ErrorTimeout,
// ErrorNameNotResolved or ErrorCannotConnect.
Result<std::unique_ptr<QSslSocket>> connectSocket(const ServerAddress &server, QDeadlineTimer deadline);

} // namespace inet
