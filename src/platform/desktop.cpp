#include "platform/desktop.h"

#include "platform/diagnostics.h"
#include "platform/pendingfiles.h"

#include <cstdlib>
#include <utility>

void Desktop::pauseAfter(int ms, const std::function<void()> &first)
{
    first();
    sleep(ms);
}

Desktop::~Desktop() = default;

void Desktop::endProgram(int exitCode)
{
    // The end is immediate, but a half-downloaded file must not stay behind
    // looking like something a person could use.
    pendingfiles::removeAll();
    // Taken out first: whatever the hook does, it runs only once.
    if (const EndHook hook = std::exchange(mEndHook, nullptr))
        exitCode = hook(exitCode);
    exitProgram(exitCode);
    // Whatever the desktop, nothing of the job may run on after its end.
    std::abort();
}

void Desktop::setEndHook(EndHook hook)
{
    mEndHook = std::move(hook);
}

QString Desktop::settingsFile()
{
    return QString();
}

QString Desktop::jsonLogFile()
{
    return QString();
}

void Desktop::printDiagnostic(const QString &line)
{
    diagnostics::print(line);
}
