#pragma once

#include <gtest/gtest.h>

#include "ftp/cftp.h"
#include "support/ftpserver.h"

// A cFTP logged in to a fresh test server, in the data mode the test is
// parameterised with. Nothing sleeps for real and every wait is short.
class FtpClientTest : public ::testing::TestWithParam<inet::DataMode>
{
protected:
    static constexpr int ShortTimeoutMs = 1500;

    void SetUp() override
    {
        ASSERT_TRUE(server.start(serverOptions())) << server.errorString().toStdString();
        ftp.SetTimeout(ShortTimeoutMs);
        ftp.SetPacing([] {}, [this](int ms) { sleeps.append(ms); });
        ftp.SetTransferBinary();
        if (GetParam() == inet::DataMode::Passive)
            ftp.SetModePassive();
        else
            ftp.SetModeActive();
        ASSERT_TRUE(connect()) << ftp.GetLastErrorMessage().toStdString();
    }

    virtual FtpTestServer::Options serverOptions() const { return {}; }

    bool connect()
    {
        return ftp.OpenConnection(server.address(), FtpTestServer::userName(), FtpTestServer::serverPassword());
    }

    FtpTestServer server;
    cFTP ftp;
    QList<int> sleeps;
};

inline std::string modeName(const ::testing::TestParamInfo<inet::DataMode> &info)
{
    return info.param == inet::DataMode::Passive ? "Passive" : "Active";
}

#define INSTANTIATE_FOR_BOTH_MODES(suite) \
    INSTANTIATE_TEST_SUITE_P(Modes, suite, ::testing::Values(inet::DataMode::Active, inet::DataMode::Passive), modeName)
