// What the job tells the scheduler: one line on standard error for every
// problem, and for every warning once. A clean job says nothing at all.

#include <QLabel>
#include <QLineEdit>

#include "platform/desktop.h"
#include "platform/diagnostics.h"
#include "window/frmupdate.h"

void FrmUpdate::reportError(const QString &text)
{
    mWorkedAround = true;
    mRecord.errors.append(text);
    mDesktop.printDiagnostic(
        diagnostics::line(diagnostics::Kind::Error, {mSection, serverForReport(), mPassword}, text));
}

void FrmUpdate::reportFileError(const QString &source, const QString &destination, const QString &reason)
{
    reportError(diagnostics::fileText(source, destination, reason));
}

void FrmUpdate::reportProblem(const QString &windowText, const QString &errorText)
{
    Label3->setText(windowText);
    reportError(errorText);
}

void FrmUpdate::warn(const QString &text, const QString &key)
{
    const QString line = diagnostics::line(diagnostics::Kind::Warning, {mSection, serverForReport(), mPassword}, text);
    const QString once = key.isEmpty() ? line : key;
    if (mWarned.contains(once))
        return;
    mWarned.insert(once);
    mDesktop.printDiagnostic(line);
}
