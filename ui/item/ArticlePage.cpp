#include "ArticlePage.h"

#include <QCoreApplication>
#include <QString>
#include <libxml/tree.h>

using namespace Qt::Literals::StringLiterals;

namespace {

xmlNode* Child(xmlNode* parent, const char* name)
{
    for (xmlNode* node = parent ? parent->children : nullptr; node; node = node->next)
        if (node->type == XML_ELEMENT_NODE && xmlStrEqual(node->name, BAD_CAST name))
            return node;
    return nullptr;
}

QString Note(const QString& text)
{
    return u"<p class=\"article-note\"><em>%1</em></p>"_s.arg(text.toHtmlEscaped());
}

QString Tr(const char* text)
{
    return QCoreApplication::translate("ArticlePage", text);
}

} // namespace

bool PutArticleIntoNewspaper(xmlDoc* newspaper, ArticleView view, const ArticleText& article)
{
    xmlNode* item = Child(Child(xmlDocGetRootElement(newspaper), "channel"), "item");
    if (!item)
        return false;
    xmlNode* description = Child(item, "description");
    if (!description)
        description = xmlNewChild(item, nullptr, BAD_CAST "description", nullptr);
    xmlChar* own = xmlNodeGetContent(description);
    const QString feedText = QString::fromUtf8(reinterpret_cast<const char*>(own));
    xmlFree(own);

    QString html;
    if (view == ArticleView::Loading) {
        html = Note(Tr("Loading article…")) + feedText;
    } else if (article.problem == ArticleText::Problem::None) {
        for (const QString& paragraph : article.paragraphs)
            html += u"<p>"_s + paragraph.toHtmlEscaped() + u"</p>"_s;
    } else if (article.problem == ArticleText::Problem::NotDownloaded) {
        html = Note(Tr("The article page could not be downloaded. This is the feed's own text.")) +
               feedText;
    } else {
        html = Note(Tr("No readable text was found on the article page. This is the feed's own "
                       "text.")) +
               feedText;
    }
    const QByteArray utf8 = html.toUtf8();
    xmlNodeSetContent(description, nullptr);
    xmlNodeAddContentLen(description, BAD_CAST utf8.constData(), int(utf8.size()));
    return true;
}
