// Skinning: the geometry pass's deformation of an animated part by its object's pose tables. Called by
// the transform workers, each on its own parts.
#pragma once

#include "scene/object.h"
#include "scene/transform.h"

// Skinning of an animated part: deforms tri_local by the object's pose tables, then applies t; folds
// the results into the running box unless fold is false. Returns false when the object has no pose
// tables (the caller then treats the part as rigid).
bool skin_part(ObjectId id, int part, const ObjectTransform& t, bool fold, Vec3& lo, Vec3& hi,
               bool& box_started);
// The same, written plainly: the fast version must match it bit for bit.
bool skin_part_reference(ObjectId id, int part, const ObjectTransform& t, bool fold, Vec3& lo, Vec3& hi,
                         bool& box_started);
