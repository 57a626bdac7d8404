// The element pass: every visible slot and its visible children advance their animation and become
// draw commands (text elements through text layout). Runs on the thread that prepares the overlay (the
// main thread or the overlay worker) while no element changes.
#include <algorithm>
#include <cstdint>

#include "display/framebuffer.h"
#include "overlay/elements.h"
#include "overlay/overlay.h"
#include "overlay/text.h"

namespace {

struct Quad {
    float x[4], y[4];  // top-left, bottom-left, bottom-right, top-right
};

Quad quad_of(float x, float y, float width, float height) {
    return Quad{{x, x, x + width, x + width}, {y, y + height, y + height, y}};
}

void turn(Quad& q, float degrees, float aspect, float scale, float cx, float cy) {
    quad_rotate(q.x[0], q.y[0], q.x[1], q.y[1], q.x[2], q.y[2], q.x[3], q.y[3], degrees, aspect, scale, cx,
                cy);
}

// Frame width / height: turns keep shapes square although a normalised x unit is not a y unit.
float frame_aspect() {
    const FrameBuffer& fb = frame_buffer;
    return fb.fb_height > 0 ? static_cast<float>(fb.fb_width) / static_cast<float>(fb.fb_height) : 1.0f;
}

// Reads and clears the element's one-shot redraw flag.
int take_redraw(OverlayElements& e, size_t i) {
    const int force = e.redraw[i] != 0;
    e.redraw[i] = 0;
    return force;
}

void submit_quad(const Quad& q, const OverlayElements& e, size_t i, int force, const float* clip) {
    overlay_submit(q.x[0], q.y[0], q.x[1], q.y[1], 0, 0, 1, 1, e.texture[i], e.red[i], e.green[i], e.blue[i],
                   overlay_opacity(e.alpha[i]), 1, q.x[2], q.y[2], q.x[3], q.y[3], 1, force, clip);
}

void emit_slot(OverlayElements& slots, int slot, float aspect) {
    const size_t i = static_cast<size_t>(slot);
    const int force = take_redraw(slots, i);
    const float x = slots.x[i], y = slots.y[i], w = slots.width[i], h = slots.height[i];
    const float rotation = slots.rotation[i], zoom = slots.zoom[i];
    const float* clip = &slots.clip[i * OVERLAY_CLIP_FLOATS];
    if (rotation != 0.0f) {
        Quad q = quad_of(x, y, w, h);
        turn(q, rotation, aspect, zoom + 1.0f, x + w * 0.5f, y + h * 0.5f);
        submit_quad(q, slots, i, force, clip);
        return;
    }
    float x0 = x, y0 = y, x1 = x + w, y1 = y + h;
    if (zoom != 0.0f) {
        const float s = zoom + 1.0f, cx = x + w * 0.5f, cy = y + h * 0.5f;
        x0 = cx - w * 0.5f * s;
        x1 = cx + w * 0.5f * s;
        y0 = cy - h * 0.5f * s;
        y1 = cy + h * 0.5f * s;
    }
    overlay_submit(x0, y0, x1, y1, 0, 0, 1, 1, slots.texture[i], slots.red[i], slots.green[i], slots.blue[i],
                   overlay_opacity(slots.alpha[i]), 0, 0, 0, 0, 0, 1, force, clip);
}

// A child lives in its slot's 0..1 box and turns with the slot.
void emit_child(const OverlayElements& slots, int slot, OverlayElements& children, int child, float aspect) {
    const size_t p = static_cast<size_t>(slot), i = static_cast<size_t>(child);
    const int force = take_redraw(children, i);
    const float px = slots.x[p], py = slots.y[p], pw = slots.width[p], ph = slots.height[p];
    const float pcx = px + pw * 0.5f, pcy = py + ph * 0.5f, pscale = slots.zoom[p] + 1.0f;
    auto to_frame = [&](Quad& q) {
        for (int k = 0; k < 4; ++k) {
            q.x[k] = px + q.x[k] * pw;
            q.y[k] = py + q.y[k] * ph;
        }
        turn(q, slots.rotation[p], aspect, pscale, pcx, pcy);
    };
    const float x = children.x[i], y = children.y[i], w = children.width[i], h = children.height[i];
    Quad q = quad_of(x, y, w, h);
    turn(q, children.rotation[i], aspect, children.zoom[i] + 1.0f, x + w * 0.5f, y + h * 0.5f);
    to_frame(q);
    const float* own_clip = &children.clip[i * OVERLAY_CLIP_FLOATS];
    float clip[OVERLAY_CLIP_FLOATS];
    for (int k = 0; k < OVERLAY_CLIP_FLOATS; ++k) clip[k] = own_clip[k];
    if (own_clip[0] >= -1.0f) {
        Quad c{{own_clip[0], own_clip[2], own_clip[4], own_clip[6]},
               {own_clip[1], own_clip[3], own_clip[5], own_clip[7]}};
        to_frame(c);
        for (int k = 0; k < 4; ++k) {
            clip[2 * k] = c.x[k];
            clip[2 * k + 1] = c.y[k];
        }
    }
    submit_quad(q, children, i, force, clip);
}

// The commands the visible slots first..end - 1 and their visible children add to a list holding
// `count`, as the pass below would submit them; the count reached, or a little past the cap once it
// is passed (the walk stops there).
int64_t unit_commands(const OverlayTable& table, int first, int end, int64_t count) {
    const OverlayElements& slots = table.slots;
    for (int s = first; s < end && count <= DRAW_LIST_MAX; ++s) {
        const size_t i = static_cast<size_t>(s);
        if (slots.visible[i] <= 0) continue;
        count += slots.text[i].empty() ? 1 : text_command_count(s, -1, count);
        if (i >= table.children.size()) continue;
        const OverlayElements& children = table.children[i];
        for (int c = 0; c < children.count; ++c) {
            const size_t k = static_cast<size_t>(c);
            if (children.visible[k] <= 0) continue;
            count += children.text[k].empty() ? 1 : text_command_count(s, c, count);
        }
    }
    return count;
}

// A caption left out at the cap still takes its animation step, so it stays in step with the rest.
void animate_unit(OverlayTable& table, int first, int end) {
    OverlayElements& slots = table.slots;
    for (int s = first; s < end; ++s) {
        const size_t i = static_cast<size_t>(s);
        if (slots.visible[i] <= 0) continue;
        overlay_animate(slots, s);
        if (i >= table.children.size()) continue;
        OverlayElements& children = table.children[i];
        for (int c = 0; c < children.count; ++c) {
            if (children.visible[static_cast<size_t>(c)] > 0) overlay_animate(children, c);
        }
    }
}

}  // namespace

