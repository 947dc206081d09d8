// The engine's declarations for the pointer beyond the core interface: the custom cursor
// picture of on_cursor_change, the drag data of start_dragging and drag_target_drag_enter,
// and the drag operation bits. Written slot by slot in the engine's order for the same
// revision as engine_abi.h; the static_asserts pin every size and offset.
// Declarations only: any thread (the engine says which thread may call what).
#pragma once
#include "base/portable/engine_abi.h"

struct cef_image_t;
struct cef_stream_writer_t;

// cef_drag_operations_mask_t values (bits).
enum : int {
  DRAG_OPERATION_NONE = 0,
  DRAG_OPERATION_COPY = 1,
  DRAG_OPERATION_LINK = 2,
  DRAG_OPERATION_GENERIC = 4,
  DRAG_OPERATION_PRIVATE = 8,
  DRAG_OPERATION_MOVE = 16,
  DRAG_OPERATION_DELETE = 32,
  DRAG_OPERATION_EVERY = (int)0xFFFFFFFFu,
};

// A custom cursor's picture: BGRA pixels of `size`, valid only during on_cursor_change.
struct cef_cursor_info_t {
  cef_point_t hotspot;
  float image_scale_factor;
  void* buffer;
  cef_size_t size;
};

// What a page drags (library-implemented, reference counted). The data given to
// start_dragging is read-only.
struct cef_drag_data_t {
  cef_base_ref_counted_t base;
  cef_drag_data_t*(CEF_CALLBACK* clone)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_read_only)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_link)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_fragment)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_file)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_url)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_title)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_metadata)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_text)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_html)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_base_url)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_file_name)(cef_drag_data_t* self);
  size_t(CEF_CALLBACK* get_file_contents)(cef_drag_data_t* self, cef_stream_writer_t* writer);
  int(CEF_CALLBACK* get_file_names)(cef_drag_data_t* self, cef_string_list_t names);
  int(CEF_CALLBACK* get_file_paths)(cef_drag_data_t* self, cef_string_list_t paths);
  void(CEF_CALLBACK* set_link_url)(cef_drag_data_t* self, const cef_string_t* url);
  void(CEF_CALLBACK* set_link_title)(cef_drag_data_t* self, const cef_string_t* title);
  void(CEF_CALLBACK* set_link_metadata)(cef_drag_data_t* self, const cef_string_t* data);
  void(CEF_CALLBACK* set_fragment_text)(cef_drag_data_t* self, const cef_string_t* text);
  void(CEF_CALLBACK* set_fragment_html)(cef_drag_data_t* self, const cef_string_t* html);
  void(CEF_CALLBACK* set_fragment_base_url)(cef_drag_data_t* self, const cef_string_t* base_url);
  void(CEF_CALLBACK* reset_file_contents)(cef_drag_data_t* self);
  void(CEF_CALLBACK* add_file)(cef_drag_data_t* self, const cef_string_t* path, const cef_string_t* display_name);
  void(CEF_CALLBACK* clear_filenames)(cef_drag_data_t* self);
  cef_image_t*(CEF_CALLBACK* get_image)(cef_drag_data_t* self);
  cef_point_t(CEF_CALLBACK* get_image_hotspot)(cef_drag_data_t* self);
  int(CEF_CALLBACK* has_image)(cef_drag_data_t* self);
};

typedef cef_drag_data_t* (*cef_drag_data_create_fn)(void);

#define NIMO_ABI_SIZE(type, bytes) static_assert(sizeof(type) == (bytes), "size of " #type)
#define NIMO_ABI_OFFSET(type, member, off) \
  static_assert(offsetof(type, member) == (off), "offset of " #type "::" #member)
NIMO_ABI_OFFSET(cef_cursor_info_t, hotspot, 0);
NIMO_ABI_OFFSET(cef_cursor_info_t, image_scale_factor, 8);
NIMO_ABI_OFFSET(cef_cursor_info_t, buffer, 16);
NIMO_ABI_OFFSET(cef_cursor_info_t, size, 24);
NIMO_ABI_SIZE(cef_cursor_info_t, 32);
NIMO_ABI_OFFSET(cef_drag_data_t, base, 0);
NIMO_ABI_OFFSET(cef_drag_data_t, clone, 40);
NIMO_ABI_OFFSET(cef_drag_data_t, is_read_only, 48);
NIMO_ABI_OFFSET(cef_drag_data_t, is_link, 56);
NIMO_ABI_OFFSET(cef_drag_data_t, is_fragment, 64);
NIMO_ABI_OFFSET(cef_drag_data_t, is_file, 72);
NIMO_ABI_OFFSET(cef_drag_data_t, get_link_url, 80);
NIMO_ABI_OFFSET(cef_drag_data_t, get_link_title, 88);
NIMO_ABI_OFFSET(cef_drag_data_t, get_link_metadata, 96);
NIMO_ABI_OFFSET(cef_drag_data_t, get_fragment_text, 104);
NIMO_ABI_OFFSET(cef_drag_data_t, get_fragment_html, 112);
NIMO_ABI_OFFSET(cef_drag_data_t, get_fragment_base_url, 120);
NIMO_ABI_OFFSET(cef_drag_data_t, get_file_name, 128);
NIMO_ABI_OFFSET(cef_drag_data_t, get_file_contents, 136);
NIMO_ABI_OFFSET(cef_drag_data_t, get_file_names, 144);
NIMO_ABI_OFFSET(cef_drag_data_t, get_file_paths, 152);
NIMO_ABI_OFFSET(cef_drag_data_t, set_link_url, 160);
NIMO_ABI_OFFSET(cef_drag_data_t, set_link_title, 168);
NIMO_ABI_OFFSET(cef_drag_data_t, set_link_metadata, 176);
NIMO_ABI_OFFSET(cef_drag_data_t, set_fragment_text, 184);
NIMO_ABI_OFFSET(cef_drag_data_t, set_fragment_html, 192);
NIMO_ABI_OFFSET(cef_drag_data_t, set_fragment_base_url, 200);
NIMO_ABI_OFFSET(cef_drag_data_t, reset_file_contents, 208);
NIMO_ABI_OFFSET(cef_drag_data_t, add_file, 216);
NIMO_ABI_OFFSET(cef_drag_data_t, clear_filenames, 224);
NIMO_ABI_OFFSET(cef_drag_data_t, get_image, 232);
NIMO_ABI_OFFSET(cef_drag_data_t, get_image_hotspot, 240);
NIMO_ABI_OFFSET(cef_drag_data_t, has_image, 248);
NIMO_ABI_SIZE(cef_drag_data_t, 256);
#undef NIMO_ABI_SIZE
#undef NIMO_ABI_OFFSET
