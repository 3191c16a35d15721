#include "platform/desktop.h"

#include "platform/diagnostics.h"

#include <cstdlib>

Desktop::~Desktop() = default;

void Desktop::endProgram(int exitCode)
{
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
