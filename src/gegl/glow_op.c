/* The GEGL operation shimmerly:glow: Shimmerly's glow on a whole frame of straight R'G'B'A u8.
 * Its properties carry the frei0r filter's names in the controls' own units; the menus are enums
 * whose nicks are the command line's words. The glow needs the whole frame, so the region needed
 * for any output, the cached region and the region a change invalidates are the whole input.
 * The frame is rendered by glow_render.cpp through the public library. */
#ifdef GEGL_PROPERTIES

/* gegl-op.h's property list, laid out as GEGL's own operations lay it out. */
/* clang-format off */
enum_start(shimmerly_glow_mask)
  enum_value(SHIMMERLY_GLOW_MASK_NONE, "none", "None")
  enum_value(SHIMMERLY_GLOW_MASK_ALPHA, "alpha", "Layer Alpha")
  enum_value(SHIMMERLY_GLOW_MASK_BRIGHTNESS, "brightness", "Layer Brightness")
  enum_value(SHIMMERLY_GLOW_MASK_BRIGHTNESS_ALPHA, "brightness-alpha", "Layer Brightness+Alpha")
  enum_value(SHIMMERLY_GLOW_MASK_CIRCLE, "circle", "Circle (5)")
  enum_value(SHIMMERLY_GLOW_MASK_CIRCLE_ALPHA, "circle-alpha", "Circle Alpha (6)")
  enum_value(SHIMMERLY_GLOW_MASK_SQUARE, "square", "Square (7)")
  enum_value(SHIMMERLY_GLOW_MASK_SQUARE_ALPHA, "square-alpha", "Square Alpha (8)")
enum_end(ShimmerlyGlowMask)

enum_start(shimmerly_glow_style)
  enum_value(SHIMMERLY_GLOW_STYLE_FRONT, "front", "Glow In Front")
  enum_value(SHIMMERLY_GLOW_STYLE_IN, "in", "In-Glow")
  enum_value(SHIMMERLY_GLOW_STYLE_OUT, "out", "Out-Glow")
enum_end(ShimmerlyGlowStyle)

enum_start(shimmerly_glow_color_from)
  enum_value(SHIMMERLY_GLOW_COLOR_FROM_CUSTOM, "custom", "Custom Color")
  enum_value(SHIMMERLY_GLOW_COLOR_FROM_LAYER, "layer", "This Layer")
enum_end(ShimmerlyGlowColorFrom)

enum_start(shimmerly_glow_blend)
  enum_value(SHIMMERLY_GLOW_BLEND_NORMAL, "normal", "Normal")
  enum_value(SHIMMERLY_GLOW_BLEND_SCREEN, "screen", "Screen")
  enum_value(SHIMMERLY_GLOW_BLEND_MULTIPLY, "multiply", "Multiply")
  enum_value(SHIMMERLY_GLOW_BLEND_OVERLAY, "overlay", "Overlay")
  enum_value(SHIMMERLY_GLOW_BLEND_ADD, "add", "Add")
  enum_value(SHIMMERLY_GLOW_BLEND_MAGIC_GLUE_1, "magic-glue-1", "Magic Glue 1")
  enum_value(SHIMMERLY_GLOW_BLEND_MAGIC_GLUE_2, "magic-glue-2", "Magic Glue 2")
  enum_value(SHIMMERLY_GLOW_BLEND_MAGIC_GLUE_3, "magic-glue-3", "Magic Glue 3")
enum_end(ShimmerlyGlowBlend)

enum_start(shimmerly_glow_quality)
  enum_value(SHIMMERLY_GLOW_QUALITY_HIGH, "high", "High")
  enum_value(SHIMMERLY_GLOW_QUALITY_LOW, "low", "Low")
enum_end(ShimmerlyGlowQuality)

property_string(preset, "Preset", "")
  description("A preset from your Shimmerly library by name, or a preset file's path; the "
              "properties set to other than their defaults go on top of it")

