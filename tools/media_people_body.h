// The body plan of the people: a person described by build, skin, hair and clothes becomes the layered
// parts of a front and a back view (media_people_body.cpp). One plan places every part, so each figure
// keeps the gaps the figure builder looks for: arms clear of the torso, hands at hip height a little
// outwards, legs apart from the feet up to the crotch.
#pragma once

#include <cstdint>
#include <vector>

#include "media_people_draw.h"

constexpr int kPersonWidth = 128;
constexpr int kPersonHeight = 256;

enum class Hair { crop, long_straight, bun, curls, bob, cap, shaved };
enum class Top { tshirt, sweater, jacket, dress, stage };
enum class Bottom { trousers, shorts, skirt };

struct Person {
    float build = 1.0f;  // width of shoulders, torso and limbs; 1 is average
    Rgb skin{};
    Hair hair = Hair::crop;
    Rgb hair_colour{};
    Rgb eyes{};
    Top top = Top::tshirt;
    Material shirt;  // T-shirt, sweater, the shirt under a jacket, or the dress
    Material outer;  // jacket (jacket and stage tops)
    Bottom bottom = Bottom::trousers;
    Material legs;  // trousers, shorts or skirt
    Rgb hose{};     // legs under a skirt or shorts: the skin, or tights
    Rgb shoes{};
    bool close_up = false;  // a main character: a full face and finer clothes
    uint64_t seed = 0;
};

// Fabric of one colour, or with a pattern in a second colour.
Material cloth(Rgb base, Pattern pattern = Pattern::plain, Rgb second = {0, 0, 0}, float scale = 8.0f);
// Both views' parts; draw_figure leaves out the other view's.
std::vector<Part> person_parts(const Person& p);
