#include "ui/ControlBarGeometry.h"
