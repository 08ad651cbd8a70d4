// A fast way through the commonest PNG files: 8-bit RGB or RGBA, not interlaced, read
// from a regular file.
//
// Why: inflating with libdeflate takes well under half the time zlib (inside libpng)
// does, and inflating is most of the work of PNG -> YIF. libdeflate wants the whole
// stream at once, so this path holds the file's image data and the inflated rows (about
// the file plus the picture) where libpng holds one row.
// What it must equal: libpng's rows, for every file it accepts; anything unusual (another
// format, a damaged or odd file) is left to libpng by returning Fast::NotTaken before any
// row is handed out. tests/tool/yorvel_yif_test.sh checks its output against libpng's on
// every filter type.
#pragma once

#include <cstdint>
#include <functional>

#include "tool.h"

enum class Fast { Done, NotTaken };

// Hands each row of the picture (width x height, `channels` 3 or 4 bytes a pixel, as
// stored) to `row`, which returns false to stop. Done also when `row` stopped.
Fast readPngFast(tool::Input& in, uint32_t width, uint32_t height, int channels,
                 const std::function<bool(const uint8_t*)>& row);
