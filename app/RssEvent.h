#pragma once

// Notification codes carried from any thread to the window thread.
enum class RssEvent : int {
    ChannelReloaded = 1,
    ItemChanged = 2,
    ChannelSelected = 3,
    ItemSelected = 4,
    GroupSelected = 5,
    ChannelChanged = 6,
    TreeChanged = 7,
    FavoriteChanged = 8,
    PreviewChanged = 9,
    StyleChanged = 12,
    NewItem = 14,
    TimeDisplayChanged = 15,
};
