#pragma once

#include <QString>
#include <QtGlobal>

// Total size of the files (not folders) matching a pattern such as folder + "*.mp3";
// sub-folders are not entered. Names match without regard to case, and a pattern ending
// in ".*" also matches names without a dot ("*.*" is every file), as on Windows.
qint64 FolderSize(const QString& pattern);

// Makes sure a folder exists, creating missing parents. Succeeds only when the path ends
// up being a folder: a file of that name is a failure. "\" is taken as a separator too.
bool EnsureFolder(const QString& path);
