// Loading the window: find the settings beside the executable, read the
// selected site into the window, and create the one FTP client.

#include <QLabel>
#include <QLineEdit>

#include "ftp/cftp.h"
#include "platform/desktop.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

namespace {
const QString SettingsFileName = QStringLiteral("quelmo.ini");
// Where a site that names no server is sent: this machine.
const QString DefaultServer = QStringLiteral("127.0.0.1");
const QString DefaultUser = QStringLiteral("quelmo");
const QString DefaultPassword = QStringLiteral("zelkar");
} // namespace

void FrmUpdate::Form_Load()
{
    const QString programDir = mDesktop.programDirectory();
    // One installed program serves many jobs, each with its own settings;
    // the program's folder stays the default local folder all the same.
    mIniFile = mDesktop.settingsFile();
    if (mIniFile.isEmpty())
        mIniFile = programDir + QLatin1Char('/') + SettingsFileName;
    checkSettingsFile();
    mUser = DefaultUser;
    mPassword = DefaultPassword;

    mSection = ReadSetting(QStringLiteral("PROGRAM"), QStringLiteral("IZBRANO"), mIniFile);

    textURL->setText(ReadSetting(mSection, QStringLiteral("FTPURL"), mIniFile));
    if (isBlank(textURL->text()))
        textURL->setText(DefaultServer);
    textDIR->setText(ReadSetting(mSection, QStringLiteral("ftpdir"), mIniFile));
    textLDIR->setText(ReadSetting(mSection, QStringLiteral("localdir"), mIniFile));

    mUser = ReadSetting(mSection, QStringLiteral("uporabnik"), mIniFile);
    if (isBlank(mUser))
        mUser = DefaultUser;
    mPassword = ReadSetting(mSection, QStringLiteral("geslo"), mIniFile);
    if (isBlank(mPassword))
        mPassword = DefaultPassword;

    if (isBlank(textLDIR->text()))
        textLDIR->setText(programDir + QLatin1Char('/'));

    // Every transfer of the job is binary: the client's own default would be
    // text transfers. Connections are active-mode unless the site says
    // otherwise.
    mFTP = std::make_unique<cFTP>();
    readSiteConnection();
    mFTP->SetTransferBinary();
    // The client keeps the window alive, pauses as the job does, lets the
    // window show where things stand before it waits on the network, and
    // tells the window how a transfer goes: its progress as a direct call,
    // as that comes with every block.
    mFTP->SetPacing([this](int times) { mDesktop.pumpEvents(times); }, [this](int ms) { pause(ms); },
                    [this] { showState(); });
    mFTP->SetPauseWith([this](int ms, const std::function<void()> &meanwhile) { pause(ms, meanwhile); });
    mFTP->SetProgressHandler([this](qint64 current, qint64 total) { mFTP_FileTransferProgress(current, total); });
    connect(mFTP.get(), &cFTP::transferNote, Label11, &QLabel::setText);
    connect(mFTP.get(), &cFTP::notice, this, [this](const QString &text) { warn(text, QStringLiteral("datamode")); });

    startRecord();
    mFirstActivate = true;
}
