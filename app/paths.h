#pragma once

#include <QString>

// The folder of the optional "HAND-M.CUR", "x/o.cjs" and "Pictures/..." files:
// the executable's folder unless a test points it elsewhere.
QString programFolder();
void setProgramFolder(const QString &folder);

// Where errorlog.txt is appended: the per-user data folder.
QString errorLogPath();

// True when the path names anything that exists (a folder counts); every
// failure, an empty path included, gives False.
bool FileExists(const QString &path);
