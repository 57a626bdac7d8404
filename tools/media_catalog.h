// The media generator's catalogue: every file it writes, grouped by the part of the demo that shows it.
// Each group lists its own files beside its makers; mediagen writes the groups in order. The build
// (tools/CMakeLists.txt) lists the same paths as its outputs, group by group.
#pragma once

#include <cstddef>

#include "media_image.h"

enum class MediaFormat { png, jpg };

struct MediaFile {
    const char* path;                 // relative to the data folder, where the asset locator looks
    MediaImage (*make)(int variant);  // draws the picture
    int variant;                      // handed to make: one maker may draw a whole family of pictures
    MediaFormat format;
};

struct MediaList {
    const MediaFile* files;
    size_t count;
};

MediaList media_start_files();    // media_textures.cpp: what start-up preloads (skies, wall, ball, spark)
MediaList media_people_files();   // media_people.cpp: the figures, people and animals
MediaList media_scenery_files();  // media_scenery.cpp: the park's built things (paving, road, crates...)
MediaList media_nature_files();   // media_nature.cpp: trees, plants, light, the terrain's maps, the sky dome
