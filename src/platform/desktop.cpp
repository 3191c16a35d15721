#include "platform/desktop.h"

#include "platform/diagnostics.h"
#include "platform/pendingfiles.h"

#include <cstdlib>

Desktop::~Desktop() = default;

void Desktop::endProgram(int exitCode)
{
    // The end is immediate, but a half-downloaded file must not stay behind
    // looking like something a person could use.
    pendingfiles::removeAll();
    exitProgram(exitCode);
    // Whatever the desktop, nothing of the job may run on after its end.
    std::abort();
}

QString Desktop::settingsFile()
{
    return QString();
}

void Desktop::printDiagnostic(const QString &line)
{
    diagnostics::print(line);
}
