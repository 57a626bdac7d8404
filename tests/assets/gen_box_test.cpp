// Boxes, quads, panels, rooms of panels and the free-id search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "assets/gen_box.h"
#include "geometry_test_util.h"

namespace {

using geomtest::Box3;
using geomtest::extent;
using geomtest::tri_count;

class GenBoxTest : public testing::Test {
  protected:
    void SetUp() override {
        obj_table_reset_all();
        free_id_search = FreeIdSearch{};
    }
    void TearDown() override { obj_table_reset_all(); }
};

TEST_F(GenBoxTest, BoxSpansItsSizesAroundTheOrigin) {
    gen_box(5, 2, 1, 4);
    ASSERT_EQ(tri_count(5, 0), 12);
    const Box3 b = extent(5, 0);
    EXPECT_FLOAT_EQ(b.min.x, -1);
    EXPECT_FLOAT_EQ(b.max.x, 1);
    EXPECT_FLOAT_EQ(b.min.y, -0.5f);
    EXPECT_FLOAT_EQ(b.max.y, 0.5f);
    EXPECT_FLOAT_EQ(b.min.z, -2);
    EXPECT_FLOAT_EQ(b.max.z, 2);
    const PartArrays& pa = obj_table.parts[5];
    EXPECT_EQ(pa.texture[0], 0);
    // The first triangle is the bottom face's (0.5, 0, -0.5), (-0.5, 0, -0.5), (-0.5, 0, 0.5).
    const std::vector<float> first = {1, -0.5f, -2, -1, -0.5f, -2, -1, -0.5f, 2};
    EXPECT_EQ(std::vector<float>(pa.tri_local[0].begin(), pa.tri_local[0].begin() + 9), first);
    // Every face maps the whole texture, in the same corner order.
    const std::vector<float> face_uv = {0, 0, 0, 1, 1, 1, 1, 1, 1, 0, 0, 0};
    for (int f = 0; f < 6; ++f)
        EXPECT_EQ(std::vector<float>(pa.tri_uv[0].begin() + f * 12, pa.tri_uv[0].begin() + f * 12 + 12),
                  face_uv)
            << "face " << f;
    // Faces in the order bottom, top, +z, +x, -z, -x: their first corners' fixed coordinate.
    const float* t = pa.tri_local[0].data();
    EXPECT_FLOAT_EQ(t[1 * 18 + 1], 0.5f);   // top: y
    EXPECT_FLOAT_EQ(t[2 * 18 + 2], 2.0f);   // z = +0.5 face
    EXPECT_FLOAT_EQ(t[3 * 18 + 0], 1.0f);   // x = +0.5 face
    EXPECT_FLOAT_EQ(t[4 * 18 + 2], -2.0f);  // z = -0.5 face
    EXPECT_FLOAT_EQ(t[5 * 18 + 0], -1.0f);  // x = -0.5 face
}

TEST_F(GenBoxTest, BoxBuildersStoreNothingForIdsBelowOne) {
    gen_box(0, 1, 1, 1);
    gen_box_tex(-3, 1, 1, 1, 2);
    gen_tapered_box(0, 1, 1, 1, 1, 1, 1, 0);
    gen_quad(0, 1, 1, 1);
    EXPECT_EQ(obj_table.object_capacity, 0);
}

TEST_F(GenBoxTest, TexturedBoxKeepsItsTexture) {
    gen_box_tex(2, 1, 1, 1, 7);
    EXPECT_EQ(obj_table.parts[2].texture[0], 7);
    obj_set_part0_texture(2, 9);
    EXPECT_EQ(obj_table.parts[2].texture[0], 9);
    obj_set_part0_texture(2, -1);  // ignored
    obj_set_part0_texture(0, 3);   // ignored
    EXPECT_EQ(obj_table.parts[2].texture[0], 9);
    EXPECT_EQ(obj_table.part_capacity[0], 0);
}

TEST_F(GenBoxTest, TaperedBoxHasDifferentTopAndBottomFaces) {
    gen_tapered_box(3, 1.0f, 2.0f, 0.5f, 3.0f, 4.0f, 2.0f, 6);
    ASSERT_EQ(tri_count(3, 0), 12);
    const PartArrays& pa = obj_table.parts[3];
    EXPECT_EQ(pa.texture[0], 6);
    ASSERT_FALSE(pa.tri_uv[0].empty());
    const float* t = pa.tri_local[0].data();
    for (int v = 0; v < 36; ++v) {
        const float x = t[v * 3], y = t[v * 3 + 1], z = t[v * 3 + 2];
        if (y > 0) {
            EXPECT_FLOAT_EQ(y, 1.0f);  // top height / 2
            EXPECT_FLOAT_EQ(std::abs(x), 0.5f);
            EXPECT_FLOAT_EQ(std::abs(z), 0.25f);
        } else {
            EXPECT_FLOAT_EQ(y, -2.0f);  // -bottom height / 2
            EXPECT_FLOAT_EQ(std::abs(x), 1.5f);
            EXPECT_FLOAT_EQ(std::abs(z), 1.0f);
        }
    }
}

TEST_F(GenBoxTest, QuadStandsOnTheGroundInThePlaneZZero) {
    gen_quad(4, 3, 2, 3);
    ASSERT_EQ(tri_count(4, 0), 2);
    const Box3 b = extent(4, 0);
    EXPECT_FLOAT_EQ(b.min.x, -1);
    EXPECT_FLOAT_EQ(b.max.x, 1);
    EXPECT_FLOAT_EQ(b.min.y, 0);
    EXPECT_FLOAT_EQ(b.max.y, 3);
    EXPECT_FLOAT_EQ(b.min.z, 0);
    EXPECT_FLOAT_EQ(b.max.z, 0);
    EXPECT_EQ(obj_table.parts[4].texture[0], 3);
    EXPECT_FALSE(obj_table.parts[4].tri_uv[0].empty());
}

TEST_F(GenBoxTest, PanelCellsAndTextureCoordinates) {
    gen_panel(1, 2, 3.0f, 2.0f, 3, 2);
    ASSERT_EQ(tri_count(1, 2), 12);
    const PartArrays& pa = obj_table.parts[1];
    EXPECT_EQ(pa.texture[2], 0);
    const Box3 b = extent(1, 2);
    EXPECT_FLOAT_EQ(b.min.x, -1.5f);
    EXPECT_FLOAT_EQ(b.max.x, 1.5f);
    EXPECT_FLOAT_EQ(b.min.y, -1);
    EXPECT_FLOAT_EQ(b.max.y, 1);
    EXPECT_FLOAT_EQ(b.max.z, 0);
    EXPECT_FLOAT_EQ(b.min.z, 0);
    const float* t = pa.tri_local[2].data();
    const float* uv = pa.tri_uv[2].data();
    float umin = 9, umax = -9, vmin = 9, vmax = -9;
    for (int v = 0; v < 36; ++v) {
        const float x = t[v * 3], y = t[v * 3 + 1], u = uv[v * 2], vv = uv[v * 2 + 1];
        // u is the column fraction, v = 1 - row fraction: 1 on the bottom edge, 0 on the top.
        EXPECT_FLOAT_EQ(u, (x + 1.5f) / 3.0f);
        EXPECT_FLOAT_EQ(vv, 1.0f - (y + 1.0f) / 2.0f);
        umin = std::min(umin, u), umax = std::max(umax, u);
        vmin = std::min(vmin, vv), vmax = std::max(vmax, vv);
    }
    EXPECT_EQ(umin, 0.0f);
    EXPECT_EQ(umax, 1.0f);
    EXPECT_EQ(vmin, 0.0f);
    EXPECT_EQ(vmax, 1.0f);
    // The first cell: (x0, y0), (x1, y0), (x1, y1) and (x0, y0), (x1, y1), (x0, y1).
    const std::vector<float> cell = {-1.5f, -1, 0, -0.5f, -1, 0, -0.5f, 0, 0,
                                     -1.5f, -1, 0, -0.5f, 0,  0, -1.5f, 0, 0};
    EXPECT_EQ(std::vector<float>(t, t + 18), cell);
    EXPECT_FLOAT_EQ(uv[1], 1.0f);  // the bottom row's lower edge
}

TEST_F(GenBoxTest, PanelSubdivisionsAndRefusals) {
    gen_panel_rows(1, 0, 1, 1, 4);
    gen_panel_columns(1, 1, 1, 1, 5);
    gen_panel_tenths(1, 2, 1, 1, 3);
    EXPECT_EQ(tri_count(1, 0), 8);
    EXPECT_EQ(tri_count(1, 1), 10);
    EXPECT_EQ(tri_count(1, 2), 60);
    // No cells, a negative part or an id below 1: nothing stored.
    gen_panel(2, 0, 1, 1, 0, 3);
    gen_panel(2, 0, 1, 1, 3, -1);
    gen_panel(2, -1, 1, 1, 3, 3);
    gen_panel(0, 0, 1, 1, 3, 3);
    EXPECT_TRUE(!obj_valid(2) || !obj_table.has_geometry[2]);
    EXPECT_TRUE(!obj_valid(0) || !obj_table.has_geometry[0]);
    // A count beyond what a part may hold is refused rather than allocated.
    gen_panel(3, 0, 1, 1, 1 << 16, 1 << 16);
    EXPECT_TRUE(!obj_valid(3) || !obj_table.has_geometry[3]);
}

TEST_F(GenBoxTest, CubePanelsWithoutMergeFillFiveParts) {
    gen_cube_panels(6, 2, 3, 4, 0);
    ASSERT_EQ(obj_table.part_count[6], 6);
    EXPECT_EQ(tri_count(6, 0), 2 * 2 * 3);  // front a x b
    EXPECT_EQ(tri_count(6, 1), 2 * 2 * 4);  // top a x c
    EXPECT_EQ(tri_count(6, 2), 2 * 2 * 3);  // back
    EXPECT_EQ(tri_count(6, 3), 0);          // the floor stays empty
    EXPECT_EQ(tri_count(6, 4), 2 * 3 * 4);  // sides b x c
    EXPECT_EQ(tri_count(6, 5), 2 * 3 * 4);
    const Box3 front = extent(6, 0), top = extent(6, 1), back = extent(6, 2), left = extent(6, 4),
               right = extent(6, 5);
    EXPECT_FLOAT_EQ(front.min.z, -0.5f);
    EXPECT_FLOAT_EQ(front.max.z, -0.5f);
    EXPECT_FLOAT_EQ(back.min.z, 0.5f);
    EXPECT_FLOAT_EQ(top.min.y, 0.5f);
    EXPECT_FLOAT_EQ(top.max.y, 0.5f);
    EXPECT_FLOAT_EQ(top.min.z, -0.5f);
    EXPECT_FLOAT_EQ(top.max.z, 0.5f);
    EXPECT_FLOAT_EQ(left.min.x, -0.5f);
    EXPECT_FLOAT_EQ(left.max.x, -0.5f);
    EXPECT_FLOAT_EQ(right.min.x, 0.5f);
    EXPECT_FLOAT_EQ(left.min.y, -0.5f);
    EXPECT_FLOAT_EQ(left.max.z, 0.5f);
}

TEST_F(GenBoxTest, CubePanelsWithMergeHoldEverythingInPartZero) {
    gen_cube_panels(6, 2, 3, 4, 1);
    EXPECT_EQ(tri_count(6, 0), 12 + 16 + 12 + 24 + 24);
    for (int p = 1; p < obj_table.part_count[6]; ++p) EXPECT_EQ(tri_count(6, p), 0) << p;
    const Box3 b = extent(6, 0);
    EXPECT_FLOAT_EQ(b.min.x, -0.5f);
    EXPECT_FLOAT_EQ(b.max.x, 0.5f);
    EXPECT_FLOAT_EQ(b.min.z, -0.5f);
    EXPECT_FLOAT_EQ(b.max.y, 0.5f);
    EXPECT_EQ(obj_table.parts[6].tri_uv[0].size(), static_cast<size_t>(88 * TRI_UV_FLOATS));
}

TEST_F(GenBoxTest, RoomsUseTheirSubdivisions) {
    gen_room(7, 4, 3, 2.0f, 1.0f, 6.0f, 0);
    EXPECT_EQ(tri_count(7, 0), 2 * 4 * 1);
    EXPECT_EQ(tri_count(7, 1), 2 * 4 * 3);
    EXPECT_EQ(tri_count(7, 4), 2 * 1 * 3);
    const Box3 front = extent(7, 0), top = extent(7, 1), right = extent(7, 5);
    EXPECT_FLOAT_EQ(front.min.x, -1);
    EXPECT_FLOAT_EQ(front.max.y, 0.5f);
    EXPECT_FLOAT_EQ(front.min.z, -3);
    EXPECT_FLOAT_EQ(top.min.y, 0.5f);
    EXPECT_FLOAT_EQ(top.max.z, 3);
    EXPECT_FLOAT_EQ(right.min.x, 1);
    EXPECT_FLOAT_EQ(right.min.y, -0.5f);
    EXPECT_FLOAT_EQ(right.max.z, 3);

    gen_room_fine(8, 4, 3, 2.0f, 1.0f, 6.0f, 0);
    EXPECT_EQ(tri_count(8, 0), 2 * 10 * 4);
    EXPECT_EQ(tri_count(8, 1), 2 * 10 * 3);
    EXPECT_EQ(tri_count(8, 5), 2 * 4 * 3);

    gen_room(9, 4, 3, 2.0f, 1.0f, 6.0f, 1);
    EXPECT_EQ(tri_count(9, 0), 8 + 24 + 8 + 6 + 6);
}

// A tiled room shows its textures at one world scale: along every edge of every triangle the texture
// coordinates change by the distance over the tile, all of them within one repeat (0..1), and on the
// four sides v runs down from the top edge so that courses stay level all round.
TEST_F(GenBoxTest, TiledRoomRepeatsItsTexturesAtTheirWorldSize) {
    const float width = 2.5f, height = 1, depth = 3;
    gen_room_tiled(7, width, height, depth, {1, 1}, {2, 2}, 0);
    struct Face {
        int part;
        float tile;
        int cells;
        int u_axis, v_axis;  // world axes (0 x, 1 y, 2 z) the coordinates follow
    };
    const Face faces[] = {
        {0, 1, 3, 0, 1}, {1, 2, 9, 0, 2}, {2, 1, 3, 0, 1}, {4, 1, 3, 2, 1}, {5, 1, 3, 2, 1}};
    for (const Face& f : faces) {
        SCOPED_TRACE(f.part);
        ASSERT_EQ(tri_count(7, f.part), 2 * f.cells);
        const PartArrays& pa = obj_table.parts[7];
        const std::vector<float>& t = pa.tri_local[static_cast<size_t>(f.part)];
        const std::vector<float>& uv = pa.tri_uv[static_cast<size_t>(f.part)];
        float u_max = 0;
        for (size_t tri = 0; tri < static_cast<size_t>(2 * f.cells); ++tri) {
            for (size_t a = 0; a < 3; ++a) {
                const size_t i = tri * 3 + a, j = tri * 3 + (a + 1) % 3;
                for (int k = 0; k < 2; ++k) {
                    EXPECT_GE(uv[i * 2 + static_cast<size_t>(k)], 0.0f);
                    EXPECT_LE(uv[i * 2 + static_cast<size_t>(k)], 1.0f);
                }
                const float du = uv[j * 2] - uv[i * 2], dv = uv[j * 2 + 1] - uv[i * 2 + 1];
                const float dp =
                    t[j * 3 + static_cast<size_t>(f.u_axis)] - t[i * 3 + static_cast<size_t>(f.u_axis)];
                const float dq =
                    t[j * 3 + static_cast<size_t>(f.v_axis)] - t[i * 3 + static_cast<size_t>(f.v_axis)];
                EXPECT_NEAR(std::fabs(du) * f.tile, std::fabs(dp), 1e-5f);
                EXPECT_NEAR(std::fabs(dv) * f.tile, std::fabs(dq), 1e-5f);
                if (f.v_axis == 1) {
                    EXPECT_NEAR(dv * f.tile, -dq, 1e-5f) << "v grows downwards";
                }
                u_max = std::max(u_max, uv[i * 2]);
            }
        }
        EXPECT_FLOAT_EQ(u_max, 1.0f);
    }
    // On the sides v is 0 along the top edge and 1 along the bottom one (one metre, one tile).
    const std::vector<float>& side = obj_table.parts[7].tri_local[4];
    const std::vector<float>& side_uv = obj_table.parts[7].tri_uv[4];
    for (size_t i = 0; i < side.size() / 3; ++i) EXPECT_FLOAT_EQ(side_uv[i * 2 + 1], 0.5f - side[i * 3 + 1]);
    // The front's last repeat is cut short at its right edge: 2.5 m hold two and a half.
    const std::vector<float>& front = obj_table.parts[7].tri_local[0];
    const std::vector<float>& front_uv = obj_table.parts[7].tri_uv[0];
    for (size_t i = 0; i < front.size() / 3; ++i)
        if (front[i * 3] == width / 2) {
            EXPECT_FLOAT_EQ(front_uv[i * 2], 0.5f);
        }
    // Wild sizes store nothing.
    gen_room_tiled(8, width, height, depth, {0, 1}, {2, 0}, 0);
    gen_room_tiled(9, 1e9f, 1e9f, 1e9f, {0.001f, 1}, {0.001f, 1}, 0);
    for (int p : {0, 1, 2, 4, 5}) {
        EXPECT_EQ(tri_count(8, p), 0);
        EXPECT_EQ(tri_count(9, p), 0);
    }
}

TEST_F(GenBoxTest, SmallCubeIsFiveOneCellPanels) {
    gen_small_cube(3);
    for (int p : {0, 1, 2, 4, 5}) EXPECT_EQ(tri_count(3, p), 2) << p;
    EXPECT_EQ(tri_count(3, 3), 0);
    EXPECT_FLOAT_EQ(extent(3, 0).min.z, -0.1f);
    EXPECT_FLOAT_EQ(extent(3, 1).min.y, 0.1f);
    EXPECT_FLOAT_EQ(extent(3, 4).min.x, -0.1f);
    EXPECT_FLOAT_EQ(extent(3, 5).max.x, 0.1f);
    EXPECT_FLOAT_EQ(extent(3, 5).min.y, -0.1f);
}

TEST_F(GenBoxTest, FreeIdsSkipNamedAndFilledSlotsAndComeBackAfterTheResetCall) {
    obj_set_name(1, "statue");
    gen_box(2, 1, 1, 1);
    EXPECT_EQ(obj_free_id(), 3);
    EXPECT_EQ(obj_free_id(), 4);  // increasing, although 3 is still free
    gen_box(5, 1, 1, 1);
    EXPECT_EQ(obj_free_id(), 6);
    // The search grows the table at its end.
    for (int i = 0; i < 20; ++i) obj_free_id();
    EXPECT_GE(obj_table.object_capacity, 27);
    // Calls 24 .. 512 go on upwards; the 513th starts from 1 again and finds the freed slot 2.
    obj_reset(2);
    ObjectId last = 0;
    for (int call = 24; call <= 512; ++call) last = obj_free_id();
    EXPECT_GT(last, 500);
    EXPECT_EQ(obj_free_id(), 2);
    EXPECT_EQ(obj_free_id(), 3);
}

}  // namespace
