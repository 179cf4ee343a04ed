#pragma once

#include <QString>

class CHttpSession;

// Downloads url into mp3Path (created or emptied) in blocks of up to 8000 bytes, whatever
// the response's status, length or type. Logs "*ERROR: Cannot create podcast '%s'" when
// the file cannot be made and "Exception during item podcasting '%s'" when the transfer
// breaks after the response began; an address that gives no response at all fails
// without a line. What was written stays on failure.
bool DownloadPodcast(const CHttpSession& session, const QString& url, const QString& mp3Path);
