#pragma once

#include <QString>

struct ShareSnapshot;

// Puts a share into a folder that a web server or a synchronised folder serves, laid out as
// the audio server's addresses are: the feeds at the top, the episodes under "audio/", the
// picture as "icon.png". The snapshot must have been built with the folder's own base
// address. Episodes are hard-linked from the MP3 folder where the file system allows and
// copied where it does not; each file appears whole (written beside, then renamed), the
// feeds last, so a reader never finds a feed naming a file that is not there yet. Episodes
// that left the feeds are removed from "audio/"; nothing else in the folder is touched.
// False, with the first problem in error, when something could not be written; what could
// be is written all the same.
bool PublishToFolder(const ShareSnapshot& snapshot, const QString& folder, QString* error = nullptr);
