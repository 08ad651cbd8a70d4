// Shared plumbing of the `yorvel` tool: whole-file reads, all-or-nothing writes, and
// the per-format commands that yorvel.cpp dispatches to.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace tool {

using Bytes = std::vector<uint8_t>;

// Reads the whole file. On failure returns false and says why in `error`.
bool readFile(const std::string& path, Bytes& data, std::string& error);

// Writes `path` through a temporary file beside it that is renamed into place only when
// `write` returned true and every byte reached the disk: `path` ends up whole or untouched.
bool writeFileAtomically(const std::string& path, const std::function<bool(FILE*)>& write,
                         std::string& error);

// The file name's extension in lower case, without the dot; "" when there is none.
std::string extensionOf(const std::string& path);

// Prints "yorvel: <message>" on stderr and returns the exit code for a failed command, 1.
int fail(const std::string& message);

// Prints a refusal text (for instance "[ERROR] Not a YIF file") on stderr as it stands; returns 1.
int refuse(const char* text);

}  // namespace tool

// One pair per format; each returns the process's exit code. `outExt` is OUT's extension
// (lower case). An output format the input cannot become returns kUsage.
constexpr int kUsage = 2;
int yifInfo(const tool::Bytes& file);
int yifConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt);
int yifEncode(const tool::Bytes& png, const std::string& out, int tritsPerPixel, bool runLength);
int ydfInfo(const tool::Bytes& file);
int ydfConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt);
int yafInfo(const tool::Bytes& file);
int yafConvert(const tool::Bytes& file, const std::string& out, const std::string& outExt);
int yafEncode(const tool::Bytes& wav, const std::string& out);