int overlay_build() {
    OverlayTable& table = overlay_table;
    OverlayElements& slots = table.slots;
    const float aspect = frame_aspect();
    int any = slots.count > 0 && slots.visible[0] > 0;
    int caption_end = 0;  // slots below this belong to a caption already let in
    for (int s = 1; s < slots.count; ++s) {
        const size_t i = static_cast<size_t>(s);
        if (s >= caption_end && slots.caption_slots[i] > 0) {
            // An outlined caption is many one-glyph slots: near the cap it goes in whole or not at all,
            // so that no character loses its ink or part of its outline.
            const int end =
                static_cast<int>(std::min<int64_t>(int64_t{s} + slots.caption_slots[i], slots.count));
            caption_end = end;
            if (unit_commands(table, s, end, overlay_state.draw.count) > DRAW_LIST_MAX) {
                for (int k = s; k < end && !any; ++k) any = slots.visible[static_cast<size_t>(k)] > 0;
                animate_unit(table, s, end);
                s = end - 1;
                continue;
            }
        }
        if (slots.visible[i] <= 0) continue;
        any = 1;
        overlay_animate(slots, s);
        if (!slots.text[i].empty()) {
            text_layout(s, -1);
        } else {
            emit_slot(slots, s, aspect);
        }
        if (i >= table.children.size()) continue;
        OverlayElements& children = table.children[i];
        for (int c = 0; c < children.count; ++c) {
            const size_t k = static_cast<size_t>(c);
            if (children.visible[k] <= 0) continue;
            overlay_animate(children, c);
            if (!children.text[k].empty()) {
                text_layout(s, c);
            } else {
                emit_child(slots, s, children, c, aspect);
            }
        }
    }
    return any;
}

int overlay_frame_prepare() {
    OverlayState& os = overlay_state;
    const int visible = overlay_build();
    if (visible) {
        os.overlay_content = 1;
        overlay_rasterize();
    } else if (overlay_effects_on()) {
        // The merge still runs for the effects: it needs a buffer of the frame's size, and the buffer must
        // no longer show the last elements. One clear, then nothing until elements come back; the clear
        // marks every tile, so they are redrawn then even if unchanged.
        const int resized =
            os.buffer_width != frame_buffer.fb_width || os.buffer_height != frame_buffer.fb_height;
        overlay_buffer_ensure(frame_buffer.fb_width, frame_buffer.fb_height);
        if (os.overlay_content && !resized) overlay_buffer_clear();
        os.overlay_content = 0;
    }
    return visible;
}
