#include "WelcomePage.h"

#include "NewspaperPage.h"

#include <libxml/tree.h>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace {

const auto kScheme = "calvoria"_L1;

struct StepText
{
    WelcomeStep step;
    const char* path;
    QString title;
    QString description;
};

const StepText kSteps[] = {
    {WelcomeStep::AddFeed, "add-feed", u"Add a feed\u2026"_s,
     u"Subscribe to a web site by the address of its feed, or of the site itself. "
     u"It goes into \u201cMy Feeds\u201d."_s},
    {WelcomeStep::ImportSubscriptions, "import-subscriptions", u"Import subscriptions\u2026"_s,
     u"Bring your feeds from another news reader: every common reader exports its "
     u"subscriptions as an OPML file."_s},
    {WelcomeStep::AddExampleFeeds, "add-examples", u"Add example feeds"_s,
     u"A few long-running feeds of news, science and technology and one podcast, in a group "
     u"\u201cExamples\u201d. Delete the group to remove them."_s},
};

const QString kAbout[] = {
    u"Calvoria gathers the news of the web sites you follow from their feeds and keeps it "
    u"up to date while it runs, even from the notification area."_s,
    u"You arrange the feeds in groups at the left, pick a news in the list and read it "
    u"here."_s,
    u"It can also turn news into spoken MP3 files and fetch podcasts, ready to take along "
    u"on a portable player."_s,
};

struct WelcomeDocFree
{
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

const xmlChar* X(const QByteArray& bytes)
{
    return reinterpret_cast<const xmlChar*>(bytes.constData());
}

void AddText(xmlNode* parent, const char* name, const QString& text)
{
    xmlNewTextChild(parent, nullptr, X(name), X(text.toUtf8()));
}

} // namespace

QUrl WelcomeStepUrl(WelcomeStep step)
{
    for (const StepText& s : kSteps)
        if (s.step == step)
            return QUrl(kScheme + u':' + QLatin1StringView(s.path));
    return {};
}

std::optional<WelcomeStep> WelcomeStepOf(const QUrl& url)
{
    if (url.scheme() != kScheme)
        return std::nullopt;
    for (const StepText& s : kSteps)
        if (url.path() == QLatin1StringView(s.path))
            return s.step;
    return std::nullopt;
}

bool WriteWelcomePage(const QString& styleFile, const QString& pageFile, const QColor& accent)
{
    std::unique_ptr<xmlDoc, WelcomeDocFree> doc(xmlNewDoc(X("1.0")));
    if (!doc)
        return false;
    xmlNode* root = xmlNewDocNode(doc.get(), nullptr, X("welcomenewspaper"), nullptr);
    if (!root)
        return false;
    xmlDocSetRootElement(doc.get(), root);
    xmlNewProp(root, X("title"), X("Welcome to Calvoria"));
    if (accent.isValid())
        xmlNewProp(root, X("accent"), X(accent.name(QColor::HexRgb).toLatin1()));
    for (const QString& sentence : kAbout)
        AddText(root, "about", sentence);
    for (const StepText& s : kSteps) {
        xmlNode* step = xmlNewChild(root, nullptr, X("step"), nullptr);
        xmlNewProp(step, X("href"), X(WelcomeStepUrl(s.step).toString().toUtf8()));
        AddText(step, "title", s.title);
        AddText(step, "description", s.description);
    }
    return WriteStyledPage(doc.get(), styleFile, pageFile);
}
