// How the site connects: who opens the data connections and whether the
// connection is encrypted, whom it then trusts. Read from the site's
// section at load and at a site switch, and handed to cFTP as plain values.

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>

#include "ftp/cftp.h"
#include "platform/inet/server.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

namespace {

QString setting(const QString &section, const char *key, const QString &file)
{
    const QString value = ReadSetting(section, QString::fromLatin1(key), file);
    return isBlank(value) ? QString() : value.trimmed();
}

const char *securityName(inet::Security security)
{
    switch (security) {
    case inet::Security::ExplicitTls:
        return "explicit";
    case inet::Security::ImplicitTls:
        return "implicit";
    case inet::Security::None:
        break;
    }
    return "none";
}

std::optional<inet::Security> securityNamed(const QString &name)
{
    for (inet::Security security : {inet::Security::None, inet::Security::ExplicitTls, inet::Security::ImplicitTls}) {
        if (name.compare(QLatin1String(securityName(security)), Qt::CaseInsensitive) == 0)
            return security;
    }
    return std::nullopt;
}

} // namespace

void FrmUpdate::readSiteConnection()
{
    const QString mode = setting(mSection, "datamode", mIniFile).toLower();
    if (mode == QLatin1String("passive")) {
        mFTP->SetModePassive();
    } else if (mode == QLatin1String("auto")) {
        mFTP->SetModeAuto();
    } else {
        if (!mode.isEmpty() && mode != QLatin1String("active"))
            warn(QStringLiteral("datamode \"%1\" is not one of active, passive and auto; active is used").arg(mode));
        mFTP->SetModeActive();
    }

    // A word the program does not know must not leave a site that wanted
    // encryption in the clear, with its password: the site is not
    // connected to at all.
    mConnectRefusal.clear();
    const QString tls = setting(mSection, "tls", mIniFile);
    const std::optional<inet::Security> security = securityNamed(tls);
    if (!tls.isEmpty() && !security)
        mConnectRefusal = QStringLiteral("tls \"%1\" is not one of none, explicit and implicit; the server is not "
                                         "connected to")
                              .arg(tls);

    // A CA file named relative to the settings lies beside them.
    QString caFile = setting(mSection, "tlsca", mIniFile);
    if (!caFile.isEmpty())
        caFile = QFileInfo(mIniFile).dir().absoluteFilePath(caFile);
    const QString pin = setting(mSection, "tlspin", mIniFile);
    mFTP->SetSecurity(tls.isEmpty() ? std::nullopt : security, {caFile, pin});
    if (mConnectRefusal.isEmpty())
        checkSiteSecurity(security, !caFile.isEmpty() || !pin.isEmpty());
}

// Settings that are carried out as written but do not say what they seem
// to: a scheme that the tls key overrides, trust settings without TLS.
void FrmUpdate::checkSiteSecurity(std::optional<inet::Security> key, bool trustGiven)
{
    const std::optional<inet::Security> scheme = inet::schemeSecurity(textURL->text());
    if (key && scheme && *key != *scheme)
        warn(QStringLiteral("FTPURL \"%1\" asks for %2 TLS, but tls=%3 is used")
                 .arg(textURL->text(), QLatin1String(securityName(*scheme)), QLatin1String(securityName(*key))));
    if (trustGiven && mFTP->securityFor(textURL->text()) == inet::Security::None)
        warn(QStringLiteral("tlsca or tlspin is set, but the site does not use TLS: they are not used"));
}

QString FrmUpdate::connectionStatus(const QString &status) const
{
    return mFTP && mFTP->isEncrypted() ? status + QStringLiteral(" (TLS)") : status;
}

// A pasted URL may carry a user name and password (it is refused, but
// still names the server); the lines on standard error never show them.
QString FrmUpdate::serverWithoutCredentials() const
{
    static const QRegularExpression credentials(QStringLiteral("^(\\s*[A-Za-z]+://)[^/?#]*@"));
    return QString(textURL->text()).replace(credentials, QStringLiteral("\\1***@"));
}

QString FrmUpdate::serverForReport() const
{
    const QString shown = serverWithoutCredentials();
    if (mFTP && mFTP->securityFor(textURL->text()) != inet::Security::None)
        return shown + QStringLiteral(" (TLS)");
    return shown;
}
