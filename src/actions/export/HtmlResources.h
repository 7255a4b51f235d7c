#pragma once

class QDir;
class WrittenPaths;

// Puts the images an HTML export ships with beside its pages: the application's "bubble"
// images into target/files (made even when there are none) and its "emoji" images into
// target/emoji. A file already there is kept, a file that cannot be copied is skipped;
// what this creates is recorded in created.
void copyHtmlResources(const QDir& target, WrittenPaths& created);
