#include "StripCatalog.h"

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void InitThemeResources()
{
    Q_INIT_RESOURCE(theme);
}

namespace {

QStringList Layers(std::initializer_list<const char*> names)
{
    QStringList layers;
    for (const char* name : names)
        layers.append(QStringLiteral(":/theme/images/%1.svg").arg(QLatin1String(name)));
    return layers;
}

QList<QStringList> TreeImages()
{
    return {Layers({"box-minus"}), Layers({"box-plus"}),
            Layers({"page"}),      Layers({"disk"}),
            Layers({"star"}),      Layers({"folder"}),
            Layers({"feed"}),      Layers({"feed", "badge-note"}),
            Layers({"magnifier"}), Layers({"busy-1"}),
            Layers({"busy-2"}),    Layers({"busy-3"})};
}

QList<QStringList> RowImages()
{
    return {Layers({"envelope"}),
            Layers({"envelope-open"}),
            Layers({"magnifier"}),
            Layers({"clock"}),
            Layers({"no-entry"}),
            Layers({"note-blue"}),
            Layers({"note-grey"}),
            Layers({"envelope", "badge-note"}),
            Layers({"envelope-open", "badge-note"}),
            Layers({"download"})};
}

QList<QStringList> ToolImages()
{
    return {Layers({"feed", "badge-plus"}),        // new channel
            Layers({"folder", "badge-plus"}),      // new group
            Layers({"star", "badge-plus"}),        // add to favourites
            Layers({"refresh"}),                   // update all
            Layers({"device"}),                    // synchronise
            Layers({"envelope", "badge-up"}),      // previous unread
            Layers({"envelope", "badge-down"}),    // next unread
            Layers({"magnifier"}),                 // find
            Layers({"arrow-left"}),                // back
            Layers({"arrow-right"}),               // forward
            Layers({"stop"}),                      // kept in the strip, not on the bar
            Layers({"gear"}),                      // options
            Layers({"info"}),                      // about
            Layers({"envelope", "badge-filter"}),  // show only unread
            Layers({"page"}),                      // full article
            Layers({"headphones"})};               // listen
}

} // namespace

CImageStrip LoadStrip(int resource, qreal devicePixelRatio)
{
    InitThemeResources();
    switch (resource) {
    case RssStripTree:
        return CImageStrip::Render(TreeImages(), QSize(16, 16), devicePixelRatio);
    case RssStripRows:
        return CImageStrip::Render(RowImages(), QSize(16, 16), devicePixelRatio);
    case RssStripToolLarge:
        return CImageStrip::Render(ToolImages(), QSize(32, 32), devicePixelRatio);
    case RssStripToolSmall:
        return CImageStrip::Render(ToolImages(), QSize(16, 16), devicePixelRatio);
    default:
        return {};
    }
}
