#pragma once

#include <QDeadlineTimer>
#include <QTcpServer>

#include <memory>

#include "platform/inet/control.h"

class QSslSocket;

namespace inet {

enum class DataMode;

// The data connection of one transfer or listing. Set up before the command
// that uses it (active: we listen and say where with PORT or EPRT; passive:
// the server listens, we connect), and completed after the server's
// preliminary reply (active: the server's connection is accepted).
class DataChannel
{
public:
    // Sends the commands that set up the data connection. epsvRefused
    // remembers, per control connection, a server that does not know EPSV.
    static std::unique_ptr<DataChannel> open(ControlChannel &control, DataMode mode, bool &epsvRefused);
    ~DataChannel();

    // Waits for the data connection to be there. While waiting in active
    // mode, a reply on the control connection (the server could not connect
    // back) ends the wait: it is read into reply and false is returned.
    bool establish(ControlChannel &control, Reply &reply, bool &replyRead);

    // The connected data socket; valid after establish().
    std::unique_ptr<QSslSocket> takeSocket();

private:
    class Listener;
    DataChannel() = default;

    bool openActive(ControlChannel &control);
    bool openPassive(ControlChannel &control, bool &epsvRefused);

    std::unique_ptr<Listener> mListener;
    std::unique_ptr<QSslSocket> mSocket;
};

} // namespace inet
