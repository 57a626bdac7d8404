// Objects that walk along queued paths: the current movement, its queue of further points, and the
// per-frame step. path_push, path_finish and path_sync run on the scene thread between frames;
// path_step inside the object update pass, on the worker that owns the object.
#pragma once

#include "scene/object.h"

// Most points one object may have queued: a scene that keeps queueing without ever letting its object
// arrive must not grow the queue without bound.
constexpr int PATH_QUEUE_LIMIT = 65536;

// Starts, queues or cancels a movement (see paths.cpp). ids outside 1 .. object_capacity - 1 are
// ignored; a heading of 360 or more counts as 0.
void path_push(ObjectId id, float x, float y, float z, float speed, float param_a, float param_b,
               float heading, int mode, int queue);
// One frame of movement towards the current target (arrival, queue, turning, walking).
void path_step(double dt, ObjectId id);
// Puts an active movement at its end at once and cancels it and its queue.
void path_finish(ObjectId id);
// Makes the current target the object's current position.
void path_sync(ObjectId id);
