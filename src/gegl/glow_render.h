/* The GEGL operation's bridge to the public library: the operation (glow_op.c, C, as gegl-op.h
 * is) hands each frame and its properties to shimmerly_gegl_render, which maps them onto
 * shimmerly::Controls, puts them on top of the chosen preset and renders the frame in place. */
#ifndef SHIMMERLY_GEGL_GLOW_RENDER_H
#define SHIMMERLY_GEGL_GLOW_RENDER_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The operation's properties, in the controls' units. Menus count from 1, as the controls do. */
typedef struct ShimmerlyGeglProperties {
  const char* preset; /* "" or NULL for none, a preset name, or a preset file's path */
  int mask;
  double bright_cutoff;
  double dark_cutoff;
  int show_target;
  int glow_style;
  double glow_size;
  double softness;
  int color_from;
  uint8_t color[3];
  double trans_boost;
  int blend;
  int effect_only;
  int low_quality;
} ShimmerlyGeglProperties;

/* One node's engine (threads and working memory kept between frames) and the messages it has
 * already given. */
typedef struct ShimmerlyGeglInstance ShimmerlyGeglInstance;

ShimmerlyGeglInstance* shimmerly_gegl_instance_new(void);
void shimmerly_gegl_instance_free(ShimmerlyGeglInstance* instance);

/* Renders the straight R'G'B'A u8 frame at `pixels` in place. A preset that does not load or a
 * property the engine cannot use is reported on standard error once per node and value; the
 * frame is still rendered with the other properties. Returns 0 when the frame could not be
 * rendered at all (reported too); the pixels are untouched then. Never throws. */
int shimmerly_gegl_render(ShimmerlyGeglInstance* instance,
                          const ShimmerlyGeglProperties* properties, uint8_t* pixels, int64_t width,
                          int64_t height, int64_t row_bytes);

#ifdef __cplusplus
}
#endif

#endif
