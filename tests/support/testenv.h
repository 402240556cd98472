#pragma once

#include <QString>

// Points settings, the per-user data folder (errorlog.txt) and the desktop at
// fresh temporary folders, never at the real user's. Call at the start of
// initTestCase (or per test via a new call); the folders live until exit.
QString useTemporaryHome();
