// A structural check of a Radiance (.hdr) file's pixel stream, run before stb_image decodes it.
//
// stb_image's reader reads zeros past the end of a file and, inside a run-length encoded
// scanline, takes a zero-length literal run as "no progress": a truncated or damaged file makes
// it loop for ever. This check walks the same stream the same way (flat pixels, or new-style
// run-length scanlines "2 2 hi lo" with four channel runs each) without decoding it, and
// refuses a file that ends early or holds a run that cannot make progress, so that the decoder
// only ever sees streams it finishes.
#pragma once

#include <cstddef>
#include <string>

namespace iblBake {

// bytes: the whole file; width and height: the resolution the header declares (already
// checked to be positive). Returns "" when the pixel stream is complete, or the problem
// ("is truncated ...", "has corrupt run-length data ...", "has no resolution line").
std::string checkRadianceStream(const unsigned char* bytes, std::size_t size, int width,
                                int height);

}  // namespace iblBake
