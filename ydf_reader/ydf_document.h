// YDF document scanning and rendering (to come).
#pragma once

namespace ydf {}
