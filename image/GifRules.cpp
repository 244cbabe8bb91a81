#include "image/GifRules.h"
