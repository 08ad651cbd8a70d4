// YAF sound loading and the waveform (to come).
#pragma once

namespace yaf {}
