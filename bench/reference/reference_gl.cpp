// The reference renderer's GL side. Fixed-function GL 1.x state plus a frame buffer object, the same
// state for every workload:
// - the frame is an FBO with an RGB8 colour and a 32-bit depth buffer: OSMesa's own buffer has only 24
//   bits of depth, and its 3-byte RGB buffer renders wrongly on llvmpipe; OSMesa only gives the context;
// - depth test GL_LESS with depth writes, cleared to far, as the engine's test (new depth < stored);
// - textures GL_NEAREST, no mipmaps, clamped to the edge, GL_MODULATE (texel x vertex colour): the
//   engine's texel fetch truncates u x width and v x height and clamps to the last texel;
// - parts the engine may blend (an RGBA texture, or a vertex alpha below its opaque threshold) are drawn
//   with the alpha test GREATER 10/255 and SRC_ALPHA, ONE_MINUS_SRC_ALPHA blending: the engine writes
//   nothing at an alpha of 10 or less and blends below 240 with depth written; GL blends the 240..254
//   alphas too, within 6 % of the opaque colour. Opaque parts have both off.
// GL interpolates texture coordinates and colours perspective-correctly, the engine linearly over the
// screen: on near, large triangles of the park the texels taken differ a little; coverage and depth
// order are the same.
#include "reference_gl.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/osmesa.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>

struct RefGlState {
    OSMesaContext context = nullptr;
    uint8_t bound[4 * 4 * 4] = {};  // the 4 x 4 buffer OSMesa needs bound to make the context current
    GLuint fbo = 0, color = 0, depth = 0, vbo = 0;
    std::vector<GLuint> textures;    // GL names, in the order of scene->textures
    std::vector<GLuint> batch_name;  // per batch: its texture's GL name, 0 untextured
};

namespace {

GLuint texture_name(const RefGlState& s, const RefScene& scene, TextureId id) {
    for (size_t i = 0; i < scene.textures.size(); ++i)
        if (scene.textures[i].id == id) return s.textures[i];
    return 0;
}

}  // namespace

bool refgl_open(const RefScene& scene, RefGl& gl) {
    refgl_close(gl);
    RefGlState* s = new RefGlState();
    gl.state = s;
    gl.scene = &scene;
    s->context = OSMesaCreateContextExt(OSMESA_RGBA, 0, 0, 0, nullptr);
    if (!s->context || !OSMesaMakeCurrent(s->context, s->bound, GL_UNSIGNED_BYTE, 4, 4)) {
        std::fprintf(stderr, "reference: no OSMesa context\n");
        refgl_close(gl);
        return false;
    }
    glGenRenderbuffers(1, &s->color);
    glBindRenderbuffer(GL_RENDERBUFFER, s->color);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, scene.width, scene.height);
    glGenRenderbuffers(1, &s->depth);
    glBindRenderbuffer(GL_RENDERBUFFER, s->depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT32, scene.width, scene.height);
    glGenFramebuffers(1, &s->fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, s->fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, s->color);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, s->depth);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        std::fprintf(stderr, "reference: the %d x %d frame buffer object is incomplete\n", scene.width,
                     scene.height);
        refgl_close(gl);
        return false;
    }
    glViewport(0, 0, scene.width, scene.height);
    // Identity matrices: the vertices arrive in clip space.
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    glDisable(GL_LIGHTING);
    glDisable(GL_DITHER);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glDepthMask(GL_TRUE);
    glClearDepth(1.0);
    glClearColor(scene.clear_rgb[0], scene.clear_rgb[1], scene.clear_rgb[2], 1.0f);
    glShadeModel(GL_SMOOTH);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glAlphaFunc(GL_GREATER, 10.0f / 255.0f);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);  // rows of 3-byte texels have any length
    glPixelStorei(GL_PACK_ALIGNMENT, 1);

    s->textures.assign(scene.textures.size(), 0);
    if (!s->textures.empty()) glGenTextures(static_cast<GLsizei>(s->textures.size()), s->textures.data());
    for (size_t i = 0; i < scene.textures.size(); ++i) {
        const RefTexture& t = scene.textures[i];
        glBindTexture(GL_TEXTURE_2D, s->textures[i]);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        const GLenum format = t.channels == 4 ? GL_RGBA : GL_RGB;
        // The engine's first row is v = 0, which is also GL's first row uploaded.
        glTexImage2D(GL_TEXTURE_2D, 0, t.channels == 4 ? GL_RGBA8 : GL_RGB8, t.width, t.height, 0, format,
                     GL_UNSIGNED_BYTE, t.pixels);
    }
    s->batch_name.clear();
    for (const RefBatch& b : scene.batches) s->batch_name.push_back(texture_name(*s, scene, b.texture));

    glGenBuffers(1, &s->vbo);
    glBindBuffer(GL_ARRAY_BUFFER, s->vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(scene.vertices.size() * sizeof(RefVertex)),
                 scene.vertices.data(), GL_STATIC_DRAW);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    const GLsizei stride = sizeof(RefVertex);
    glVertexPointer(4, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(RefVertex, clip)));
    glTexCoordPointer(2, GL_FLOAT, stride, reinterpret_cast<const void*>(offsetof(RefVertex, uv)));
    glColorPointer(4, GL_UNSIGNED_BYTE, stride, reinterpret_cast<const void*>(offsetof(RefVertex, rgba)));
    if (glGetError() != GL_NO_ERROR) {
        std::fprintf(stderr, "reference: GL set-up failed\n");
        refgl_close(gl);
        return false;
    }
    return true;
}

void refgl_frame(RefGl& gl) {
    const RefGlState& s = *gl.state;
    const RefScene& scene = *gl.scene;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    for (size_t i = 0; i < scene.batches.size(); ++i) {
        const RefBatch& b = scene.batches[i];
        if (s.batch_name[i]) {
            glEnable(GL_TEXTURE_2D);
            glBindTexture(GL_TEXTURE_2D, s.batch_name[i]);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        if (b.blend) {
            glEnable(GL_BLEND);
            glEnable(GL_ALPHA_TEST);
        } else {
            glDisable(GL_BLEND);
            glDisable(GL_ALPHA_TEST);
        }
        glDrawArrays(GL_TRIANGLES, b.first, b.count);
    }
    glFinish();
}

void refgl_read_rgb(RefGl& gl, std::vector<uint8_t>& rgb) {
    const int w = gl.scene->width, h = gl.scene->height;
    const size_t row = static_cast<size_t>(w) * 3;
    std::vector<uint8_t> bottom_up(row * static_cast<size_t>(h));
    glReadPixels(0, 0, w, h, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    rgb.resize(bottom_up.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(bottom_up.data() + static_cast<size_t>(h - 1 - y) * row, row,
                    rgb.data() + static_cast<size_t>(y) * row);
}

const char* refgl_renderer(RefGl&) {
    const GLubyte* name = glGetString(GL_RENDERER);
    return name ? reinterpret_cast<const char*>(name) : "";
}

void refgl_close(RefGl& gl) {
    RefGlState* s = gl.state;
    if (!s) return;
    if (s->context) {
        if (s->vbo) glDeleteBuffers(1, &s->vbo);
        if (!s->textures.empty())
            glDeleteTextures(static_cast<GLsizei>(s->textures.size()), s->textures.data());
        if (s->fbo) glDeleteFramebuffers(1, &s->fbo);
        if (s->color) glDeleteRenderbuffers(1, &s->color);
        if (s->depth) glDeleteRenderbuffers(1, &s->depth);
        OSMesaDestroyContext(s->context);
    }
    delete s;
    gl.state = nullptr;
    gl.scene = nullptr;
}
