#pragma once

#include "XmlHelpers.h"

// Reads a downloaded feed that did not load as XML (strictError tells why), as far as it
// goes: first with its references repaired (HTML's named entities as the characters they
// stand for, a bare "&" or "<" as text), then with the XML library's recovery, keeping
// the items that are whole. The references are only repaired when asciiMarkup says the
// markup is written in single ASCII bytes (not UTF-16, not a shifting encoding). Logs
// what was wrong with the source. Null when no channel title, link or item could be read.
XmlDocPtr ReadLooseFeed(const QByteArray& bytes, const QString& source,
                        const XmlLoadError& strictError, bool asciiMarkup);

// The bytes with every reference that XML does not know repaired: an HTML named entity
// becomes a numeric reference, a number that is no character U+FFFD, and a "&" or "<"
// that starts nothing is escaped. CDATA sections, comments and processing instructions
// are left alone; a document with an internal DTD subset (entities of its own) is not
// touched. repaired counts the changes. One pass, whatever the bytes.
QByteArray RepairXmlReferences(const QByteArray& bytes, qsizetype& repaired);
