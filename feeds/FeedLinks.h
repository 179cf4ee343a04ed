#pragma once

#include <QString>

typedef struct _xmlNode xmlNode;

// The link children of an Atom feed or entry that matter here, whatever their order.
struct AtomLinks
{
    // The web page: the first alternate link (rel "alternate" or none) of an HTML type or of
    // no type, else the first alternate link of any type. Links to the feed itself, to edit
    // it, to replies, sources or related pages never count.
    const xmlNode* page = nullptr;
    // The first rel="enclosure" link with href, type and length, as an RSS enclosure needs.
    const xmlNode* enclosure = nullptr;
};
AtomLinks ChooseAtomLinks(const xmlNode* parent);

// A link written in element (its text or an attribute of it) made absolute against the
// element's xml:base, its ancestors' and the document's address. Links that are absolute
// already, and links whose base is not an http(s) address (a stored file's path), are kept
// as written, so reading a stored file again changes nothing.
QString ResolveLink(const xmlNode* element, const QString& link);

// The address an RSS guid stands for: its text when isPermaLink is absent or "true" and the
// text is an http(s) address; else empty.
QString GuidPermalink(const xmlNode* guid);
