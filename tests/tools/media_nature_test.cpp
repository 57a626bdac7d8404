// The generated nature media decoded as the engine decodes them, checked for what the demo relies on.
#include <gtest/gtest.h>

#include "tools/media_pictures.h"
