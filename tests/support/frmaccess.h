#pragma once

#include "window/frmupdate.h"

// The window's job state is private to it; tests read and set it here.
struct FrmUpdateTestAccess
{
    static QString &iniFile(FrmUpdate &f) { return f.mIniFile; }
    static QString &section(FrmUpdate &f) { return f.mSection; }
    static QString &user(FrmUpdate &f) { return f.mUser; }
    static QString &password(FrmUpdate &f) { return f.mPassword; }
    static bool &firstActivate(FrmUpdate &f) { return f.mFirstActivate; }
    static float &startTime(FrmUpdate &f) { return f.mStartTime; }
    static float &rate(FrmUpdate &f) { return f.mRate; }
};
