#pragma once

#include <QIcon>

// The window's icon: a hand holding out a tray with a yellow document on it,
// drawn in the sixteen colours of the old VGA palette at 32 and 16 pixels.
QIcon programIcon();
