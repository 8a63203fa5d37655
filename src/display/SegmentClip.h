#pragma once
// Cutting a line segment to a rectangle, for the overlays that draw long lines in pieces.
#include <QPointF>
#include <QRectF>

/// Clips the segment a-b to `box` (Liang-Barsky); false when nothing of it is inside.
bool ClipSegment(QPointF& a, QPointF& b, const QRectF& box);
