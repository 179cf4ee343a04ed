#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;

struct XmlDocDeleter {
    void operator()(xmlDoc* doc) const;
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Documents larger than this are refused.
constexpr qint64 kMaxXmlDocumentBytes = 32 * 1024 * 1024;

// Why a document could not be loaded.
struct XmlLoadError {
    int code = 0;    // the XML library's error number, 0 when not a parse error
    QString message; // readable reason
};

// Parses untrusted bytes: nothing is fetched from the network, no DTD is loaded, entities
// are never expanded. Null on failure.
XmlDocPtr ParseXml(const QByteArray& bytes, const QString& baseUrl, XmlLoadError* error = nullptr);
// Reads and parses a file (refused when larger than kMaxXmlDocumentBytes).
XmlDocPtr ParseXmlFile(const QString& path, XmlLoadError* error = nullptr);

XmlDocPtr NewXmlDocument();
// The document as the library saves it, UTF-8 with the XML declaration.
QByteArray SerializeXml(xmlDoc* doc);
// Replaces the file at path atomically: a temporary file renamed over the old one.
bool SaveFileAtomically(const QString& path, const QByteArray& bytes);

xmlNode* AppendElement(xmlDoc* doc, xmlNode* parent, const char* name);
// An element holding one text node (no text node when text is empty).
xmlNode* AppendTextElement(xmlDoc* doc, xmlNode* parent, const char* name, const QString& text);
// Layout text: a line end followed by indent blanks.
void AppendLayout(xmlDoc* doc, xmlNode* parent, int indent);
void SetAttribute(xmlNode* element, const char* name, const QString& value);

// The attribute's value; present tells whether the attribute exists.
QString Attribute(const xmlNode* element, const char* name, bool* present = nullptr);
// The text of a node: its text and CDATA descendants joined. Entity references are
// never followed, so a hostile document cannot make this text grow.
QString NodeText(const xmlNode* node);
// The node's name with its namespace prefix ("rdf:RDF").
QString NodeName(const xmlNode* node);
QString FromXmlChars(const unsigned char* text);
