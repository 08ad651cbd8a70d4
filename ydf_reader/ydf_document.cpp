#include "ydf_document.h"
