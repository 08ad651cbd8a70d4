// yorvel commands for YAF files (to come).
#include "tool.h"

int yafInfo(const tool::Bytes&) { return tool::fail("YAF files are not supported yet"); }

int yafConvert(const tool::Bytes&, const std::string&, const std::string&) {
    return tool::fail("YAF files are not supported yet");
}
