#pragma once

#include <QColor>
#include <QString>
#include <QUrl>
#include <optional>

// The first steps the welcome page offers. Each is a link of the program's own scheme
// that the reading pane catches; it names no web address and loads nothing.
enum class WelcomeStep
{
    AddFeed,
    ImportSubscriptions,
    AddExampleFeeds,
};

QUrl WelcomeStepUrl(WelcomeStep step);
// The step a link names; nothing for any other address.
std::optional<WelcomeStep> WelcomeStepOf(const QUrl& url);

// Writes the welcome page: what Calvoria does and the first steps, as a newspaper of its
// own (welcomenewspaper) drawn by the reading style like every other page. accent: the
// colour theme's, for the steps. False when the style does not load or apply, or the page
// file cannot be written.
bool WriteWelcomePage(const QString& styleFile, const QString& pageFile, const QColor& accent);
