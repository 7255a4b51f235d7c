#pragma once

#include <QSharedPointer>

class AbsMessageDb;
class ActionFrontEnd;
struct AndroidDevice;

// Reads every message of a prepared phone into its cache database, as a step of the front
// end; the database is replaced whole. The device's country must be
// settled first: it gives the numbers their international form. False when the worker
// failed (it has shown why) or was cancelled.
bool loadAndroidMessages(AndroidDevice& device, ActionFrontEnd& frontEnd);

// The phone's cache database, upgraded to the program's own schema like a local database.
// Opens on first use; its readers throw std::exception.
QSharedPointer<AbsMessageDb> androidCacheDb(const AndroidDevice& device);
