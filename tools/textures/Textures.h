// The four texture images. Each is drawn over the plane square from -1 to 1, with its detail
// gathered toward the centre, where the logarithmic view magnifies most.
#pragma once

#include "Canvas.h"

// A spiral galaxy whose arms are logarithmic spirals, with a bright detailed core and a star field.
void drawGalaxy(Canvas& canvas);

// An election map: districts that shrink toward the centre, each in its winning party's colour.
void drawElectionMap(Canvas& canvas);

// A squarified treemap of a deterministic hierarchy, finest near the centre; in greys, or with
// each top-level category in a colour of its own.
void drawTreemap(Canvas& canvas, bool coloured);
