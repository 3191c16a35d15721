// Handing an address or a document to the desktop, which opens it with
// whatever it associates with it.

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "window/frmupdate.h"

namespace {
// The result codes of a desktop's "open" service: above 32 is success.
constexpr int Opened = 42;
constexpr int FileNotFound = 2;
constexpr int NoAssociation = 31;
} // namespace

QString FrmUpdate::RunUpdate(const QString &UpdateURL)
{
    ShellOpen(UpdateURL);
    return QString();
}

int FrmUpdate::ShellOpen(const QString &text)
{
    // An address names its scheme ("https://...", "mailto:..."); anything
    // else is a local file, by path.
    const QUrl address(text, QUrl::StrictMode);
    QUrl target;
    if (address.isValid() && address.scheme().size() > 1) {
        target = address;
    } else {
        const QFileInfo file(text);
        if (!file.exists())
            return FileNotFound;
        target = QUrl::fromLocalFile(file.absoluteFilePath());
    }
    return QDesktopServices::openUrl(target) ? Opened : NoAssociation;
}
