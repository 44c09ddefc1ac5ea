// viewer.html: a self-contained page that shows the material balls of balls.h in the browser
// (WebGL2, no network), with an orbiting camera and controls for the map, exposure and albedo.
//
// Conventions
//  - The page is the template viewer.html of this folder with the bake's data put in place of
//    its data marker: the irradiance matrices (as evaluateIrradiance uses them), the tone
//    controls, the camera, and the background and specular maps as little-endian IEEE half
//    floats in base64 (RGB, rows bottom-up as the library stores them; values clamped to the
//    largest finite half, non-finite values written as 0).
//  - The fragment shader repeats balls.cpp's camera, ray, shading, lookup and tone-mapping
//    formulas, so a screenshot of the page matches renderBallRow up to half-float rounding.
//  - The page reads "#tile=N" from its address to fix the tile size in CSS pixels (tests
//    use it); otherwise the tiles fill the window.
#pragma once

#include <string>

#include "balls.h"
#include "iximage/tonemap/tone_map.h"

namespace iblBake {

// The finished page. Materials whose map (or a background) holds no Float3Image are sent as
// black 1 x 1 maps, so the page still opens.
std::string makeViewerPage(const BallScene& scene, const ixImage::ToneControls& tone);

// The page template compiled into the tool, with its data marker.
const char* viewerTemplate();

}  // namespace iblBake
