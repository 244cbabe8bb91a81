#include "image/PrefetchOrder.h"
