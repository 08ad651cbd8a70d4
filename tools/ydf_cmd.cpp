// yorvel commands for YDF files (to come).
#include "tool.h"

int ydfInfo(const tool::Bytes&) { return tool::fail("YDF files are not supported yet"); }

int ydfConvert(const tool::Bytes&, const std::string&, const std::string&) {
    return tool::fail("YDF files are not supported yet");
}
