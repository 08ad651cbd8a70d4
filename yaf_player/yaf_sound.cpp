#include "yaf_sound.h"
