#include "image/Orientation.h"
