#pragma once

class CRssNode;

// Whether the page made for node may fetch images, media, fonts or anything else from the
// web: each channel on the page decides by its own choice, or by the option (loadRemote)
// when it made none. A page of several channels fetches only when every one of them would,
// so that no channel's tracking pixels ride along with another's pictures.
bool PageMayLoadRemoteContent(CRssNode& node, bool loadRemote);
