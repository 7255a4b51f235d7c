#pragma once

#include <QDir>
#include <QString>

// The per-user data folder and its fixed names. The base is $XDG_DATA_HOME
// (default ~/.local/share); a redirect file beside the data folder can move it.
QString defaultDataBaseDir();
QString redirectedDataBaseDir();
// Computed once per process, created (with its parents) on every call.
QDir appDataDir();
QDir localDatabasesDir();
// Writes the redirect file; false when the maker folder is missing or the write fails.
bool setDataDirRedirect(const QString& folder);

inline constexpr char makerFolderName[] = "Veltrominex";
inline constexpr char productId[] = "7D2E91C4A6B84ec3B05F1A8E39D6C2F7";
inline constexpr char localDatabasesFolderName[] = "local_databases";
