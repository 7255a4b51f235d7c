#pragma once

#include <QDir>
#include <QString>

// The per-user data folder and its fixed names. The base is $XDG_DATA_HOME
// (default ~/.local/share); a redirect file beside the data folder can move it.
QString defaultDataBaseDir();
// The folder the redirect file names; empty when there is no redirect file or it names no
// existing folder by an absolute path, and then *whyNot (when given) says why, or stays
// empty when there is no redirect file at all. A line break ending the file is no part of it.
QString redirectedDataBaseDir(QString* whyNot = nullptr);
// The data folder's path, computed once per process; creates nothing.
QString appDataPath();
// The data folder, created (with its parents) on every call. It holds private messages:
// it is created as its owner's alone, and closed to other users when found open to them.
// The first call logs why a redirect file present was not followed.
QDir appDataDir();
QDir localDatabasesDir();
// Writes the redirect file; false when the maker folder is missing or the write fails.
bool setDataDirRedirect(const QString& folder);

inline constexpr char makerFolderName[] = "Veltrominex";
inline constexpr char productId[] = "7D2E91C4A6B84ec3B05F1A8E39D6C2F7";
inline constexpr char localDatabasesFolderName[] = "local_databases";
