#pragma once

#include <QList>

class Sqlite3DB;
class ActionFrontEnd;
struct AndroidDevice;
struct _MsgMessage;

// Sends the messages to the phone through the companion app, as a step of the front end,
// recording each in the phone's cache database; a message the cache
// holds already is not sent again. The cache database's own connection is closed first, so
// that the worker's is the only one writing; it opens again on its next use. The worker
// works on its own copy of the device and shows the counts itself. False when it failed
// (it has shown why) or was cancelled.
bool sendToAndroid(AndroidDevice device, Sqlite3DB& cacheDb, const QList<_MsgMessage*>& messages,
                   ActionFrontEnd& frontEnd);
