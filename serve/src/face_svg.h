// The face as the page draws it: SVG made from the face table, the same
// table the window paints, by the window's rules (ui/face_painter.cpp): in
// logical pixels (twips / 15), back to front, circles of the shorter side's
// diameter centred in their rectangles, outlines inside the shape's edge,
// no smoothing of edges; labels draw their text from the top edge, aligned
// and clipped to their rectangles, in the stand-in families.
//
// What the page changes while it runs carries a hook for its script:
//   the ten key labels    <button class="key" data-key="run" aria-label="Run">
//   the two display lines <output data-line="0" aria-label="Display line 1">
//   the seven LEDs        <g class="led" data-led="run" role="img" aria-label="Run LED: off">
//                         holding <path class="lamp"> whose fill is the LED's colour
//                         (data-lit and data-dark give the two colours)
// and Text1, the hint box, is an <input>.
#pragma once

#include <string>

namespace opstation::serve {

// The <svg> element of the face, for the page's HTML.
std::string faceSvg();

// The text styles of the face's labels, by control (".c-Label4 {...}"):
// the page's policy allows no style attributes in its markup.
std::string faceCss();

}  // namespace opstation::serve
