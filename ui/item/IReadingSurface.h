#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

class QWidget;

// The browser the reading pane shows its pages in. It lives in a module of its own, loaded
// the first time a page is due, so that a window that has shown no page has started no web
// engine, mapped none of its libraries and made no graphics context.
class IReadingSurface
{
public:
    struct Setup
    {
        // The page file in its plain and resolved forms; the styles folder ends with "/".
        QStringList pageFiles;
        QString stylesFolder;
        // True for the local files the pane itself shows.
        std::function<bool(const QUrl&)> isOwnFile;
        bool remoteContentAllowed = false;
        // A main-frame navigation was let through.
        std::function<void(const QUrl&)> navigating;
        // A page (ours or one a link led to) has loaded, or failed to.
        std::function<void(bool ok)> loadFinished;
        // A link of the program's own scheme was followed in one of the pane's own pages.
        std::function<void(const QUrl&)> programLinkActivated;
        // A page asks for a new window; it is never opened in the engine.
        std::function<void(const QUrl&)> newWindowRequested;
        // Back or Forward became possible or impossible.
        std::function<void()> historyChanged;
    };

    enum class Action { Back, Forward, Reload, Stop };

    virtual ~IReadingSurface() = default;

    // The widget to lay out; it belongs to the parent given when the surface was made.
    virtual QWidget* Widget() = 0;
    // Loads a page of the pane; once it has loaded, Back leads only through links followed
    // from it.
    virtual void LoadFresh(const QUrl& url) = 0;
    virtual void Trigger(Action action) = 0;
    virtual bool CanGoBack() const = 0;
    virtual bool CanGoForward() const = 0;
    // True while a load runs.
    virtual bool IsLoading() const = 0;
    // For the page about to be shown.
    virtual void SetRemoteContentAllowed(bool allowed) = 0;
};

// The module's one entry point.
using MakeReadingSurfaceFunction = IReadingSurface* (*)(const IReadingSurface::Setup& setup,
                                                         QWidget* parent);
#define CALVORIA_READING_ENTRY "CalvoriaMakeReadingSurface"
