#pragma once

#include "CHttpSession.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The cache file of an article page: the response's Content-Type and Content-Language
// (each a little-endian 32-bit count of UTF-16 units followed by the UTF-16LE text), then
// the body byte for byte.

// Pages larger than this are refused.
constexpr qint64 kMaxArticleBytes = 16 * 1024 * 1024;
// A page that takes longer than a minute is abandoned.
constexpr TransferLimits kArticleTransferLimits{30, 60, 60};

// Fetches url through the session into cachePath. True when the whole body was stored.
// Failures are logged. An HTTP error status leaves no cache file (an error page is not an
// article); a transfer that breaks off leaves its part for the next attempt to truncate.
bool WriteArticleCache(const CHttpSession& session, const QString& url, const QString& cachePath,
                       const TransferLimits& limits = kArticleTransferLimits);

// Writes a cache file from parts already at hand (saved pages, tests).
bool WriteArticleCacheFile(const QString& cachePath, const QString& contentType,
                           const QString& contentLanguage, const QByteArray& body);

// Reads a cache file; on failure logs the step that failed, naming cachePath.
bool ReadArticleCache(const QString& cachePath, QString& contentType, QByteArray& body);
bool ReadArticleCache(const QString& cachePath, QString& contentType, QString& contentLanguage,
                      QByteArray& body);
