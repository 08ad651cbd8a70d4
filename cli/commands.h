// The `yorvel` commands, one set per format, that yorvel.cpp dispatches to.
#pragma once

#include <cstdint>
#include <string>

#include "tool.h"

// The exit code of a usage error.
constexpr int kUsage = 2;

// One set per format; each returns the process's exit code. `outExt` is OUT's extension
// (lower case), one the input's kind can become (yorvel.cpp checks).
int yifInfo(tool::Input& in);
int yifConvert(tool::Input& in, const std::string& out, const std::string& outExt);
int yifEncode(tool::Input& in, const std::string& out, int tritsPerPixel, bool runLength);
int ydfInfo(tool::Input& in);
int ydfConvert(tool::Input& in, const std::string& out, const std::string& outExt);
int yafInfo(tool::Input& in);
int yafConvert(tool::Input& in, const std::string& out, const std::string& outExt);
int yafEncode(tool::Input& in, const std::string& out);
// A PNG of at most size x size pixels showing the file (thumbnail.h).
int yifThumbnail(tool::Input& in, const std::string& out, uint32_t size);
int ydfThumbnail(tool::Input& in, const std::string& out, uint32_t size);
int yafThumbnail(tool::Input& in, const std::string& out, uint32_t size);

// Whether libsndfile recognises the file as a sound.
bool isSound(tool::Input& in);
// What kind of sound libsndfile takes the file for ("a WAV sound"); null when none.
const char* soundName(tool::Input& in);
