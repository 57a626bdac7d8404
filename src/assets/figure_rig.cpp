// The rig of a figure (to be built).
#include "assets/figure_rig.h"

void figure_rig(ObjectId, const FigureShape&) {}
