// The site's wishes for the delivery of its files: how they are verified
// ("verify") and whether uploads arrive under a temporary name first
// ("uploadtemp").

#include "ftp/cftp.h"
#include "settings/settings.h"
#include "window/frmupdate.h"

void FrmUpdate::readDeliverySettings()
{
    DeliveryPolicy policy;
    const QString verify = ReadSetting(mSection, QStringLiteral("verify"), mIniFile);
    if (verify.compare(QLatin1String("hash"), Qt::CaseInsensitive) == 0)
        policy.verify = DeliveryPolicy::Verify::Hash;
    else if (isPresent(verify) && verify.compare(QLatin1String("size"), Qt::CaseInsensitive) != 0)
        warn(QStringLiteral("verify \"%1\" is neither size nor hash: files are verified by their size").arg(verify));

    const QString temporary = ReadSetting(mSection, QStringLiteral("uploadtemp"), mIniFile);
    if (temporary == QLatin1String("1"))
        policy.uploadTemporary = true;
    else if (isPresent(temporary) && temporary != QLatin1String("0"))
        warn(QStringLiteral("uploadtemp \"%1\" is neither 0 nor 1: uploads go straight to their names").arg(temporary));
    mFTP->SetDelivery(policy);
}
