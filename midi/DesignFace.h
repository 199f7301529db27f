#pragma once
// The face a MIDI control shows while the host designs a form; at run time it is invisible.

class QPainter;
class QRect;

namespace varnkit::midictl {

// Fills bounds with black and writes text at its top-left corner in pure blue (0, 0, 255) on
// black, without smoothing, so that every pixel is one of the two. Nothing outside bounds
// changes. User-interface thread.
void DrawDesignFace(QPainter& painter, const QRect& bounds, const char* text);

}  // namespace varnkit::midictl
