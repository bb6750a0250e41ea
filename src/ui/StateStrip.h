// State strips: one picture holding a button's normal, hover, pressed and disabled looks side by
// side, cut into equal cells for the picture buttons.
#pragma once

#include "resources/Png.h"

#include <QList>

// The PNG colour types a strip may have: 8-bit RGB, and RGB with an alpha channel.
inline constexpr int cnPngColorTypeRgb = 2;
inline constexpr int cnPngColorTypeRgba = 6;
inline constexpr int cnMaxStateCells = 4;

// Cuts Strip into SplitNum cells of (width / SplitNum) x height, from the left. Every cell is a
// new RGBA picture whose red, green and blue come from the strip; its alpha comes from the strip
// when CopyAlpha is set and the strip has an alpha channel, and is 0 (fully transparent)
// otherwise. Gives no cells (the caller changes nothing) when the strip cannot be cut: no width,
// a colour type other than RGB or RGBA, SplitNum outside 1 to 4, or cells narrower than a pixel.
QList<TPicture> CutStateStrip(const TPicture& Strip, int SplitNum, bool CopyAlpha);
