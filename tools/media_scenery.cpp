// The park's built things: paving, road, wood, crates, loudspeakers, billboard, house, dust.
// Single-threaded; every maker returns the same pixels on every run.
#include "media_catalog.h"

MediaList media_scenery_files() {
    return {nullptr, 0};
}
