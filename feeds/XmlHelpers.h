#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

typedef struct _xmlDoc xmlDoc;
typedef struct _xmlNode xmlNode;

struct XmlDocDeleter {
    void operator()(xmlDoc* doc) const;
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Documents from outside larger than this are refused.
constexpr qint64 kMaxXmlDocumentBytes = 32 * 1024 * 1024;
// Our own stored files have a limit of their own, well above what any kept channel reaches,
// so that what the program writes it can always read back.
constexpr qint64 kMaxStoredFileBytes = 256 * 1024 * 1024;

// Why a document could not be loaded.
struct XmlLoadError {
    int code = 0;    // the XML library's error number, 0 when not a parse error
    QString message; // readable reason
    bool missing = false; // the file does not exist
    bool refused = false; // the file is not a regular file
    int line = 0;         // where a parse error was found, 0 when unknown
    // Read with KeepWhatIsWhole, a document that was not whole still gives its error, and:
    bool stopped = false; // the library stopped reading early (a limit reached, memory short)
    // the elements it left open at its end, outermost first; valid while the document lives
    std::vector<xmlNode*> unclosed = {};
};

// How much of a damaged document to take.
enum class XmlRecovery { None, KeepWhatIsWhole };
// Documents from outside are held to kMaxXmlDocumentBytes, our stored files to
// kMaxStoredFileBytes.
enum class XmlOrigin { Outside, StoredFile };

// Parses untrusted bytes: nothing is fetched from the network, no DTD is loaded, entities
// are never expanded, elements nest at most 256 deep. A text may be longer than the XML
// library's 10 MB per node; a large document read that way may declare no entities. A
// document the library stops reading early is a failure, never the part read. Null on
// failure; with KeepWhatIsWhole, a damaged document gives what could be read of it (null
// only when nothing could) and error tells what was wrong with it.
XmlDocPtr ParseXml(const QByteArray& bytes, const QString& baseUrl, XmlLoadError* error = nullptr,
                   XmlRecovery recovery = XmlRecovery::None,
                   XmlOrigin origin = XmlOrigin::Outside);
// Reads and parses one of our stored files: regular files only.
XmlDocPtr ParseXmlFile(const QString& path, XmlLoadError* error = nullptr,
                       XmlRecovery recovery = XmlRecovery::None);

XmlDocPtr NewXmlDocument();
// The document as the library saves it, UTF-8 with the XML declaration.
QByteArray SerializeXml(xmlDoc* doc);

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
// Calls visit on every node below root in document order, going into elements only; stops
// when visit returns true, and returns whether it did. No recursion: a recovered document
// may be nested far deeper than any stack.
template <class Visit>
bool VisitDescendants(const xmlNode* root, Visit visit);

// The node's name with its namespace prefix ("rdf:RDF").
QString NodeName(const xmlNode* node);
QString FromXmlChars(const unsigned char* text);
// The text without the characters XML cannot carry (controls, lone surrogates, U+FFFE,
// U+FFFF), which would make a stored file unreadable at the next start.
QString XmlSafeText(const QString& text);

// The libxml2 node types needed here, without its headers.
namespace XmlNodeWalk {
bool IsElement(const xmlNode* node);
const xmlNode* FirstChild(const xmlNode* node);
const xmlNode* Next(const xmlNode* node);
const xmlNode* Parent(const xmlNode* node);
} // namespace XmlNodeWalk

template <class Visit>
bool VisitDescendants(const xmlNode* root, Visit visit)
{
    using namespace XmlNodeWalk;
    const xmlNode* node = FirstChild(root);
    while (node) {
        if (visit(node))
            return true;
        if (IsElement(node) && FirstChild(node)) {
            node = FirstChild(node);
            continue;
        }
        while (!Next(node)) {
            node = Parent(node);
            if (!node || node == root)
                return false;
        }
        node = Next(node);
    }
    return false;
}
