// The first activation of the window: take the command from the command line
// or a prompt, let its first token switch the site, and run the job.

#include <QLineEdit>

#include "platform/blanks.h"
#include "platform/desktop.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

void FrmUpdate::Form_Activate()
{
    // Cleared first: an activation that arrives while the prompt or the job
    // is under way must not start a second job.
    if (!mFirstActivate)
        return;
    mFirstActivate = false;

    QString command = stripBlanks(mDesktop.commandLine());
    if (isBlank(command))
        command = mDesktop.prompt(QStringLiteral("Ime datoteke za prenos:"), QStringLiteral("Prenos"));
    QString jobCommand = command;
    bool switched = false;

    if (isPresent(command)) {
        const QString token = NextToken(command);
        const QString server = ReadSetting(token, QStringLiteral("FTPURL"), mIniFile);
        if (isPresent(server)) {
            switched = true;
            mSection = token;
            jobCommand = command;
            // A switched site is taken as it stands: no load defaults.
            textURL->setText(server);
            textDIR->setText(ReadSetting(mSection, QStringLiteral("ftpdir"), mIniFile));
            textLDIR->setText(ReadSetting(mSection, QStringLiteral("localdir"), mIniFile));
            mUser = ReadSetting(mSection, QStringLiteral("uporabnik"), mIniFile);
            mPassword = ReadSetting(mSection, QStringLiteral("geslo"), mIniFile);
            readSiteConnection();
            mDesktop.pumpEvents();
        } else {
            checkCommandLine(token);
        }
    }
    readDeliverySettings();
    readPauses();
    checkSite(switched);
    mDesktop.pumpEvents();
    RunJob(jobCommand);
}
