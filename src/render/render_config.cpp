#include "render/render_config.h"

RenderConfig render_config;

void render_threads_config(int cap, int boost, int transform_mode, int /*reserved*/) {
    render_config.thread_cap = cap;
    render_config.raster_thread_boost = boost;
    render_config.transform_thread_mode = transform_mode;
}

void raster_split(int mode) {
    render_config.raster_split_mode = mode;
}

void half_height(int flag) {
    render_config.half_height_mode = flag;
}

void set_clear_color(float r, float g, float b) {
    render_config.clear_color[0] = r;
    render_config.clear_color[1] = g;
    render_config.clear_color[2] = b;
    render_config.clear_color[3] = 1.0f;
}

void motion_middle_phase(int value) {
    render_config.motion_phases = value >= 0 ? 3 : 2;
}
