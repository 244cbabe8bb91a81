#include "video/Nv12.h"
