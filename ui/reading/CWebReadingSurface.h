#pragma once

#include "IReadingSurface.h"

#include <QPointer>
#include <memory>

class CItemPage;
class CReadingInterceptor;
class QWebEngineProfile;
class QWebEngineView;

// The reading pane's browser on the web engine: a profile of its own kept in memory only,
// the wall of CReadingInterceptor around it, and a page that runs no script.
class CWebReadingSurface final : public IReadingSurface
{
public:
    CWebReadingSurface(const Setup& setup, QWidget* parent);
    ~CWebReadingSurface() override;

    QWidget* Widget() override;
    void LoadFresh(const QUrl& url) override;
    void Trigger(Action action) override;
    bool CanGoBack() const override;
    bool CanGoForward() const override;
    bool IsLoading() const override;
    void SetRemoteContentAllowed(bool allowed) override;

    QWebEngineView* View() const { return m_view; }
    CItemPage* Page() const { return m_page; }

private:
    std::unique_ptr<QWebEngineProfile> m_profile;
    CReadingInterceptor* m_interceptor = nullptr; // the profile's
    QPointer<QWebEngineView> m_view;
    CItemPage* m_page = nullptr; // the view's
    bool m_freshHistory = false; // the next page loaded starts the history anew
};