property_enum(mask, "Mask", ShimmerlyGlowMask, shimmerly_glow_mask, SHIMMERLY_GLOW_MASK_ALPHA)
  description("Which pixels glow: all, the layer's alpha, or a window of brightness")

property_double(bright_cutoff, "Bright Cutoff", 100.0)
  description("Upper end of the brightness window, percent")
  value_range(0.0, 100.0)

property_double(dark_cutoff, "Dark Cutoff", 25.0)
  description("Lower end of the brightness window, percent")
  value_range(0.0, 100.0)

property_boolean(show_target, "Show Target", FALSE)
  description("Show the target as a green preview instead of the glow")

property_enum(glow_style, "Glow Style", ShimmerlyGlowStyle, shimmerly_glow_style,
              SHIMMERLY_GLOW_STYLE_OUT)

property_double(glow_size, "Glow Size", 22.0)
  description("Reach of the glow, pixels")
  value_range(0.0, 1000.0)
  ui_range(0.0, 200.0)
  ui_meta("unit", "pixel-distance")

property_double(softness, "Softness", 80.0)
  description("Percent")
  value_range(0.0, 100.0)

property_enum(color_from, "Glow Color From", ShimmerlyGlowColorFrom, shimmerly_glow_color_from,
              SHIMMERLY_GLOW_COLOR_FROM_CUSTOM)

property_color(color, "Custom Color", "#ffffff")
  description("The glow's colour when Glow Color From is Custom Color")

property_double(trans_boost, "Trans/Boost", 0.0)
  description("Percent: below 0 fades the glow, above 0 strengthens it")
  value_range(-100.0, 100.0)

property_enum(blend, "Blend Mode", ShimmerlyGlowBlend, shimmerly_glow_blend,
              SHIMMERLY_GLOW_BLEND_NORMAL)

property_boolean(effect_only, "Show Effect Only", FALSE)
  description("Output the glow alone instead of the glow on the image")

property_enum(quality, "Quality", ShimmerlyGlowQuality, shimmerly_glow_quality,
              SHIMMERLY_GLOW_QUALITY_HIGH)
  description("High: a smooth three-pass spread; low: one box pass")
/* clang-format on */

#else

/* The labels have no translations; the menus' labels pass through dgettext unchanged. */
#define GETTEXT_PACKAGE "shimmerly"
#define GEGL_OP_FILTER
#define GEGL_OP_NAME shimmerly_glow
#define GEGL_OP_C_SOURCE glow_op.c

#include "gegl-op.h"

#include "gegl/glow_render.h"

static GObjectFinalizeFunc parent_finalize = NULL;

static void prepare(GeglOperation* operation) {
  const Babl* space = gegl_operation_get_source_space(operation, "input");
  const Babl* format = babl_format_with_space("R'G'B'A u8", space);
  gegl_operation_set_format(operation, "input", format);
  gegl_operation_set_format(operation, "output", format);
}

static GeglRectangle whole_input(GeglOperation* operation) {
  const GeglRectangle* box = gegl_operation_source_get_bounding_box(operation, "input");
  GeglRectangle none = {0, 0, 0, 0};
  return box != NULL ? *box : none;
}

static GeglRectangle get_bounding_box(GeglOperation* operation) {
  return whole_input(operation);
}

static GeglRectangle get_required_for_output(GeglOperation* operation, const gchar* input_pad,
                                             const GeglRectangle* roi) {
  (void)input_pad;
  GeglRectangle whole = whole_input(operation);
  /* An endless plane cannot be glowed whole; only the part asked for is read then. */
  return gegl_rectangle_is_infinite_plane(&whole) ? *roi : whole;
}

static GeglRectangle get_cached_region(GeglOperation* operation, const GeglRectangle* roi) {
  GeglRectangle whole = whole_input(operation);
  return gegl_rectangle_is_infinite_plane(&whole) ? *roi : whole;
}

