#pragma once

#include "RssTypes.h"
#include "XmlHelpers.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class CFeedContext;
class CHttpSession;

// Bodies larger than this are refused: a document that could not be parsed anyway.
constexpr qint64 kMaxFeedBodyBytes = kMaxXmlDocumentBytes;

struct FetchOptions
{
    long connectTimeoutSeconds = 30;
    // The transfer is aborted when it moves less than 1 byte/s for this long.
    long lowSpeedSeconds = 60;
    // The whole transfer, however steadily a server drips its bytes.
    long totalSeconds = 120;
    qint64 maxBytes = kMaxFeedBodyBytes;
    // Validators of the copy already held, sent as If-None-Match / If-Modified-Since.
    QByteArray etag;
    QByteArray lastModified;
};

struct FetchResult
{
    bool ok = false;
    QByteArray body; // the decoded body; empty on failure
    long status = 0; // the last HTTP status, 0 when no response came
    QString error;   // readable reason of a failure ("HTTP 404", curl's message, ...)
    bool notModified = false; // a 304: the copy held is current, body is empty
    // Headers of the last response.
    QByteArray contentType;
    QByteArray etag;
    QByteArray lastModified;
    qint64 retryAfterSeconds = -1; // from Retry-After, -1 when absent or unreadable
    // Where the address leads when the transfer began with permanent redirects (301, 308):
    // the address after the last of them; empty when the first answer was no such redirect.
    QString permanentUrl;
    QString finalUrl; // the address the body came from, after every redirect
};

// Fetches an http or https URL through the session (redirects, compression and proxies as
// the session sets them up) and returns its body. Other schemes are refused; a 4xx or 5xx
// status is a failure, as are a body over the cap and a transfer over the time limit,
// which abort the transfer. Each call
// uses its own request, so any number of threads may fetch at once.
FetchResult FetchUrl(const CHttpSession& session, const QString& url,
                     const FetchOptions& options = {});

// What a feed body was written in; a JSON Feed is read into the RSS 2.0 form.
enum class FeedSyntax { Xml, JsonFeed };

// Parses a downloaded feed body: a JSON Feed is read into the RSS 2.0 form; an XML
// document declared in an encoding that the XML library does not know is decoded by the
// code page table first; one read as UTF-8 has what is not UTF-8 in it replaced by U+FFFD,
// logged with the source. A document that is not well-formed is read as far as it goes
// (ReadLooseFeed); error tells why the strict reading failed when nothing could be read.
XmlDocPtr ParseFeedBody(const QByteArray& body, const QString& source, XmlLoadError& error,
                        FeedSyntax* syntax = nullptr);

// Loads a feed document: a live source is fetched through the context's session and parsed
// from memory, a stored one read from disk. Null on failure, with the reason in error.
XmlDocPtr LoadFeedDocument(CFeedContext& context, const QString& source, FeedOrigin origin,
                           XmlLoadError& error, FeedSyntax* syntax = nullptr);
