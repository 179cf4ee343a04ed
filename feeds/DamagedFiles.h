#pragma once

#include <QString>

class CFeedContext;

// A stored file that could not be read whole is never saved over as it is: a copy is kept
// beside it ("data.opml.bad-20261207-104500"), which is logged and reported to the
// person. True when it was kept, so that a save may then replace it with
// what could be read of it.
bool KeepDamagedFile(CFeedContext& context, const QString& path, const QString& reason);

// A stored file that is a directory, FIFO, device or socket: neither read nor replaced.
void ReportRefusedFile(CFeedContext& context, const QString& path, const QString& reason);
