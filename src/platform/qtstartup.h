#pragma once

#include <QString>

class QCoreApplication;

// What the process settles before and right after the application object
// exists, so that it runs the same on a desktop, under cron and under a
// systemd timer, and its standard error stays the job's own.
namespace qtstartup {

// Before the application object: a display that is named but cannot be
// opened (a stale DISPLAY, a WAYLAND_DISPLAY with no compositor behind it)
// must not end the program, so the offscreen platform is always the last
// one Qt tries; with no display named it is the only one. A platform the
// user set in QT_QPA_PLATFORM is left as it is.
void choosePlatform();

// Before the application object: Qt's own warnings and notes (a missing
// XDG_RUNTIME_DIR, a platform that could not be loaded) are not for the
// scheduler's log. Set QT_LOGGING_RULES to see them.
void silenceQt();

// After the application object: the warning for a display that was named
// but not opened; empty when the window is where it was meant to be.
QString displayFallbackWarning();

// After the application object: Qt's Slovenian texts, so that the buttons of
// its dialogs speak the window's language.
void loadSlovenianTranslation(QCoreApplication &app);

} // namespace qtstartup
