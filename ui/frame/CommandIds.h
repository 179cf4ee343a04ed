#pragma once

// Every command of the program, by what it does. The numbers are fixed: a later copy of
// the program sends them to the running one over the single-instance socket, and actions
// carry them in their data(). Adding a command: name it here, give it a line in
// CommandTable.cpp (text, keys, prompt, image) and handle it in its owner.
enum class Command : int
{
    None = 0, // a separator in the menus and the tool bar

    // File
    Synchronize = 32835,
    ExploreVoiceFolder = 32861,
    NewChannel = 32772,
    NewGroup = 32775,
    ImportSubscriptions = 32867,
    ExportSubscriptions = 32868,
    Exit = 57665,

    // Edit
    MarkReadUnread = 32810,
    DeleteNews = 32811,
    ChannelProperties = 32813,
    AddToFavorites = 32837,
    RemoveFromFavorites = 32853,
    RenameGroup = 32812,

    // View
    NextUnread = 32839,
    PreviousUnread = 32838,
    Search = 32850,
    ArrangeByRead = 32791,
    ArrangeByState = 32793,
    ArrangeByTitle = 32788,
    ArrangeByDate = 32787,
    ArrangeByCategory = 32790,
    ArrangeByAuthor = 32789,
    ArrangeBySource = 32792,
    ColumnRead = 32803,
    ColumnState = 32809,
    ColumnDate = 32804,
    ColumnCategory = 32805,
    ColumnAuthor = 32806,
    ColumnSource = 32807,
    ReadingPaneHidden = 32784,
    ReadingPaneRight = 32782,
    ReadingPaneBottom = 32783,
    AutoPreview = 32785,
    ShowOnlyUnread = 32871,
    FullArticle = 32872,
    ListeningBar = 32874,
    ToggleStatusBar = 59393,
    ToggleToolBar = 59392,

    // Browse
    Back = 32795,
    Forward = 32796,
    Refresh = 32797,

    // Listen
    Listen = 32873,
    PlayPause = 32876,
    PreviousNews = 32877,
    NextNews = 32878,
    SkipBack = 32879,
    SkipForward = 32880,

    // Tools
    UpdateChannel = 32814,
    UpdateGroup = 32815,
    UpdateAllGroups = 32816,
    Options = 32771,

    // Help
    Help = 32800,
    Welcome = 32869,
    KeyboardShortcuts = 32870,
    CheckForNewVersion = 32801,
    About = 57664,

    // The tray menu's restore, also what a second start asks of the running copy.
    ShowWindow = 32848,

    // The news item's popup menu (Enter opens in the browser too).
    OpenInBrowser = 32851,
    MoveToSaved = 32852,
    ConvertToVoice = 32834,
    DownloadPodcast = 32866,
    PlayNews = 32864,
    SaveVoiceAs = 32863,

    // The channel tree's row menus: they act on the row clicked, not on the selection,
    // so they are not routed.
    RowUpdateChannel = 32823,
    RowUpdateGroup = 32824,
    RowMarkChannelRead = 32825,
    RowMarkGroupRead = 32826,
    RowDeleteChannel = 32827,
    RowChannelProperties = 32828,
    RowRenameGroup = 32829,
    RowDeleteGroup = 32830,
    RowNewChannel = 32831,
    RowNewGroup = 32832,
    RowEnableConversion = 32854,
    RowDisableConversion = 32855,
    RowListen = 32875,

    // Status-bar indicators; their string-table entries hold the sizing texts, and the
    // entry after the news count holds its shown text.
    NewsCountIndicator = 32858,
    NewsCountText = 32859,
    DownloadsIndicator = 32856,
    ConversionsIndicator = 32857,
};

constexpr int CommandNumber(Command command)
{
    return static_cast<int>(command);
}
