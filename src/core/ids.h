// The integer ids callers use to address the engine's global tables. Callers choose them themselves;
// what slot 0 means is written beside each table.
#pragma once

using ObjectId = int;   // a slot of the object table (slot 0 is never a scene object)
using TextureId = int;  // a slot of the texture table (0 means no texture)
