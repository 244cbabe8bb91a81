#include "image/NaturalOrder.h"
