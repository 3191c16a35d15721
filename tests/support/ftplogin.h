#pragma once

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "support/ftpserver.h"

// Logs ftp in to the test server as its one user. A failure says why, so
// that ASSERT_TRUE(logIn(ftp, server)) needs no message of its own.
inline ::testing::AssertionResult logIn(cFTP &ftp, const FtpTestServer &server)
{
    if (ftp.OpenConnection(server.address(), FtpTestServer::userName(), FtpTestServer::serverPassword()))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "cannot log in to " << server.address().toStdString() << ": "
                                         << ftp.GetLastErrorMessage().toStdString();
}
