#pragma once

#include <QTcpServer>

#include <memory>

#include "platform/inet/control.h"
#include "platform/inet/options.h"
#include "platform/inet/result.h"

class QSslSocket;

namespace inet {

// The data connection of one transfer or listing. Set up before the command
// that uses it (active: we listen and say where with PORT or EPRT; passive:
// the server listens, we connect), and completed after the server's
// preliminary reply (active: the server's connection is accepted).
class DataChannel
{
public:
    // Sends the commands that set up the data connection. epsvRefused
    // remembers, per control connection, a server that does not know EPSV.
    static Result<std::unique_ptr<DataChannel>> open(ControlChannel &control, DataMode mode, bool &epsvRefused);
    ~DataChannel();

    // Some servers connect as soon as they hear where (at PORT), not at the
    // transfer command: a connection that is already there is taken in now,
    // while there is time, instead of after the command. Does nothing
    // otherwise.
    void takeEarlyConnection(ControlChannel &control);

    // Waits for the data connection to be there and hands it over. While
    // waiting in active mode, a reply on the control connection (the server
    // could not connect back: 425) ends the wait and is the failure. A wait
    // that ends with no reply drops the control connection, as the server
    // may still connect or answer later. On an encrypted control
    // connection the data connection is encrypted before it is handed over.
    Result<std::unique_ptr<QSslSocket>> establish(ControlChannel &control);

private:
    class Listener;
    DataChannel() = default;

    Status openActive(ControlChannel &control);
    Status openPassive(ControlChannel &control, bool &epsvRefused);
    Result<quint16> enterPassive(ControlChannel &control, bool &epsvRefused);
    Result<std::unique_ptr<QSslSocket>> accept(ControlChannel &control);
    // The first waiting connection from peer; any other is turned away.
    std::unique_ptr<QSslSocket> takePending(const QHostAddress &peer);

    std::unique_ptr<Listener> mListener;
    // The connection itself, once there: ours (passive), or the server's
    // taken in early (active).
    std::unique_ptr<QSslSocket> mSocket;
};

} // namespace inet
