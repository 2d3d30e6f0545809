#pragma once

class QFrame;
class QPainter;

namespace toolkit {

// Paints a raised or sunken QFrame::Panel exactly as the style does (light above and left,
// dark below and right), but as filled rectangles instead of lines, which the raster engine
// draws far more cheaply; the panels repaint their frames at every reading. Returns false, and
// paints nothing, for any other frame, which the caller then draws with QFrame::drawFrame.
bool paintPanelFrame(QPainter& painter, const QFrame& frame);

} // namespace toolkit
