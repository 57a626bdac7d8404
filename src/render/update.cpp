// The object update and motion passes. Run by the pipeline thread and its workers on disjoint shares.
// Nothing in the table animates, walks a path, emits particles or collides yet, so both passes have
// nothing to advance; the pipeline already calls them in their place with their thread rules.
#include "render/update.h"

void object_update_pass(int, int) {}

void motion_pass(int, int, int) {}
