// Pictures in the `yorvel` tool: a YIF image's header and stream taken from an Input,
// and B,G,R,A pixels written out as a PNG. The conversion and the thumbnail commands
// both go through here, so the image is read, and a PNG written, one way only.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "tool.h"
#include "yif_image.h"

namespace tool {

// "WxH", as messages give a picture's size.
std::string dimensions(uint32_t w, uint32_t h);

// Reads the header of the picture in `in`: -1 when `info` holds it, otherwise the exit
// code of the refusal or failure. Everything that refuses a file is known from its
// header and size.
int inspectPicture(Input& in, yif::Info& info);

// Checks the header, then reads what the picture's rows use and inspects that: -1 when
// `info` and `file` hold a picture with pixels, otherwise the exit code of the refusal
// or failure. The rows are all of them, or, for a caller that decodes at most
// `maxRowBytes` bytes of pixels, that many rows and one more (so it can tell that the
// stream goes on past them). Bytes past those rows are never read: `file` is the header
// and as much of the stream as makes them, so a small picture in a large file costs
// what the picture holds. info.tritCount counts the trits in `file`, which make those
// rows as the whole file would; info.fileSize is the whole file's size.
int loadPicture(Input& in, Bytes& file, yif::Info& info, uint64_t maxRowBytes = UINT64_MAX);

// Writes a picture of B,G,R,A pixels as an 8-bit RGBA PNG; false when a write fails.
bool writePng(FILE* f, uint32_t w, uint32_t h, const uint8_t* bgra);

}  // namespace tool
