// The figures of the demo: people seen from the front (and from the back, with the same silhouette)
// and four-legged animals seen from the side, drawn with transparent backgrounds for the figure
// builder. This file holds the cast and the file list; media_people_body.cpp draws the people,
// media_people_animals.cpp the animals and the walking stick.
// Single-threaded; every maker returns the same pixels on every run.
#include <vector>

#include "media_catalog.h"
#include "media_people_animals.h"
#include "media_people_body.h"
#include "media_people_draw.h"

namespace {

Person someone(float build, Rgb skin, Hair hair, Rgb hair_colour, Rgb eyes, uint64_t seed) {
    Person p;
    p.build = build;
    p.skin = skin;
    p.hose = skin;
    p.hair = hair;
    p.hair_colour = hair_colour;
    p.eyes = eyes;
    p.seed = seed;
    return p;
}

Person wearing(Person p, Top top, const Material& shirt, const Material& outer, Bottom bottom,
               const Material& legs, Rgb shoes) {
    p.top = top;
    p.shirt = shirt;
    p.outer = outer;
    p.bottom = bottom;
    p.legs = legs;
    p.shoes = shoes;
    return p;
}

Person in_tights(Person p, Rgb hose) {
    p.hose = hose;
    return p;
}

// The cast: the six main characters (seen close up), the park's eleven visitors, and the performer on
// the stage, in a sequinned jacket. Colours stay strong: most are seen small.
Person cast(int variant) {
    const Rgb fair = rgb(0.93f, 0.76f, 0.64f), light = rgb(0.87f, 0.68f, 0.54f),
              olive = rgb(0.78f, 0.58f, 0.42f);
    const Rgb tan = rgb(0.66f, 0.46f, 0.32f), brown = rgb(0.48f, 0.31f, 0.21f),
              deep = rgb(0.4f, 0.26f, 0.18f);
    const Rgb black_hair = rgb(0.09f, 0.07f, 0.07f), dark_brown = rgb(0.25f, 0.15f, 0.09f);
    const Rgb auburn = rgb(0.55f, 0.22f, 0.1f), blond = rgb(0.86f, 0.7f, 0.4f),
              grey = rgb(0.66f, 0.65f, 0.64f);
    const Rgb chestnut = rgb(0.42f, 0.24f, 0.12f), electric = rgb(0.25f, 0.75f, 0.95f);
    const Rgb black = rgb(0.12f, 0.12f, 0.13f), white = rgb(0.92f, 0.91f, 0.88f),
              brown_shoe = rgb(0.36f, 0.2f, 0.1f);
    const Rgb eye_brown = rgb(0.35f, 0.2f, 0.1f), eye_green = rgb(0.25f, 0.45f, 0.3f);
    const Rgb eye_blue = rgb(0.25f, 0.45f, 0.7f);
    const Material jeans = cloth(rgb(0.2f, 0.3f, 0.5f), Pattern::denim, rgb(0.42f, 0.54f, 0.72f));
    const Material none{};
    auto knit = [](Rgb c) { return cloth(c, Pattern::knit, {}, 3.0f); };
    const Top tshirt = Top::tshirt, sweater = Top::sweater, jacket = Top::jacket, dress = Top::dress;
    const Bottom trousers = Bottom::trousers, shorts = Bottom::shorts, skirt = Bottom::skirt;
    Person p;
    switch (variant) {
        case 0:
            p = wearing(someone(1.0f, fair, Hair::long_straight, auburn, eye_green, 1001), jacket,
                        cloth(white), cloth(rgb(0.2f, 0.48f, 0.4f)), trousers, jeans, brown_shoe);
            break;
        case 1:
            p = wearing(someone(1.08f, olive, Hair::crop, dark_brown, eye_brown, 1002), sweater,
                        knit(rgb(0.16f, 0.22f, 0.42f)), none, trousers, cloth(rgb(0.4f, 0.4f, 0.42f)), black);
            break;
        case 2:
            p = wearing(someone(0.96f, deep, Hair::curls, black_hair, eye_brown, 1003), dress,
                        cloth(rgb(0.95f, 0.74f, 0.15f), Pattern::dots, rgb(0.98f, 0.95f, 0.85f), 11.0f), none,
                        skirt, none, rgb(0.7f, 0.2f, 0.15f));
            break;
        case 3:
            p = wearing(someone(1.12f, light, Hair::crop, blond, eye_blue, 1004), sweater,
                        cloth(rgb(0.7f, 0.14f, 0.12f), Pattern::check, rgb(0.15f, 0.1f, 0.12f), 12.0f), none,
                        trousers, jeans, white);
            break;
        case 4:
            p = wearing(someone(0.95f, tan, Hair::bob, black_hair, eye_brown, 1005), tshirt,
                        cloth(rgb(0.5f, 0.25f, 0.62f)), none, skirt,
                        cloth(rgb(0.22f, 0.34f, 0.55f), Pattern::denim, rgb(0.4f, 0.52f, 0.7f)),
                        rgb(0.75f, 0.12f, 0.14f));
            p = in_tights(p, rgb(0.18f, 0.14f, 0.16f));
            break;
        case 5:
            p = wearing(someone(1.15f, light, Hair::shaved, grey, eye_blue, 1006), jacket,
                        cloth(rgb(0.62f, 0.75f, 0.88f)),
                        cloth(rgb(0.45f, 0.3f, 0.18f), Pattern::knit, {}, 4.0f), trousers,
                        cloth(rgb(0.72f, 0.64f, 0.48f)), brown_shoe);
            break;
        // The visitors. A cap takes the colour of the shirt's second colour.
        case 6:
            p = wearing(someone(1.0f, brown, Hair::cap, black_hair, eye_brown, 1101), tshirt,
                        cloth(rgb(0.9f, 0.45f, 0.1f), Pattern::plain, rgb(0.15f, 0.2f, 0.5f)), none, shorts,
                        cloth(rgb(0.3f, 0.35f, 0.25f)), white);
            break;
        case 7:
            p = wearing(someone(0.92f, fair, Hair::bun, blond, eye_blue, 1102), sweater,
                        knit(rgb(0.55f, 0.75f, 0.7f)), none, skirt, cloth(rgb(0.3f, 0.22f, 0.35f)), black);
            p = in_tights(p, rgb(0.2f, 0.16f, 0.2f));
            break;
        case 8:
            p = wearing(someone(1.1f, deep, Hair::shaved, black_hair, eye_brown, 1103), jacket,
                        cloth(rgb(0.85f, 0.85f, 0.8f)), cloth(rgb(0.12f, 0.16f, 0.28f)), trousers,
                        cloth(rgb(0.14f, 0.14f, 0.16f)), black);
            break;
        case 9:
            p = wearing(someone(0.97f, light, Hair::long_straight, dark_brown, eye_green, 1104), tshirt,
                        cloth(rgb(0.92f, 0.9f, 0.85f), Pattern::stripes, rgb(0.15f, 0.25f, 0.55f), 8.0f),
                        none, trousers, jeans, rgb(0.85f, 0.82f, 0.78f));
            break;
        case 10:
            p = wearing(someone(1.05f, olive, Hair::curls, chestnut, eye_brown, 1105), tshirt,
                        cloth(rgb(0.2f, 0.55f, 0.3f)), none, trousers, cloth(rgb(0.55f, 0.45f, 0.3f)),
                        brown_shoe);
            break;
        case 11:
            p = wearing(someone(0.94f, fair, Hair::bob, auburn, eye_green, 1106), dress,
                        cloth(rgb(0.25f, 0.4f, 0.75f), Pattern::dots, rgb(0.95f, 0.95f, 0.98f), 9.0f), none,
                        skirt, none, rgb(0.85f, 0.8f, 0.7f));
            break;
        case 12:
            p = wearing(someone(1.14f, tan, Hair::crop, grey, eye_brown, 1107), sweater,
                        knit(rgb(0.5f, 0.12f, 0.18f)), none, trousers, cloth(rgb(0.25f, 0.25f, 0.3f)), black);
            break;
        case 13:
            p = wearing(someone(1.0f, brown, Hair::bun, black_hair, eye_brown, 1108), jacket,
                        cloth(rgb(0.95f, 0.85f, 0.3f)), cloth(rgb(0.75f, 0.25f, 0.35f)), trousers,
                        cloth(rgb(0.12f, 0.12f, 0.14f)), rgb(0.9f, 0.9f, 0.9f));
            break;
        case 14:
            p = wearing(someone(0.9f, light, Hair::cap, blond, eye_blue, 1109), tshirt,
                        cloth(rgb(0.2f, 0.5f, 0.8f), Pattern::plain, rgb(0.95f, 0.85f, 0.2f)), none, shorts,
                        cloth(rgb(0.9f, 0.85f, 0.7f)), rgb(0.8f, 0.2f, 0.2f));
            break;
        case 15:
            p = wearing(someone(1.06f, deep, Hair::long_straight, black_hair, eye_brown, 1110), sweater,
                        knit(rgb(0.85f, 0.55f, 0.6f)), none, skirt,
                        cloth(rgb(0.18f, 0.18f, 0.22f), Pattern::check, rgb(0.4f, 0.1f, 0.12f), 10.0f),
                        black);
            p = in_tights(p, rgb(0.12f, 0.1f, 0.1f));
            break;
        case 16:
            p = wearing(someone(1.02f, olive, Hair::crop, black_hair, eye_brown, 1111), jacket,
                        cloth(rgb(0.18f, 0.18f, 0.2f)), cloth(rgb(0.55f, 0.6f, 0.3f)), trousers, jeans,
                        brown_shoe);
            break;
        default: {
            Material sequin = cloth(rgb(0.85f, 0.12f, 0.55f), Pattern::sequin, rgb(1.0f, 0.9f, 0.5f), 3.0f);
            sequin.shine = 0.5f;
            p = wearing(someone(1.02f, light, Hair::bun, electric, eye_blue, 1201), Top::stage,
                        cloth(rgb(0.1f, 0.1f, 0.12f)), sequin, trousers, cloth(rgb(0.95f, 0.93f, 0.98f)),
                        rgb(0.85f, 0.75f, 0.3f));
            break;
        }
    }
    p.close_up = variant <= 5 || variant >= 17;
    return p;
}

MediaImage person_front(int variant) {
    const Person p = cast(variant);
    return draw_figure(person_parts(p), kPersonWidth, kPersonHeight, View::front, p.seed);
}

MediaImage person_back(int variant) {
    const Person p = cast(variant);
    return draw_figure(person_parts(p), kPersonWidth, kPersonHeight, View::back, p.seed);
}

constexpr MediaFormat kPng = MediaFormat::png;

const MediaFile kPeopleFiles[] = {
    {"profil/a1.png", person_front, 0, kPng},
    {"profil/a1_backside.png", person_back, 0, kPng},
    {"profil/mah1.png", person_front, 1, kPng},
    {"profil/mah1_backside.png", person_back, 1, kPng},
    {"profil/mah2.png", person_front, 2, kPng},
    {"profil/mah2_backside.png", person_back, 2, kPng},
    {"profil/mah3.png", person_front, 3, kPng},
    {"profil/mah3_backside.png", person_back, 3, kPng},
    {"profil/mah4.png", person_front, 4, kPng},
    {"profil/mah4_backside.png", person_back, 4, kPng},
    {"profil/mah5.png", person_front, 5, kPng},
    {"profil/mah5_backside.png", person_back, 5, kPng},
    {"profil/npc0.png", person_front, 6, kPng},
    {"profil/npc0_backside.png", person_back, 6, kPng},
    {"profil/npc1.png", person_front, 7, kPng},
    {"profil/npc1_backside.png", person_back, 7, kPng},
    {"profil/npc2.png", person_front, 8, kPng},
    {"profil/npc2_backside.png", person_back, 8, kPng},
    {"profil/npc3.png", person_front, 9, kPng},
    {"profil/npc3_backside.png", person_back, 9, kPng},
    {"profil/npc4.png", person_front, 10, kPng},
    {"profil/npc4_backside.png", person_back, 10, kPng},
    {"profil/npc5.png", person_front, 11, kPng},
    {"profil/npc5_backside.png", person_back, 11, kPng},
    {"profil/npc6.png", person_front, 12, kPng},
    {"profil/npc6_backside.png", person_back, 12, kPng},
    {"profil/npc7.png", person_front, 13, kPng},
    {"profil/npc7_backside.png", person_back, 13, kPng},
    {"profil/npc8.png", person_front, 14, kPng},
    {"profil/npc8_backside.png", person_back, 14, kPng},
    {"profil/npc9.png", person_front, 15, kPng},
    {"profil/npc9_backside.png", person_back, 15, kPng},
    {"profil/npc10.png", person_front, 16, kPng},
    {"profil/npc10_backside.png", person_back, 16, kPng},
    {"profil/sho.png", person_front, 17, kPng},
    {"profil/sho_backside.png", person_back, 17, kPng},
    {"profil/raw_palca.png", [](int) { return media_staff(); }, 0, kPng},
    {"profil/animal_allat1.png", media_animal, 1, kPng},
    {"profil/animal_allat2.png", media_animal, 2, kPng},
    {"profil/animal_allat3.png", media_animal, 3, kPng},
    {"profil/animal_allat4.png", media_animal, 4, kPng},
    {"profil/animal_allat5.png", media_animal, 5, kPng},
};

}  // namespace

MediaList media_people_files() {
    return {kPeopleFiles, sizeof kPeopleFiles / sizeof kPeopleFiles[0]};
}
