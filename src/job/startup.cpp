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

    // Every connection of the job is active-mode and every transfer binary:
    // the client's own default would be text transfers.
    mFTP = std::make_unique<cFTP>();
    mFTP->SetModeActive();
    mFTP->SetTransferBinary();
    // The client keeps the window alive and pauses through the desktop, and
    // tells the window how a transfer ends.
    mFTP->SetPacing([this] { mDesktop.pumpEvents(); }, [this](int ms) { mDesktop.sleep(ms); });
    connect(mFTP.get(), &cFTP::transferNote, Label11, &QLabel::setText);
    connect(mFTP.get(), &cFTP::FileTransferProgress, this, &FrmUpdate::mFTP_FileTransferProgress);

    startRecord();
    mFirstActivate = true;
}
