#pragma once

#include <QString>
#include <QStringList>

// What one start of the program asks for on its command line:
//     calvoria [--hidden] [--refresh-all] [FEED]
// (--version and --help are answered before the application object exists.)
// FEED is what a browser or the desktop hands over: a feed: or http(s) address, or a feed
// file it saved.
struct LaunchRequest {
    bool hidden = false;     // start hidden in the tray (the session's autostart)
    bool refreshAll = false; // update every channel
    QString feedAddress;     // to subscribe to through the New Channel dialog
    QString error;           // bad usage, one line for the person
};

// arguments: without the program's name. Qt's own options (-platform, -style...) are taken
// out by QApplication before this sees them; other options are left to the web engine.
LaunchRequest ParseLaunchArguments(const QStringList& arguments);

// The feed address in text handed over from outside (the command line, a browser, a later
// start through the instance socket): its first word, a white space or control character
// ending it; "feed://host/x" and "feed:https://host/x" as the http(s) address they stand
// for, an http or https address as it is. Empty unless that is an address with a host.
QString HandedFeedAddress(const QString& text);

// The feed address an argument names: HandedFeedAddress, or for a local feed file the
// address it gives for itself (its self link), else its site's address (where the feed is
// found again). Empty when there is none, with the reason for the person in refusal: a
// saved copy that names no address is refused, for a channel refreshes from its address.
QString FeedAddressFromArgument(const QString& argument, QString* refusal = nullptr);

// The usage text of --help.
QString LaunchUsage();