static GeglRectangle get_invalidated_by_change(GeglOperation* operation, const gchar* input_pad,
                                               const GeglRectangle* input_region) {
  (void)input_pad;
  GeglRectangle whole = whole_input(operation);
  return gegl_rectangle_is_infinite_plane(&whole) ? *input_region : whole;
}

static void properties_of(GeglProperties* o, ShimmerlyGeglProperties* p) {
  p->preset = o->preset;
  p->mask = (int)o->mask + 1;
  p->bright_cutoff = o->bright_cutoff;
  p->dark_cutoff = o->dark_cutoff;
  p->show_target = o->show_target;
  p->glow_style = (int)o->glow_style + 1;
  p->glow_size = o->glow_size;
  p->softness = o->softness;
  p->color_from = (int)o->color_from + 1;
  gegl_color_get_pixel(o->color, babl_format("R'G'B' u8"), p->color);
  p->trans_boost = o->trans_boost;
  p->blend = (int)o->blend + 1;
  p->effect_only = o->effect_only;
  p->low_quality = o->quality == SHIMMERLY_GLOW_QUALITY_LOW;
}

/* The frame is read once into one block of memory, rendered there in place and written once to
 * the output. */
static gboolean process(GeglOperation* operation, GeglBuffer* input, GeglBuffer* output,
                        const GeglRectangle* result, gint level) {
  (void)result;
  (void)level;
  GeglProperties* o = GEGL_PROPERTIES(operation);
  const Babl* format = gegl_operation_get_format(operation, "output");
  const GeglRectangle whole = *gegl_buffer_get_extent(input);
  if (whole.width <= 0 || whole.height <= 0) return TRUE;
  if (o->user_data == NULL) o->user_data = shimmerly_gegl_instance_new();

  const gint64 row_bytes = (gint64)whole.width * 4;
  guint8* pixels = g_try_malloc((gsize)(row_bytes * whole.height));
  if (pixels == NULL) {
    g_printerr("shimmerly:glow: no memory for a %dx%d frame\n", whole.width, whole.height);
    return FALSE;
  }
  gegl_buffer_get(input, &whole, 1.0, format, pixels, (gint)row_bytes, GEGL_ABYSS_NONE);
  ShimmerlyGeglProperties properties;
  properties_of(o, &properties);
  shimmerly_gegl_render(o->user_data, &properties, pixels, whole.width, whole.height, row_bytes);
  gegl_buffer_set(output, &whole, 0, format, pixels, (gint)row_bytes);
  g_free(pixels);
  return TRUE;
}

static void finalize(GObject* object) {
  GeglProperties* o = GEGL_PROPERTIES(object);
  shimmerly_gegl_instance_free(o->user_data);
  o->user_data = NULL;
  parent_finalize(object);
}

static void gegl_op_class_init(GeglOpClass* klass) {
  GObjectClass* object_class = G_OBJECT_CLASS(klass);
  GeglOperationClass* operation_class = GEGL_OPERATION_CLASS(klass);
  GeglOperationFilterClass* filter_class = GEGL_OPERATION_FILTER_CLASS(klass);

  parent_finalize = object_class->finalize;
  object_class->finalize = finalize;

  operation_class->prepare = prepare;
  operation_class->get_bounding_box = get_bounding_box;
  operation_class->get_required_for_output = get_required_for_output;
  operation_class->get_cached_region = get_cached_region;
  operation_class->get_invalidated_by_change = get_invalidated_by_change;
  /* The engine runs its own threads over the whole frame; GEGL must not split it. */
  operation_class->threaded = FALSE;
  filter_class->process = process;

  gegl_operation_class_set_keys(
      operation_class, "name", "shimmerly:glow", "title", "Shimmerly Glow", "categories", "light",
      "description",
      "A glow around the bright or opaque parts of the image, as Shimmerly "
      "renders it",
      NULL);
}

#endif
