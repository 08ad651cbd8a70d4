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

// Checks the header, then reads and inspects the whole file: -1 when `file` and `info`
// hold a picture with pixels, otherwise the exit code of the refusal or failure.
int loadPicture(Input& in, Bytes& file, yif::Info& info);

// Writes a picture of B,G,R,A pixels as an 8-bit RGBA PNG; false when a write fails.
bool writePng(FILE* f, uint32_t w, uint32_t h, const uint8_t* bgra);

}  // namespace tool
