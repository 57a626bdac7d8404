#include "shell/frame_stats.h"

FrameStats frame_stats;
