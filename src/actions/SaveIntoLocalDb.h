#pragma once

#include <QDir>
#include <QList>

class Sqlite3DB;
class ActionFrontEnd;
struct _MsgMessage;

// Writes the messages into the local database below folder through the save worker, as a
// step of the front end; messages already there are skipped. The database's own connection is
// closed first, so that the worker's is the only one writing; it opens again on next use.
// True when the worker succeeded; its failure has been shown, a cancel shows nothing.
bool saveIntoLocalDb(Sqlite3DB& db, const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd);

// The same for a database that is not there yet: the save goes into a hidden folder beside
// folder, which takes folder's name only once the messages are committed, so that a failed
// or cancelled save leaves nothing behind; a folder of that name made meanwhile fails it.
bool saveIntoNewLocalDb(const QDir& folder, const QList<_MsgMessage*>& messages, ActionFrontEnd& frontEnd);
