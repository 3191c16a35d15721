#pragma once

#include <QDeadlineTimer>
#include <QtGlobal>

#include <functional>

class QAbstractSocket;

// Waiting on the network while a window is shown. The program waits in
// blocking calls on the window's thread, and the window cannot redraw while
// it does; so a wait that is about to last first hands the caller's hook a
// moment to show where things stand. Most waits end within a moment (a
// reply on a local network, the next packet of a fast transfer), and those
// must stay cheap: a wait first only glances, and calls the hook when the
// glance was not enough.
namespace inet {

// Called before a wait on the network that may last; empty for none.
using WaitHook = std::function<void()>;

// How long a wait looks before it counts as one that lasts: about the time
// between two passes of the window's events while a transfer runs.
constexpr int GlanceMs = 4;

// Each waits until the socket or descriptor is ready, or the deadline
// passes; true when it is ready. The Qt forms fail at once when the socket
// closes or fails, as Qt's own waits do.
[[nodiscard]] bool waitForReadyRead(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook);
[[nodiscard]] bool waitForBytesWritten(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook);

enum class Readiness { Ready, TimedOut, Failed };
// For a socket whose descriptor is read and written directly: one poll()
// for events (POLLIN or POLLOUT) of at most ms. Ready also when the socket
// has failed or closed: the next read or write says which. The caller
// glances and calls its hook itself, as the window's events may close the
// descriptor in between.
[[nodiscard]] Readiness pollDescriptor(qintptr descriptor, short events, int ms);

// Before a Qt wait that cannot be cut in two (waitForConnected() gives up
// when its time runs out): a glance at the socket's descriptor for events,
// and the hook when the glance was not enough.
void glanceBefore(qintptr descriptor, short events, const QDeadlineTimer &deadline, const WaitHook &hook);

// Closes our side of the socket, once what is still unsent has gone out,
// and waits for the close; true when the socket is closed within the
// deadline. A close that does not come at once calls the hook first.
[[nodiscard]] bool disconnectWithin(QAbstractSocket &socket, const QDeadlineTimer &deadline, const WaitHook &hook);

} // namespace inet
