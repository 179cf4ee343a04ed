#pragma once

#include "CImageStrip.h"

// The program's image strips by resource number.
enum RssStrip
{
    RssStripTree = 155,      // 12 images, 16x16: channel tree
    RssStripRows = 161,      // 10 images, 16x16: news list rows
    RssStripToolLarge = 168, // 14 images, 32x32: tool bar
    RssStripToolSmall = 169, // 14 images, 16x16: tool bar
};

// Renders strip `resource` at the given pixel density; an unknown number gives a null strip.
CImageStrip LoadStrip(int resource, qreal devicePixelRatio);
