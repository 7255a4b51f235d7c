#pragma once

class Sqlite3DB;

// Registers harmless stand-ins (each returns 0) on the open connection for the
// functions a phone's triggers call: delete_attachment_path/1,
// before_delete_attachment_path/2, and every other name that a trigger of the file
// calls and SQLite does not know. Without them, deleting a row of a device file fails
// with "no such function", and deleting here must never touch files outside the database.
void registerTriggerFunctions(Sqlite3DB& db);
