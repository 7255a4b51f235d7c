#pragma once

class Sqlite3File;
class _SqlitePage;

// What a recovery reads of one page: the rows of its cells (or their payloads on other
// b-tree pages), then the records carved from its free space, for two table layouts.
void readPage(const Sqlite3File& file, const _SqlitePage& page);
