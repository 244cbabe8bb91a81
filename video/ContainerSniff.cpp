#include "video/ContainerSniff.h"
