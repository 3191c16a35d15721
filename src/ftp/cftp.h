#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "platform/inet/ftpconnection.h"
#include "platform/inet/session.h"

// The program's FTP client: one Internet session, at most one FTP connection,
// and the text of the last failure. Operations report failure by their
// result and keep the text in the object; a success never clears it.
class cFTP : public QObject
{
    Q_OBJECT
public:
    static constexpr int FTP_TRANSFER_TYPE_ASCII = 1;
    static constexpr int FTP_TRANSFER_TYPE_BINARY = 2;
    static constexpr int INTERNET_FLAG_PASSIVE = 0x08000000;

    explicit cFTP(QObject *parent = nullptr);
    ~cFTP() override;

    QString GetLastErrorMessage() const;
    void CloseConnection();
    bool OpenConnection(const QString &sServer, const QString &sUser, const QString &sPassword);
    void SetTransferASCII();
    void SetTransferBinary();
    void SetModeActive();
    void SetModePassive();

    // How long any single wait on the network may take (60 s unless set).
    void SetTimeout(int milliseconds);

    bool isConnected() const { return hConnection != nullptr; }
    int transferType() const { return lTransferType; }
    int connectFlags() const { return lConnectFlags; }

private:
    void FormatTransferError(int code, const QString &label);
    void Class_Initialize();
    void Class_Terminate();

    std::unique_ptr<inet::Session> hSession;
    std::unique_ptr<inet::FtpConnection> hConnection;
    int lTransferType = FTP_TRANSFER_TYPE_ASCII;
    int lConnectFlags = 0;
    QString sLastError;
};
