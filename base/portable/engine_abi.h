// The engine's plain-function interface, declared by this program for the one engine
// revision it is built for (the 132 release line, UTF-16 strings, Windows x64 layout).
// Every structure is written slot by slot in the engine's order so that each member sits at
// the engine's offset; the static_asserts at the end pin every size and offset, so a wrong
// declaration fails the build on every compiler instead of corrupting memory at run time.
// Platform handles are void* so the header needs no <windows.h> and builds natively too.
// Declarations only: any thread (the engine says which thread may call what).
#pragma once
#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define CEF_CALLBACK __stdcall
#else
#define CEF_CALLBACK
#endif

// ---- Revision -----------------------------------------------------------------------------
// What the engine reports through cef_version_info(0..7) and cef_api_hash(0/1) for the
// revision these layouts were taken from.
#define NIMO_ENGINE_VERSION_STRING "132.3.2+g4997b2f+chromium-132.0.6834.161"
#define NIMO_ENGINE_VERSION_MAJOR 132
#define NIMO_ENGINE_API_HASH_PLATFORM "aafe004dac5cf8b7f0b5ef12518c4a16e150f510"
#define NIMO_ENGINE_API_HASH_UNIVERSAL "3e3393f10c4b95f7516521c8643b9a735fd0c3f3"
// cef_version_info entries: CEF major, minor, patch, commit number, Chromium major, minor,
// build, patch.
static const int kNimoEngineVersionInfo[8] = {132, 3, 2, 3117, 132, 0, 6834, 161};

// ---- Primitive types ----------------------------------------------------------------------
typedef char16_t cef_char_t;
typedef uint32_t cef_color_t;  // 0xAARRGGBB, not premultiplied
typedef void* cef_window_handle_t;
typedef void* cef_cursor_handle_t;
typedef void* cef_event_handle_t;
typedef void* cef_shared_texture_handle_t;
typedef void* cef_string_list_t;
typedef void* cef_string_map_t;
typedef void* cef_string_multimap_t;

struct cef_basetime_t {
  int64_t val;  // microseconds since the Windows epoch
};

struct cef_string_utf16_t;
struct cef_string_utf8_t;
typedef cef_string_utf16_t cef_string_t;
typedef cef_string_utf16_t* cef_string_userfree_utf16_t;
typedef cef_string_utf16_t* cef_string_userfree_t;

// ---- Enumerations (all int-sized) ---------------------------------------------------------
typedef enum {
  TID_UI = 0,
  TID_FILE_BACKGROUND = 1,
  TID_FILE_USER_VISIBLE = 2,
  TID_FILE_USER_BLOCKING = 3,
  TID_PROCESS_LAUNCHER = 4,
  TID_IO = 5,
  TID_RENDERER = 6,
} cef_thread_id_t;

typedef enum { PET_VIEW = 0, PET_POPUP = 1 } cef_paint_element_type_t;

typedef enum {
  KEYEVENT_RAWKEYDOWN = 0,
  KEYEVENT_KEYDOWN = 1,
  KEYEVENT_KEYUP = 2,
  KEYEVENT_CHAR = 3,
} cef_key_event_type_t;

typedef enum { MBT_LEFT = 0, MBT_MIDDLE = 1, MBT_RIGHT = 2 } cef_mouse_button_type_t;

typedef enum { PID_BROWSER = 0, PID_RENDERER = 1 } cef_process_id_t;

typedef enum {
  V8_PROPERTY_ATTRIBUTE_NONE = 0x0,
  V8_PROPERTY_ATTRIBUTE_READONLY = 0x1,
  V8_PROPERTY_ATTRIBUTE_DONTENUM = 0x2,
  V8_PROPERTY_ATTRIBUTE_DONTDELETE = 0x4,
} cef_v8_propertyattribute_t;

typedef enum { RV_CANCEL = 0, RV_CONTINUE = 1, RV_CONTINUE_ASYNC = 2 } cef_return_value_t;

typedef enum {
  LOGSEVERITY_DEFAULT = 0,
  LOGSEVERITY_VERBOSE = 1,
  LOGSEVERITY_DEBUG = LOGSEVERITY_VERBOSE,
  LOGSEVERITY_INFO = 2,
  LOGSEVERITY_WARNING = 3,
  LOGSEVERITY_ERROR = 4,
  LOGSEVERITY_FATAL = 5,
  LOGSEVERITY_DISABLE = 99,
} cef_log_severity_t;

typedef enum {
  LOG_ITEMS_DEFAULT = 0x0,
  LOG_ITEMS_NONE = 0x1,
  LOG_ITEMS_FLAG_PROCESS_ID = 0x2,
  LOG_ITEMS_FLAG_THREAD_ID = 0x4,
  LOG_ITEMS_FLAG_TIME_STAMP = 0x8,
  LOG_ITEMS_FLAG_TICK_COUNT = 0x10,
} cef_log_items_t;

typedef enum { CEF_COLOR_TYPE_RGBA_8888 = 0, CEF_COLOR_TYPE_BGRA_8888 = 1 } cef_color_type_t;

typedef enum {
  EVENTFLAG_NONE = 0x0,
  EVENTFLAG_CAPS_LOCK_ON = 0x1,
  EVENTFLAG_SHIFT_DOWN = 0x2,
  EVENTFLAG_CONTROL_DOWN = 0x4,
  EVENTFLAG_ALT_DOWN = 0x8,
  EVENTFLAG_LEFT_MOUSE_BUTTON = 0x10,
  EVENTFLAG_MIDDLE_MOUSE_BUTTON = 0x20,
  EVENTFLAG_RIGHT_MOUSE_BUTTON = 0x40,
  EVENTFLAG_COMMAND_DOWN = 0x80,
  EVENTFLAG_NUM_LOCK_ON = 0x100,
  EVENTFLAG_IS_KEY_PAD = 0x200,
  EVENTFLAG_IS_LEFT = 0x400,
  EVENTFLAG_IS_RIGHT = 0x800,
  EVENTFLAG_ALTGR_DOWN = 0x1000,
  EVENTFLAG_IS_REPEAT = 0x2000,
} cef_event_flags_t;

// The low byte is the core transition type, the rest are qualifier flags. The engine
// passes it as a 4-byte int, so the high flags arrive as negative values on compilers that
// give this enum a signed type.
typedef enum {
  TT_LINK = 0x0,
  TT_EXPLICIT = 0x1,
  TT_AUTO_BOOKMARK = 0x2,
  TT_AUTO_SUBFRAME = 0x3,
  TT_MANUAL_SUBFRAME = 0x4,
  TT_GENERATED = 0x5,
  TT_AUTO_TOPLEVEL = 0x6,
  TT_FORM_SUBMIT = 0x7,
  TT_RELOAD = 0x8,
  TT_KEYWORD = 0x9,
  TT_KEYWORD_GENERATED = 0xA,
  TT_SOURCE_MASK = 0xFF,
  TT_BLOCKED_FLAG = 0x800000,
  TT_FORWARD_BACK_FLAG = 0x1000000,
  TT_DIRECT_LOAD_FLAG = 0x2000000,
  TT_HOME_PAGE_FLAG = 0x4000000,
  TT_FROM_API_FLAG = 0x8000000,
  TT_CHAIN_START_FLAG = 0x10000000,
  TT_CHAIN_END_FLAG = 0x20000000,
  TT_CLIENT_REDIRECT_FLAG = 0x40000000,
  TT_SERVER_REDIRECT_FLAG = (int)0x80000000u,
  TT_IS_REDIRECT_MASK = (int)0xC0000000u,
  TT_QUALIFIER_MASK = (int)0xFFFFFF00u,
} cef_transition_type_t;

typedef enum {
  CEF_RUNTIME_STYLE_DEFAULT = 0,
  CEF_RUNTIME_STYLE_CHROME = 1,
  CEF_RUNTIME_STYLE_ALLOY = 2,
} cef_runtime_style_t;

typedef enum { STATE_DEFAULT = 0, STATE_ENABLED = 1, STATE_DISABLED = 2 } cef_state_t;

typedef enum {
  TS_ABNORMAL_TERMINATION = 0,
  TS_PROCESS_WAS_KILLED = 1,
  TS_PROCESS_CRASHED = 2,
  TS_PROCESS_OOM = 3,
  TS_LAUNCH_FAILED = 4,
  TS_INTEGRITY_FAILURE = 5,
} cef_termination_status_t;

typedef enum {
  CEF_WOD_UNKNOWN = 0,
  CEF_WOD_CURRENT_TAB = 1,
  CEF_WOD_SINGLETON_TAB = 2,
  CEF_WOD_NEW_FOREGROUND_TAB = 3,
  CEF_WOD_NEW_BACKGROUND_TAB = 4,
  CEF_WOD_NEW_POPUP = 5,
  CEF_WOD_NEW_WINDOW = 6,
  CEF_WOD_SAVE_TO_DISK = 7,
  CEF_WOD_OFF_THE_RECORD = 8,
  CEF_WOD_IGNORE_ACTION = 9,
  CEF_WOD_SWITCH_TO_TAB = 10,
  CEF_WOD_NEW_PICTURE_IN_PICTURE = 11,
  CEF_WOD_MAX_VALUE = CEF_WOD_NEW_PICTURE_IN_PICTURE,
} cef_window_open_disposition_t;

typedef enum {
  VTYPE_INVALID = 0,
  VTYPE_NULL = 1,
  VTYPE_BOOL = 2,
  VTYPE_INT = 3,
  VTYPE_DOUBLE = 4,
  VTYPE_STRING = 5,
  VTYPE_BINARY = 6,
  VTYPE_DICTIONARY = 7,
  VTYPE_LIST = 8,
} cef_value_type_t;

typedef enum {
  RT_MAIN_FRAME = 0,
  RT_SUB_FRAME = 1,
  RT_STYLESHEET = 2,
  RT_SCRIPT = 3,
  RT_IMAGE = 4,
  RT_FONT_RESOURCE = 5,
  RT_SUB_RESOURCE = 6,
  RT_OBJECT = 7,
  RT_MEDIA = 8,
  RT_WORKER = 9,
  RT_SHARED_WORKER = 10,
  RT_PREFETCH = 11,
  RT_FAVICON = 12,
  RT_XHR = 13,
  RT_PING = 14,
  RT_SERVICE_WORKER = 15,
  RT_CSP_REPORT = 16,
  RT_PLUGIN_RESOURCE = 17,
  RT_NAVIGATION_PRELOAD_MAIN_FRAME = 19,
  RT_NAVIGATION_PRELOAD_SUB_FRAME = 20,
} cef_resource_type_t;

typedef enum {
  UR_UNKNOWN = 0,
  UR_SUCCESS = 1,
  UR_IO_PENDING = 2,
  UR_CANCELED = 3,
  UR_FAILED = 4,
} cef_urlrequest_status_t;

typedef enum {
  MENUITEMTYPE_NONE = 0,
  MENUITEMTYPE_COMMAND = 1,
  MENUITEMTYPE_CHECK = 2,
  MENUITEMTYPE_RADIO = 3,
  MENUITEMTYPE_SEPARATOR = 4,
  MENUITEMTYPE_SUBMENU = 5,
} cef_menu_item_type_t;

typedef enum {
  CM_TYPEFLAG_NONE = 0x0,
  CM_TYPEFLAG_PAGE = 0x1,
  CM_TYPEFLAG_FRAME = 0x2,
  CM_TYPEFLAG_LINK = 0x4,
  CM_TYPEFLAG_MEDIA = 0x8,
  CM_TYPEFLAG_SELECTION = 0x10,
  CM_TYPEFLAG_EDITABLE = 0x20,
} cef_context_menu_type_flags_t;

typedef enum {
  CT_POINTER = 0, CT_CROSS, CT_HAND, CT_IBEAM, CT_WAIT, CT_HELP, CT_EASTRESIZE,
  CT_NORTHRESIZE, CT_NORTHEASTRESIZE, CT_NORTHWESTRESIZE, CT_SOUTHRESIZE,
  CT_SOUTHEASTRESIZE, CT_SOUTHWESTRESIZE, CT_WESTRESIZE, CT_NORTHSOUTHRESIZE,
  CT_EASTWESTRESIZE, CT_NORTHEASTSOUTHWESTRESIZE, CT_NORTHWESTSOUTHEASTRESIZE,
  CT_COLUMNRESIZE, CT_ROWRESIZE, CT_MIDDLEPANNING, CT_EASTPANNING, CT_NORTHPANNING,
  CT_NORTHEASTPANNING, CT_NORTHWESTPANNING, CT_SOUTHPANNING, CT_SOUTHEASTPANNING,
  CT_SOUTHWESTPANNING, CT_WESTPANNING, CT_MOVE, CT_VERTICALTEXT, CT_CELL,
  CT_CONTEXTMENU, CT_ALIAS, CT_PROGRESS, CT_NODROP, CT_COPY, CT_NONE, CT_NOTALLOWED,
  CT_ZOOMIN, CT_ZOOMOUT, CT_GRAB, CT_GRABBING, CT_MIDDLE_PANNING_VERTICAL,
  CT_MIDDLE_PANNING_HORIZONTAL, CT_CUSTOM, CT_DND_NONE, CT_DND_MOVE, CT_DND_COPY,
  CT_DND_LINK,
} cef_cursor_type_t;

typedef enum {
  ERR_NONE = 0,
  ERR_FAILED = -2,
  ERR_ABORTED = -3,
  ERR_INVALID_ARGUMENT = -4,
  ERR_INVALID_HANDLE = -5,
  ERR_FILE_NOT_FOUND = -6,
  ERR_TIMED_OUT = -7,
  ERR_FILE_TOO_BIG = -8,
  ERR_UNEXPECTED = -9,
  ERR_ACCESS_DENIED = -10,
  ERR_NOT_IMPLEMENTED = -11,
  ERR_CONNECTION_CLOSED = -100,
  ERR_CONNECTION_RESET = -101,
  ERR_CONNECTION_REFUSED = -102,
  ERR_CONNECTION_ABORTED = -103,
  ERR_CONNECTION_FAILED = -104,
  ERR_NAME_NOT_RESOLVED = -105,
  ERR_INTERNET_DISCONNECTED = -106,
  ERR_SSL_PROTOCOL_ERROR = -107,
  ERR_ADDRESS_INVALID = -108,
  ERR_ADDRESS_UNREACHABLE = -109,
  ERR_CERT_COMMON_NAME_INVALID = -200,
  ERR_CERT_DATE_INVALID = -201,
  ERR_CERT_AUTHORITY_INVALID = -202,
  ERR_INVALID_URL = -300,
  ERR_DISALLOWED_URL_SCHEME = -301,
  ERR_UNKNOWN_URL_SCHEME = -302,
  ERR_TOO_MANY_REDIRECTS = -310,
  ERR_EMPTY_RESPONSE = -324,
  ERR_CACHE_MISS = -400,
  ERR_INSECURE_RESPONSE = -501,
} cef_errorcode_t;

// Enumerations this program only passes through in slot signatures and never interprets;
// they are int-sized like every engine enum.
typedef int cef_horizontal_alignment_t;
typedef int cef_drag_operations_mask_t;
typedef int cef_text_input_mode_t;
typedef int cef_zoom_command_t;
typedef int cef_file_dialog_mode_t;
typedef int cef_referrer_policy_t;
typedef int cef_context_menu_media_type_t;
typedef int cef_context_menu_media_state_flags_t;
typedef int cef_context_menu_edit_state_flags_t;
typedef int cef_quick_menu_edit_state_flags_t;
typedef int cef_menu_color_type_t;

// ---- Structures ---------------------------------------------------------------------------
// Engine objects only reached through pointers here.
struct cef_app_t;
struct cef_render_process_handler_t;
struct cef_v8handler_t;
struct cef_client_t;
struct cef_render_handler_t;
struct cef_life_span_handler_t;
struct cef_load_handler_t;
struct cef_display_handler_t;
struct cef_request_handler_t;
struct cef_resource_request_handler_t;
struct cef_context_menu_handler_t;
struct cef_task_t;
struct cef_command_line_t;
struct cef_browser_t;
struct cef_browser_host_t;
struct cef_frame_t;
struct cef_v8context_t;
struct cef_v8value_t;
struct cef_process_message_t;
struct cef_list_value_t;
struct cef_request_t;
struct cef_callback_t;
struct cef_run_context_menu_callback_t;
struct cef_menu_model_t;
struct cef_context_menu_params_t;
struct cef_accessibility_handler_t;
struct cef_audio_handler_t;
struct cef_auth_callback_t;
struct cef_binary_value_t;
struct cef_browser_process_handler_t;
struct cef_command_handler_t;
struct cef_cookie_access_filter_t;
struct cef_dev_tools_message_observer_t;
struct cef_dialog_handler_t;
struct cef_dictionary_value_t;
struct cef_domnode_t;
struct cef_domvisitor_t;
struct cef_download_handler_t;
struct cef_download_image_callback_t;
struct cef_drag_data_t;
struct cef_drag_handler_t;
struct cef_find_handler_t;
struct cef_focus_handler_t;
struct cef_frame_handler_t;
struct cef_jsdialog_handler_t;
struct cef_keyboard_handler_t;
struct cef_navigation_entry_t;
struct cef_navigation_entry_visitor_t;
struct cef_pdf_print_callback_t;
struct cef_permission_handler_t;
struct cef_post_data_t;
struct cef_print_handler_t;
struct cef_registration_t;
struct cef_request_context_t;
struct cef_resource_bundle_handler_t;
struct cef_resource_handler_t;
struct cef_response_filter_t;
struct cef_response_t;
struct cef_run_file_dialog_callback_t;
struct cef_run_quick_menu_callback_t;
struct cef_scheme_registrar_t;
struct cef_select_client_certificate_callback_t;
struct cef_shared_memory_region_t;
struct cef_sslinfo_t;
struct cef_string_visitor_t;
struct cef_task_runner_t;
struct cef_unresponsive_process_callback_t;
struct cef_urlrequest_client_t;
struct cef_urlrequest_t;
struct cef_v8accessor_t;
struct cef_v8array_buffer_release_callback_t;
struct cef_v8exception_t;
struct cef_v8interceptor_t;
struct cef_v8stack_trace_t;
struct cef_value_t;
struct cef_x509certificate_t;
struct cef_touch_event_t;
struct cef_touch_handle_state_t;
struct cef_cursor_info_t;
struct cef_pdf_print_settings_t;

struct cef_base_ref_counted_t {
  size_t size;
  void(CEF_CALLBACK* add_ref)(cef_base_ref_counted_t* self);
  int(CEF_CALLBACK* release)(cef_base_ref_counted_t* self);
  int(CEF_CALLBACK* has_one_ref)(cef_base_ref_counted_t* self);
  int(CEF_CALLBACK* has_at_least_one_ref)(cef_base_ref_counted_t* self);
};

struct cef_string_utf16_t {
  char16_t* str;
  size_t length;
  void (*dtor)(char16_t* str);
};

struct cef_string_utf8_t {
  char* str;
  size_t length;
  void (*dtor)(char* str);
};

struct cef_main_args_t {
  void* instance;
};

struct cef_rect_t {
  int x;
  int y;
  int width;
  int height;
};

struct cef_point_t {
  int x;
  int y;
};

struct cef_size_t {
  int width;
  int height;
};

// Input-method composition: a range of UTF-16 units and one underline over a range.
struct cef_range_t {
  uint32_t from;
  uint32_t to;
};

typedef enum { CEF_CUS_SOLID = 0, CEF_CUS_DOT = 1, CEF_CUS_DASH = 2, CEF_CUS_NONE = 3 } cef_composition_underline_style_t;

struct cef_composition_underline_t {
  cef_range_t range;
  cef_color_t color;
  cef_color_t background_color;
  int thick;
  cef_composition_underline_style_t style;
};

struct cef_mouse_event_t {
  int x;
  int y;
  uint32_t modifiers;
};

struct cef_key_event_t {
  cef_key_event_type_t type;
  uint32_t modifiers;
  int windows_key_code;
  int native_key_code;
  int is_system_key;
  char16_t character;
  char16_t unmodified_character;
  int focus_on_editable_field;
};

struct cef_screen_info_t {
  float device_scale_factor;
  int depth;
  int depth_per_component;
  int is_monochrome;
  cef_rect_t rect;
  cef_rect_t available_rect;
};

struct cef_popup_features_t {
  int x;
  int xSet;
  int y;
  int ySet;
  int width;
  int widthSet;
  int height;
  int heightSet;
  int isPopup;
};

struct cef_settings_t {
  size_t size;
  int no_sandbox;
  cef_string_t browser_subprocess_path;
  cef_string_t framework_dir_path;
  cef_string_t main_bundle_path;
  int multi_threaded_message_loop;
  int external_message_pump;
  int windowless_rendering_enabled;
  int command_line_args_disabled;
  cef_string_t cache_path;
  cef_string_t root_cache_path;
  int persist_session_cookies;
  cef_string_t user_agent;
  cef_string_t user_agent_product;
  cef_string_t locale;
  cef_string_t log_file;
  cef_log_severity_t log_severity;
  cef_log_items_t log_items;
  cef_string_t javascript_flags;
  cef_string_t resources_dir_path;
  cef_string_t locales_dir_path;
  int remote_debugging_port;
  int uncaught_exception_stack_size;
  cef_color_t background_color;
  cef_string_t accept_language_list;
  cef_string_t cookieable_schemes_list;
  int cookieable_schemes_exclude_defaults;
  cef_string_t chrome_policy_id;
  int chrome_app_icon_id;
};

struct cef_browser_settings_t {
  size_t size;
  int windowless_frame_rate;
  cef_string_t standard_font_family;
  cef_string_t fixed_font_family;
  cef_string_t serif_font_family;
  cef_string_t sans_serif_font_family;
  cef_string_t cursive_font_family;
  cef_string_t fantasy_font_family;
  int default_font_size;
  int default_fixed_font_size;
  int minimum_font_size;
  int minimum_logical_font_size;
  cef_string_t default_encoding;
  cef_state_t remote_fonts;
  cef_state_t javascript;
  cef_state_t javascript_close_windows;
  cef_state_t javascript_access_clipboard;
  cef_state_t javascript_dom_paste;
  cef_state_t image_loading;
  cef_state_t image_shrink_standalone_to_fit;
  cef_state_t text_area_resize;
  cef_state_t tab_to_links;
  cef_state_t local_storage;
  cef_state_t databases;
  cef_state_t webgl;
  cef_color_t background_color;
  cef_state_t chrome_status_bubble;
  cef_state_t chrome_zoom_bubble;
};

struct cef_window_info_t {
  uint32_t ex_style;
  cef_string_t window_name;
  uint32_t style;
  cef_rect_t bounds;
  cef_window_handle_t parent_window;
  void* menu;
  int windowless_rendering_enabled;
  int shared_texture_enabled;
  int external_begin_frame_enabled;
  cef_window_handle_t window;
  cef_runtime_style_t runtime_style;
};

struct cef_accelerated_paint_info_common_t {
  uint64_t timestamp;
  cef_size_t coded_size;
  cef_rect_t visible_rect;
  cef_rect_t content_rect;
  cef_size_t source_size;
  cef_rect_t capture_update_rect;
  cef_rect_t region_capture_rect;
  uint64_t capture_counter;
  uint8_t has_capture_update_rect;
  uint8_t has_region_capture_rect;
  uint8_t has_source_size;
  uint8_t has_capture_counter;
};

struct cef_accelerated_paint_info_t {
  cef_shared_texture_handle_t shared_texture_handle;
  cef_color_type_t format;
  cef_accelerated_paint_info_common_t extra;
};

struct cef_app_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* on_before_command_line_processing)(cef_app_t* self, const cef_string_t* process_type, cef_command_line_t* command_line);
  void(CEF_CALLBACK* on_register_custom_schemes)(cef_app_t* self, cef_scheme_registrar_t* registrar);
  cef_resource_bundle_handler_t*(CEF_CALLBACK* get_resource_bundle_handler)(cef_app_t* self);
  cef_browser_process_handler_t*(CEF_CALLBACK* get_browser_process_handler)(cef_app_t* self);
  cef_render_process_handler_t*(CEF_CALLBACK* get_render_process_handler)(cef_app_t* self);
};

struct cef_render_process_handler_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* on_web_kit_initialized)(cef_render_process_handler_t* self);
  void(CEF_CALLBACK* on_browser_created)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_dictionary_value_t* extra_info);
  void(CEF_CALLBACK* on_browser_destroyed)(cef_render_process_handler_t* self, cef_browser_t* browser);
  cef_load_handler_t*(CEF_CALLBACK* get_load_handler)(cef_render_process_handler_t* self);
  void(CEF_CALLBACK* on_context_created)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_v8context_t* context);
  void(CEF_CALLBACK* on_context_released)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_v8context_t* context);
  void(CEF_CALLBACK* on_uncaught_exception)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_v8context_t* context, cef_v8exception_t* exception, cef_v8stack_trace_t* stackTrace);
  void(CEF_CALLBACK* on_focused_node_changed)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_domnode_t* node);
  int(CEF_CALLBACK* on_process_message_received)(cef_render_process_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_process_id_t source_process, cef_process_message_t* message);
};

struct cef_v8handler_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* execute)(cef_v8handler_t* self, const cef_string_t* name, cef_v8value_t* object, size_t argumentsCount, cef_v8value_t* const* arguments, cef_v8value_t** retval, cef_string_t* exception);
};

struct cef_client_t {
  cef_base_ref_counted_t base;
  cef_audio_handler_t*(CEF_CALLBACK* get_audio_handler)(cef_client_t* self);
  cef_command_handler_t*(CEF_CALLBACK* get_command_handler)(cef_client_t* self);
  cef_context_menu_handler_t*(CEF_CALLBACK* get_context_menu_handler)(cef_client_t* self);
  cef_dialog_handler_t*(CEF_CALLBACK* get_dialog_handler)(cef_client_t* self);
  cef_display_handler_t*(CEF_CALLBACK* get_display_handler)(cef_client_t* self);
  cef_download_handler_t*(CEF_CALLBACK* get_download_handler)(cef_client_t* self);
  cef_drag_handler_t*(CEF_CALLBACK* get_drag_handler)(cef_client_t* self);
  cef_find_handler_t*(CEF_CALLBACK* get_find_handler)(cef_client_t* self);
  cef_focus_handler_t*(CEF_CALLBACK* get_focus_handler)(cef_client_t* self);
  cef_frame_handler_t*(CEF_CALLBACK* get_frame_handler)(cef_client_t* self);
  cef_permission_handler_t*(CEF_CALLBACK* get_permission_handler)(cef_client_t* self);
  cef_jsdialog_handler_t*(CEF_CALLBACK* get_jsdialog_handler)(cef_client_t* self);
  cef_keyboard_handler_t*(CEF_CALLBACK* get_keyboard_handler)(cef_client_t* self);
  cef_life_span_handler_t*(CEF_CALLBACK* get_life_span_handler)(cef_client_t* self);
  cef_load_handler_t*(CEF_CALLBACK* get_load_handler)(cef_client_t* self);
  cef_print_handler_t*(CEF_CALLBACK* get_print_handler)(cef_client_t* self);
  cef_render_handler_t*(CEF_CALLBACK* get_render_handler)(cef_client_t* self);
  cef_request_handler_t*(CEF_CALLBACK* get_request_handler)(cef_client_t* self);
  int(CEF_CALLBACK* on_process_message_received)(cef_client_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_process_id_t source_process, cef_process_message_t* message);
};

struct cef_render_handler_t {
  cef_base_ref_counted_t base;
  cef_accessibility_handler_t*(CEF_CALLBACK* get_accessibility_handler)(cef_render_handler_t* self);
  int(CEF_CALLBACK* get_root_screen_rect)(cef_render_handler_t* self, cef_browser_t* browser, cef_rect_t* rect);
  void(CEF_CALLBACK* get_view_rect)(cef_render_handler_t* self, cef_browser_t* browser, cef_rect_t* rect);
  int(CEF_CALLBACK* get_screen_point)(cef_render_handler_t* self, cef_browser_t* browser, int viewX, int viewY, int* screenX, int* screenY);
  int(CEF_CALLBACK* get_screen_info)(cef_render_handler_t* self, cef_browser_t* browser, cef_screen_info_t* screen_info);
  void(CEF_CALLBACK* on_popup_show)(cef_render_handler_t* self, cef_browser_t* browser, int show);
  void(CEF_CALLBACK* on_popup_size)(cef_render_handler_t* self, cef_browser_t* browser, const cef_rect_t* rect);
  void(CEF_CALLBACK* on_paint)(cef_render_handler_t* self, cef_browser_t* browser, cef_paint_element_type_t type, size_t dirtyRectsCount, const cef_rect_t* dirtyRects, const void* buffer, int width, int height);
  void(CEF_CALLBACK* on_accelerated_paint)(cef_render_handler_t* self, cef_browser_t* browser, cef_paint_element_type_t type, size_t dirtyRectsCount, const cef_rect_t* dirtyRects, const cef_accelerated_paint_info_t* info);
  void(CEF_CALLBACK* get_touch_handle_size)(cef_render_handler_t* self, cef_browser_t* browser, cef_horizontal_alignment_t orientation, cef_size_t* size);
  void(CEF_CALLBACK* on_touch_handle_state_changed)(cef_render_handler_t* self, cef_browser_t* browser, const cef_touch_handle_state_t* state);
  int(CEF_CALLBACK* start_dragging)(cef_render_handler_t* self, cef_browser_t* browser, cef_drag_data_t* drag_data, cef_drag_operations_mask_t allowed_ops, int x, int y);
  void(CEF_CALLBACK* update_drag_cursor)(cef_render_handler_t* self, cef_browser_t* browser, cef_drag_operations_mask_t operation);
  void(CEF_CALLBACK* on_scroll_offset_changed)(cef_render_handler_t* self, cef_browser_t* browser, double x, double y);
  void(CEF_CALLBACK* on_ime_composition_range_changed)(cef_render_handler_t* self, cef_browser_t* browser, const cef_range_t* selected_range, size_t character_boundsCount, const cef_rect_t* character_bounds);
  void(CEF_CALLBACK* on_text_selection_changed)(cef_render_handler_t* self, cef_browser_t* browser, const cef_string_t* selected_text, const cef_range_t* selected_range);
  void(CEF_CALLBACK* on_virtual_keyboard_requested)(cef_render_handler_t* self, cef_browser_t* browser, cef_text_input_mode_t input_mode);
};

struct cef_life_span_handler_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* on_before_popup)(cef_life_span_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, int popup_id, const cef_string_t* target_url, const cef_string_t* target_frame_name, cef_window_open_disposition_t target_disposition, int user_gesture, const cef_popup_features_t* popupFeatures, cef_window_info_t* windowInfo, cef_client_t** client, cef_browser_settings_t* settings, cef_dictionary_value_t** extra_info, int* no_javascript_access);
  void(CEF_CALLBACK* on_before_popup_aborted)(cef_life_span_handler_t* self, cef_browser_t* browser, int popup_id);
  void(CEF_CALLBACK* on_before_dev_tools_popup)(cef_life_span_handler_t* self, cef_browser_t* browser, cef_window_info_t* windowInfo, cef_client_t** client, cef_browser_settings_t* settings, cef_dictionary_value_t** extra_info, int* use_default_window);
  void(CEF_CALLBACK* on_after_created)(cef_life_span_handler_t* self, cef_browser_t* browser);
  int(CEF_CALLBACK* do_close)(cef_life_span_handler_t* self, cef_browser_t* browser);
  void(CEF_CALLBACK* on_before_close)(cef_life_span_handler_t* self, cef_browser_t* browser);
};

struct cef_load_handler_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* on_loading_state_change)(cef_load_handler_t* self, cef_browser_t* browser, int isLoading, int canGoBack, int canGoForward);
  void(CEF_CALLBACK* on_load_start)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_transition_type_t transition_type);
  void(CEF_CALLBACK* on_load_end)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, int httpStatusCode);
  void(CEF_CALLBACK* on_load_error)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_errorcode_t errorCode, const cef_string_t* errorText, const cef_string_t* failedUrl);
};

struct cef_display_handler_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* on_address_change)(cef_display_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, const cef_string_t* url);
  void(CEF_CALLBACK* on_title_change)(cef_display_handler_t* self, cef_browser_t* browser, const cef_string_t* title);
  void(CEF_CALLBACK* on_favicon_urlchange)(cef_display_handler_t* self, cef_browser_t* browser, cef_string_list_t icon_urls);
  void(CEF_CALLBACK* on_fullscreen_mode_change)(cef_display_handler_t* self, cef_browser_t* browser, int fullscreen);
  int(CEF_CALLBACK* on_tooltip)(cef_display_handler_t* self, cef_browser_t* browser, cef_string_t* text);
  void(CEF_CALLBACK* on_status_message)(cef_display_handler_t* self, cef_browser_t* browser, const cef_string_t* value);
  int(CEF_CALLBACK* on_console_message)(cef_display_handler_t* self, cef_browser_t* browser, cef_log_severity_t level, const cef_string_t* message, const cef_string_t* source, int line);
  int(CEF_CALLBACK* on_auto_resize)(cef_display_handler_t* self, cef_browser_t* browser, const cef_size_t* new_size);
  void(CEF_CALLBACK* on_loading_progress_change)(cef_display_handler_t* self, cef_browser_t* browser, double progress);
  int(CEF_CALLBACK* on_cursor_change)(cef_display_handler_t* self, cef_browser_t* browser, cef_cursor_handle_t cursor, cef_cursor_type_t type, const cef_cursor_info_t* custom_cursor_info);
  void(CEF_CALLBACK* on_media_access_change)(cef_display_handler_t* self, cef_browser_t* browser, int has_video_access, int has_audio_access);
};

struct cef_request_handler_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* on_before_browse)(cef_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, int user_gesture, int is_redirect);
  int(CEF_CALLBACK* on_open_urlfrom_tab)(cef_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, const cef_string_t* target_url, cef_window_open_disposition_t target_disposition, int user_gesture);
  cef_resource_request_handler_t*(CEF_CALLBACK* get_resource_request_handler)(cef_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, int is_navigation, int is_download, const cef_string_t* request_initiator, int* disable_default_handling);
  int(CEF_CALLBACK* get_auth_credentials)(cef_request_handler_t* self, cef_browser_t* browser, const cef_string_t* origin_url, int isProxy, const cef_string_t* host, int port, const cef_string_t* realm, const cef_string_t* scheme, cef_auth_callback_t* callback);
  int(CEF_CALLBACK* on_certificate_error)(cef_request_handler_t* self, cef_browser_t* browser, cef_errorcode_t cert_error, const cef_string_t* request_url, cef_sslinfo_t* ssl_info, cef_callback_t* callback);
  int(CEF_CALLBACK* on_select_client_certificate)(cef_request_handler_t* self, cef_browser_t* browser, int isProxy, const cef_string_t* host, int port, size_t certificatesCount, cef_x509certificate_t* const* certificates, cef_select_client_certificate_callback_t* callback);
  void(CEF_CALLBACK* on_render_view_ready)(cef_request_handler_t* self, cef_browser_t* browser);
  int(CEF_CALLBACK* on_render_process_unresponsive)(cef_request_handler_t* self, cef_browser_t* browser, cef_unresponsive_process_callback_t* callback);
  void(CEF_CALLBACK* on_render_process_responsive)(cef_request_handler_t* self, cef_browser_t* browser);
  void(CEF_CALLBACK* on_render_process_terminated)(cef_request_handler_t* self, cef_browser_t* browser, cef_termination_status_t status, int error_code, const cef_string_t* error_string);
  void(CEF_CALLBACK* on_document_available_in_main_frame)(cef_request_handler_t* self, cef_browser_t* browser);
};

struct cef_resource_request_handler_t {
  cef_base_ref_counted_t base;
  cef_cookie_access_filter_t*(CEF_CALLBACK* get_cookie_access_filter)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request);
  cef_return_value_t(CEF_CALLBACK* on_before_resource_load)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, cef_callback_t* callback);
  cef_resource_handler_t*(CEF_CALLBACK* get_resource_handler)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request);
  void(CEF_CALLBACK* on_resource_redirect)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, cef_response_t* response, cef_string_t* new_url);
  int(CEF_CALLBACK* on_resource_response)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, cef_response_t* response);
  cef_response_filter_t*(CEF_CALLBACK* get_resource_response_filter)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, cef_response_t* response);
  void(CEF_CALLBACK* on_resource_load_complete)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, cef_response_t* response, cef_urlrequest_status_t status, int64_t received_content_length);
  void(CEF_CALLBACK* on_protocol_execution)(cef_resource_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_request_t* request, int* allow_os_execution);
};

struct cef_context_menu_handler_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* on_before_context_menu)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_context_menu_params_t* params, cef_menu_model_t* model);
  int(CEF_CALLBACK* run_context_menu)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_context_menu_params_t* params, cef_menu_model_t* model, cef_run_context_menu_callback_t* callback);
  int(CEF_CALLBACK* on_context_menu_command)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, cef_context_menu_params_t* params, int command_id, cef_event_flags_t event_flags);
  void(CEF_CALLBACK* on_context_menu_dismissed)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame);
  int(CEF_CALLBACK* run_quick_menu)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, const cef_point_t* location, const cef_size_t* size, cef_quick_menu_edit_state_flags_t edit_state_flags, cef_run_quick_menu_callback_t* callback);
  int(CEF_CALLBACK* on_quick_menu_command)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, int command_id, cef_event_flags_t event_flags);
  void(CEF_CALLBACK* on_quick_menu_dismissed)(cef_context_menu_handler_t* self, cef_browser_t* browser, cef_frame_t* frame);
};

struct cef_task_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* execute)(cef_task_t* self);
};

struct cef_command_line_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_command_line_t* self);
  int(CEF_CALLBACK* is_read_only)(cef_command_line_t* self);
  cef_command_line_t*(CEF_CALLBACK* copy)(cef_command_line_t* self);
  void(CEF_CALLBACK* init_from_argv)(cef_command_line_t* self, int argc, const char* const* argv);
  void(CEF_CALLBACK* init_from_string)(cef_command_line_t* self, const cef_string_t* command_line);
  void(CEF_CALLBACK* reset)(cef_command_line_t* self);
  void(CEF_CALLBACK* get_argv)(cef_command_line_t* self, cef_string_list_t argv);
  cef_string_userfree_t(CEF_CALLBACK* get_command_line_string)(cef_command_line_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_program)(cef_command_line_t* self);
  void(CEF_CALLBACK* set_program)(cef_command_line_t* self, const cef_string_t* program);
  int(CEF_CALLBACK* has_switches)(cef_command_line_t* self);
  int(CEF_CALLBACK* has_switch)(cef_command_line_t* self, const cef_string_t* name);
  cef_string_userfree_t(CEF_CALLBACK* get_switch_value)(cef_command_line_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* get_switches)(cef_command_line_t* self, cef_string_map_t switches);
  void(CEF_CALLBACK* append_switch)(cef_command_line_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* append_switch_with_value)(cef_command_line_t* self, const cef_string_t* name, const cef_string_t* value);
  int(CEF_CALLBACK* has_arguments)(cef_command_line_t* self);
  void(CEF_CALLBACK* get_arguments)(cef_command_line_t* self, cef_string_list_t arguments);
  void(CEF_CALLBACK* append_argument)(cef_command_line_t* self, const cef_string_t* argument);
  void(CEF_CALLBACK* prepend_wrapper)(cef_command_line_t* self, const cef_string_t* wrapper);
};

struct cef_browser_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_browser_t* self);
  cef_browser_host_t*(CEF_CALLBACK* get_host)(cef_browser_t* self);
  int(CEF_CALLBACK* can_go_back)(cef_browser_t* self);
  void(CEF_CALLBACK* go_back)(cef_browser_t* self);
  int(CEF_CALLBACK* can_go_forward)(cef_browser_t* self);
  void(CEF_CALLBACK* go_forward)(cef_browser_t* self);
  int(CEF_CALLBACK* is_loading)(cef_browser_t* self);
  void(CEF_CALLBACK* reload)(cef_browser_t* self);
  void(CEF_CALLBACK* reload_ignore_cache)(cef_browser_t* self);
  void(CEF_CALLBACK* stop_load)(cef_browser_t* self);
  int(CEF_CALLBACK* get_identifier)(cef_browser_t* self);
  int(CEF_CALLBACK* is_same)(cef_browser_t* self, cef_browser_t* that);
  int(CEF_CALLBACK* is_popup)(cef_browser_t* self);
  int(CEF_CALLBACK* has_document)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_main_frame)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_focused_frame)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_frame_by_identifier)(cef_browser_t* self, const cef_string_t* identifier);
  cef_frame_t*(CEF_CALLBACK* get_frame_by_name)(cef_browser_t* self, const cef_string_t* name);
  size_t(CEF_CALLBACK* get_frame_count)(cef_browser_t* self);
  void(CEF_CALLBACK* get_frame_identifiers)(cef_browser_t* self, cef_string_list_t identifiers);
  void(CEF_CALLBACK* get_frame_names)(cef_browser_t* self, cef_string_list_t names);
};

struct cef_browser_host_t {
  cef_base_ref_counted_t base;
  cef_browser_t*(CEF_CALLBACK* get_browser)(cef_browser_host_t* self);
  void(CEF_CALLBACK* close_browser)(cef_browser_host_t* self, int force_close);
  int(CEF_CALLBACK* try_close_browser)(cef_browser_host_t* self);
  int(CEF_CALLBACK* is_ready_to_be_closed)(cef_browser_host_t* self);
  void(CEF_CALLBACK* set_focus)(cef_browser_host_t* self, int focus);
  cef_window_handle_t(CEF_CALLBACK* get_window_handle)(cef_browser_host_t* self);
  cef_window_handle_t(CEF_CALLBACK* get_opener_window_handle)(cef_browser_host_t* self);
  int(CEF_CALLBACK* get_opener_identifier)(cef_browser_host_t* self);
  int(CEF_CALLBACK* has_view)(cef_browser_host_t* self);
  cef_client_t*(CEF_CALLBACK* get_client)(cef_browser_host_t* self);
  cef_request_context_t*(CEF_CALLBACK* get_request_context)(cef_browser_host_t* self);
  int(CEF_CALLBACK* can_zoom)(cef_browser_host_t* self, cef_zoom_command_t command);
  void(CEF_CALLBACK* zoom)(cef_browser_host_t* self, cef_zoom_command_t command);
  double(CEF_CALLBACK* get_default_zoom_level)(cef_browser_host_t* self);
  double(CEF_CALLBACK* get_zoom_level)(cef_browser_host_t* self);
  void(CEF_CALLBACK* set_zoom_level)(cef_browser_host_t* self, double zoomLevel);
  void(CEF_CALLBACK* run_file_dialog)(cef_browser_host_t* self, cef_file_dialog_mode_t mode, const cef_string_t* title, const cef_string_t* default_file_path, cef_string_list_t accept_filters, cef_run_file_dialog_callback_t* callback);
  void(CEF_CALLBACK* start_download)(cef_browser_host_t* self, const cef_string_t* url);
  void(CEF_CALLBACK* download_image)(cef_browser_host_t* self, const cef_string_t* image_url, int is_favicon, uint32_t max_image_size, int bypass_cache, cef_download_image_callback_t* callback);
  void(CEF_CALLBACK* print)(cef_browser_host_t* self);
  void(CEF_CALLBACK* print_to_pdf)(cef_browser_host_t* self, const cef_string_t* path, const cef_pdf_print_settings_t* settings, cef_pdf_print_callback_t* callback);
  void(CEF_CALLBACK* find)(cef_browser_host_t* self, const cef_string_t* searchText, int forward, int matchCase, int findNext);
  void(CEF_CALLBACK* stop_finding)(cef_browser_host_t* self, int clearSelection);
  void(CEF_CALLBACK* show_dev_tools)(cef_browser_host_t* self, const cef_window_info_t* windowInfo, cef_client_t* client, const cef_browser_settings_t* settings, const cef_point_t* inspect_element_at);
  void(CEF_CALLBACK* close_dev_tools)(cef_browser_host_t* self);
  int(CEF_CALLBACK* has_dev_tools)(cef_browser_host_t* self);
  int(CEF_CALLBACK* send_dev_tools_message)(cef_browser_host_t* self, const void* message, size_t message_size);
  int(CEF_CALLBACK* execute_dev_tools_method)(cef_browser_host_t* self, int message_id, const cef_string_t* method, cef_dictionary_value_t* params);
  cef_registration_t*(CEF_CALLBACK* add_dev_tools_message_observer)(cef_browser_host_t* self, cef_dev_tools_message_observer_t* observer);
  void(CEF_CALLBACK* get_navigation_entries)(cef_browser_host_t* self, cef_navigation_entry_visitor_t* visitor, int current_only);
  void(CEF_CALLBACK* replace_misspelling)(cef_browser_host_t* self, const cef_string_t* word);
  void(CEF_CALLBACK* add_word_to_dictionary)(cef_browser_host_t* self, const cef_string_t* word);
  int(CEF_CALLBACK* is_window_rendering_disabled)(cef_browser_host_t* self);
  void(CEF_CALLBACK* was_resized)(cef_browser_host_t* self);
  void(CEF_CALLBACK* was_hidden)(cef_browser_host_t* self, int hidden);
  void(CEF_CALLBACK* notify_screen_info_changed)(cef_browser_host_t* self);
  void(CEF_CALLBACK* invalidate)(cef_browser_host_t* self, cef_paint_element_type_t type);
  void(CEF_CALLBACK* send_external_begin_frame)(cef_browser_host_t* self);
  void(CEF_CALLBACK* send_key_event)(cef_browser_host_t* self, const cef_key_event_t* event);
  void(CEF_CALLBACK* send_mouse_click_event)(cef_browser_host_t* self, const cef_mouse_event_t* event, cef_mouse_button_type_t type, int mouseUp, int clickCount);
  void(CEF_CALLBACK* send_mouse_move_event)(cef_browser_host_t* self, const cef_mouse_event_t* event, int mouseLeave);
  void(CEF_CALLBACK* send_mouse_wheel_event)(cef_browser_host_t* self, const cef_mouse_event_t* event, int deltaX, int deltaY);
  void(CEF_CALLBACK* send_touch_event)(cef_browser_host_t* self, const cef_touch_event_t* event);
  void(CEF_CALLBACK* send_capture_lost_event)(cef_browser_host_t* self);
  void(CEF_CALLBACK* notify_move_or_resize_started)(cef_browser_host_t* self);
  int(CEF_CALLBACK* get_windowless_frame_rate)(cef_browser_host_t* self);
  void(CEF_CALLBACK* set_windowless_frame_rate)(cef_browser_host_t* self, int frame_rate);
  void(CEF_CALLBACK* ime_set_composition)(cef_browser_host_t* self, const cef_string_t* text, size_t underlinesCount, const cef_composition_underline_t* underlines, const cef_range_t* replacement_range, const cef_range_t* selection_range);
  void(CEF_CALLBACK* ime_commit_text)(cef_browser_host_t* self, const cef_string_t* text, const cef_range_t* replacement_range, int relative_cursor_pos);
  void(CEF_CALLBACK* ime_finish_composing_text)(cef_browser_host_t* self, int keep_selection);
  void(CEF_CALLBACK* ime_cancel_composition)(cef_browser_host_t* self);
  void(CEF_CALLBACK* drag_target_drag_enter)(cef_browser_host_t* self, cef_drag_data_t* drag_data, const cef_mouse_event_t* event, cef_drag_operations_mask_t allowed_ops);
  void(CEF_CALLBACK* drag_target_drag_over)(cef_browser_host_t* self, const cef_mouse_event_t* event, cef_drag_operations_mask_t allowed_ops);
  void(CEF_CALLBACK* drag_target_drag_leave)(cef_browser_host_t* self);
  void(CEF_CALLBACK* drag_target_drop)(cef_browser_host_t* self, const cef_mouse_event_t* event);
  void(CEF_CALLBACK* drag_source_ended_at)(cef_browser_host_t* self, int x, int y, cef_drag_operations_mask_t op);
  void(CEF_CALLBACK* drag_source_system_drag_ended)(cef_browser_host_t* self);
  cef_navigation_entry_t*(CEF_CALLBACK* get_visible_navigation_entry)(cef_browser_host_t* self);
  void(CEF_CALLBACK* set_accessibility_state)(cef_browser_host_t* self, cef_state_t accessibility_state);
  void(CEF_CALLBACK* set_auto_resize_enabled)(cef_browser_host_t* self, int enabled, const cef_size_t* min_size, const cef_size_t* max_size);
  void(CEF_CALLBACK* set_audio_muted)(cef_browser_host_t* self, int mute);
  int(CEF_CALLBACK* is_audio_muted)(cef_browser_host_t* self);
  int(CEF_CALLBACK* is_fullscreen)(cef_browser_host_t* self);
  void(CEF_CALLBACK* exit_fullscreen)(cef_browser_host_t* self, int will_cause_resize);
  int(CEF_CALLBACK* can_execute_chrome_command)(cef_browser_host_t* self, int command_id);
  void(CEF_CALLBACK* execute_chrome_command)(cef_browser_host_t* self, int command_id, cef_window_open_disposition_t disposition);
  int(CEF_CALLBACK* is_render_process_unresponsive)(cef_browser_host_t* self);
  cef_runtime_style_t(CEF_CALLBACK* get_runtime_style)(cef_browser_host_t* self);
};

struct cef_frame_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_frame_t* self);
  void(CEF_CALLBACK* undo)(cef_frame_t* self);
  void(CEF_CALLBACK* redo)(cef_frame_t* self);
  void(CEF_CALLBACK* cut)(cef_frame_t* self);
  void(CEF_CALLBACK* copy)(cef_frame_t* self);
  void(CEF_CALLBACK* paste)(cef_frame_t* self);
  void(CEF_CALLBACK* paste_and_match_style)(cef_frame_t* self);
  void(CEF_CALLBACK* del)(cef_frame_t* self);
  void(CEF_CALLBACK* select_all)(cef_frame_t* self);
  void(CEF_CALLBACK* view_source)(cef_frame_t* self);
  void(CEF_CALLBACK* get_source)(cef_frame_t* self, cef_string_visitor_t* visitor);
  void(CEF_CALLBACK* get_text)(cef_frame_t* self, cef_string_visitor_t* visitor);
  void(CEF_CALLBACK* load_request)(cef_frame_t* self, cef_request_t* request);
  void(CEF_CALLBACK* load_url)(cef_frame_t* self, const cef_string_t* url);
  void(CEF_CALLBACK* execute_java_script)(cef_frame_t* self, const cef_string_t* code, const cef_string_t* script_url, int start_line);
  int(CEF_CALLBACK* is_main)(cef_frame_t* self);
  int(CEF_CALLBACK* is_focused)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_identifier)(cef_frame_t* self);
  cef_frame_t*(CEF_CALLBACK* get_parent)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_frame_t* self);
  cef_browser_t*(CEF_CALLBACK* get_browser)(cef_frame_t* self);
  cef_v8context_t*(CEF_CALLBACK* get_v8context)(cef_frame_t* self);
  void(CEF_CALLBACK* visit_dom)(cef_frame_t* self, cef_domvisitor_t* visitor);
  cef_urlrequest_t*(CEF_CALLBACK* create_urlrequest)(cef_frame_t* self, cef_request_t* request, cef_urlrequest_client_t* client);
  void(CEF_CALLBACK* send_process_message)(cef_frame_t* self, cef_process_id_t target_process, cef_process_message_t* message);
};

struct cef_v8context_t {
  cef_base_ref_counted_t base;
  cef_task_runner_t*(CEF_CALLBACK* get_task_runner)(cef_v8context_t* self);
  int(CEF_CALLBACK* is_valid)(cef_v8context_t* self);
  cef_browser_t*(CEF_CALLBACK* get_browser)(cef_v8context_t* self);
  cef_frame_t*(CEF_CALLBACK* get_frame)(cef_v8context_t* self);
  cef_v8value_t*(CEF_CALLBACK* get_global)(cef_v8context_t* self);
  int(CEF_CALLBACK* enter)(cef_v8context_t* self);
  int(CEF_CALLBACK* exit)(cef_v8context_t* self);
  int(CEF_CALLBACK* is_same)(cef_v8context_t* self, cef_v8context_t* that);
  int(CEF_CALLBACK* eval)(cef_v8context_t* self, const cef_string_t* code, const cef_string_t* script_url, int start_line, cef_v8value_t** retval, cef_v8exception_t** exception);
};

struct cef_v8value_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_undefined)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_null)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_bool)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_int)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_uint)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_double)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_date)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_string)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_object)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_array)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_array_buffer)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_function)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_promise)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_same)(cef_v8value_t* self, cef_v8value_t* that);
  int(CEF_CALLBACK* get_bool_value)(cef_v8value_t* self);
  int32_t(CEF_CALLBACK* get_int_value)(cef_v8value_t* self);
  uint32_t(CEF_CALLBACK* get_uint_value)(cef_v8value_t* self);
  double(CEF_CALLBACK* get_double_value)(cef_v8value_t* self);
  cef_basetime_t(CEF_CALLBACK* get_date_value)(cef_v8value_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_string_value)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_user_created)(cef_v8value_t* self);
  int(CEF_CALLBACK* has_exception)(cef_v8value_t* self);
  cef_v8exception_t*(CEF_CALLBACK* get_exception)(cef_v8value_t* self);
  int(CEF_CALLBACK* clear_exception)(cef_v8value_t* self);
  int(CEF_CALLBACK* will_rethrow_exceptions)(cef_v8value_t* self);
  int(CEF_CALLBACK* set_rethrow_exceptions)(cef_v8value_t* self, int rethrow);
  int(CEF_CALLBACK* has_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* has_value_byindex)(cef_v8value_t* self, int index);
  int(CEF_CALLBACK* delete_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* delete_value_byindex)(cef_v8value_t* self, int index);
  cef_v8value_t*(CEF_CALLBACK* get_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  cef_v8value_t*(CEF_CALLBACK* get_value_byindex)(cef_v8value_t* self, int index);
  int(CEF_CALLBACK* set_value_bykey)(cef_v8value_t* self, const cef_string_t* key, cef_v8value_t* value, cef_v8_propertyattribute_t attribute);
  int(CEF_CALLBACK* set_value_byindex)(cef_v8value_t* self, int index, cef_v8value_t* value);
  int(CEF_CALLBACK* set_value_byaccessor)(cef_v8value_t* self, const cef_string_t* key, cef_v8_propertyattribute_t attribute);
  int(CEF_CALLBACK* get_keys)(cef_v8value_t* self, cef_string_list_t keys);
  int(CEF_CALLBACK* set_user_data)(cef_v8value_t* self, cef_base_ref_counted_t* user_data);
  cef_base_ref_counted_t*(CEF_CALLBACK* get_user_data)(cef_v8value_t* self);
  int(CEF_CALLBACK* get_externally_allocated_memory)(cef_v8value_t* self);
  int(CEF_CALLBACK* adjust_externally_allocated_memory)(cef_v8value_t* self, int change_in_bytes);
  int(CEF_CALLBACK* get_array_length)(cef_v8value_t* self);
  cef_v8array_buffer_release_callback_t*(CEF_CALLBACK* get_array_buffer_release_callback)(cef_v8value_t* self);
  int(CEF_CALLBACK* neuter_array_buffer)(cef_v8value_t* self);
  size_t(CEF_CALLBACK* get_array_buffer_byte_length)(cef_v8value_t* self);
  void*(CEF_CALLBACK* get_array_buffer_data)(cef_v8value_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_function_name)(cef_v8value_t* self);
  cef_v8handler_t*(CEF_CALLBACK* get_function_handler)(cef_v8value_t* self);
  cef_v8value_t*(CEF_CALLBACK* execute_function)(cef_v8value_t* self, cef_v8value_t* object, size_t argumentsCount, cef_v8value_t* const* arguments);
  cef_v8value_t*(CEF_CALLBACK* execute_function_with_context)(cef_v8value_t* self, cef_v8context_t* context, cef_v8value_t* object, size_t argumentsCount, cef_v8value_t* const* arguments);
  int(CEF_CALLBACK* resolve_promise)(cef_v8value_t* self, cef_v8value_t* arg);
  int(CEF_CALLBACK* reject_promise)(cef_v8value_t* self, const cef_string_t* errorMsg);
};

struct cef_process_message_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_process_message_t* self);
  int(CEF_CALLBACK* is_read_only)(cef_process_message_t* self);
  cef_process_message_t*(CEF_CALLBACK* copy)(cef_process_message_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_process_message_t* self);
  cef_list_value_t*(CEF_CALLBACK* get_argument_list)(cef_process_message_t* self);
  cef_shared_memory_region_t*(CEF_CALLBACK* get_shared_memory_region)(cef_process_message_t* self);
};

struct cef_list_value_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_list_value_t* self);
  int(CEF_CALLBACK* is_owned)(cef_list_value_t* self);
  int(CEF_CALLBACK* is_read_only)(cef_list_value_t* self);
  int(CEF_CALLBACK* is_same)(cef_list_value_t* self, cef_list_value_t* that);
  int(CEF_CALLBACK* is_equal)(cef_list_value_t* self, cef_list_value_t* that);
  cef_list_value_t*(CEF_CALLBACK* copy)(cef_list_value_t* self);
  int(CEF_CALLBACK* set_size)(cef_list_value_t* self, size_t size);
  size_t(CEF_CALLBACK* get_size)(cef_list_value_t* self);
  int(CEF_CALLBACK* clear)(cef_list_value_t* self);
  int(CEF_CALLBACK* remove)(cef_list_value_t* self, size_t index);
  cef_value_type_t(CEF_CALLBACK* get_type)(cef_list_value_t* self, size_t index);
  cef_value_t*(CEF_CALLBACK* get_value)(cef_list_value_t* self, size_t index);
  int(CEF_CALLBACK* get_bool)(cef_list_value_t* self, size_t index);
  int(CEF_CALLBACK* get_int)(cef_list_value_t* self, size_t index);
  double(CEF_CALLBACK* get_double)(cef_list_value_t* self, size_t index);
  cef_string_userfree_t(CEF_CALLBACK* get_string)(cef_list_value_t* self, size_t index);
  cef_binary_value_t*(CEF_CALLBACK* get_binary)(cef_list_value_t* self, size_t index);
  cef_dictionary_value_t*(CEF_CALLBACK* get_dictionary)(cef_list_value_t* self, size_t index);
  cef_list_value_t*(CEF_CALLBACK* get_list)(cef_list_value_t* self, size_t index);
  int(CEF_CALLBACK* set_value)(cef_list_value_t* self, size_t index, cef_value_t* value);
  int(CEF_CALLBACK* set_null)(cef_list_value_t* self, size_t index);
  int(CEF_CALLBACK* set_bool)(cef_list_value_t* self, size_t index, int value);
  int(CEF_CALLBACK* set_int)(cef_list_value_t* self, size_t index, int value);
  int(CEF_CALLBACK* set_double)(cef_list_value_t* self, size_t index, double value);
  int(CEF_CALLBACK* set_string)(cef_list_value_t* self, size_t index, const cef_string_t* value);
  int(CEF_CALLBACK* set_binary)(cef_list_value_t* self, size_t index, cef_binary_value_t* value);
  int(CEF_CALLBACK* set_dictionary)(cef_list_value_t* self, size_t index, cef_dictionary_value_t* value);
  int(CEF_CALLBACK* set_list)(cef_list_value_t* self, size_t index, cef_list_value_t* value);
};

struct cef_dictionary_value_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_valid)(cef_dictionary_value_t* self);
  int(CEF_CALLBACK* is_owned)(cef_dictionary_value_t* self);
  int(CEF_CALLBACK* is_read_only)(cef_dictionary_value_t* self);
  int(CEF_CALLBACK* is_same)(cef_dictionary_value_t* self, cef_dictionary_value_t* that);
  int(CEF_CALLBACK* is_equal)(cef_dictionary_value_t* self, cef_dictionary_value_t* that);
  cef_dictionary_value_t*(CEF_CALLBACK* copy)(cef_dictionary_value_t* self, int exclude_empty_children);
  size_t(CEF_CALLBACK* get_size)(cef_dictionary_value_t* self);
  int(CEF_CALLBACK* clear)(cef_dictionary_value_t* self);
  int(CEF_CALLBACK* has_key)(cef_dictionary_value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* get_keys)(cef_dictionary_value_t* self, cef_string_list_t keys);
  int(CEF_CALLBACK* remove)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_value_type_t(CEF_CALLBACK* get_type)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_value_t*(CEF_CALLBACK* get_value)(cef_dictionary_value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* get_bool)(cef_dictionary_value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* get_int)(cef_dictionary_value_t* self, const cef_string_t* key);
  double(CEF_CALLBACK* get_double)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_string_userfree_t(CEF_CALLBACK* get_string)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_binary_value_t*(CEF_CALLBACK* get_binary)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_dictionary_value_t*(CEF_CALLBACK* get_dictionary)(cef_dictionary_value_t* self, const cef_string_t* key);
  cef_list_value_t*(CEF_CALLBACK* get_list)(cef_dictionary_value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* set_value)(cef_dictionary_value_t* self, const cef_string_t* key, cef_value_t* value);
  int(CEF_CALLBACK* set_null)(cef_dictionary_value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* set_bool)(cef_dictionary_value_t* self, const cef_string_t* key, int value);
  int(CEF_CALLBACK* set_int)(cef_dictionary_value_t* self, const cef_string_t* key, int value);
  int(CEF_CALLBACK* set_double)(cef_dictionary_value_t* self, const cef_string_t* key, double value);
  int(CEF_CALLBACK* set_string)(cef_dictionary_value_t* self, const cef_string_t* key, const cef_string_t* value);
  int(CEF_CALLBACK* set_binary)(cef_dictionary_value_t* self, const cef_string_t* key, cef_binary_value_t* value);
  int(CEF_CALLBACK* set_dictionary)(cef_dictionary_value_t* self, const cef_string_t* key, cef_dictionary_value_t* value);
  int(CEF_CALLBACK* set_list)(cef_dictionary_value_t* self, const cef_string_t* key, cef_list_value_t* value);
};

struct cef_request_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_read_only)(cef_request_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_request_t* self);
  void(CEF_CALLBACK* set_url)(cef_request_t* self, const cef_string_t* url);
  cef_string_userfree_t(CEF_CALLBACK* get_method)(cef_request_t* self);
  void(CEF_CALLBACK* set_method)(cef_request_t* self, const cef_string_t* method);
  void(CEF_CALLBACK* set_referrer)(cef_request_t* self, const cef_string_t* referrer_url, cef_referrer_policy_t policy);
  cef_string_userfree_t(CEF_CALLBACK* get_referrer_url)(cef_request_t* self);
  cef_referrer_policy_t(CEF_CALLBACK* get_referrer_policy)(cef_request_t* self);
  cef_post_data_t*(CEF_CALLBACK* get_post_data)(cef_request_t* self);
  void(CEF_CALLBACK* set_post_data)(cef_request_t* self, cef_post_data_t* postData);
  void(CEF_CALLBACK* get_header_map)(cef_request_t* self, cef_string_multimap_t headerMap);
  void(CEF_CALLBACK* set_header_map)(cef_request_t* self, cef_string_multimap_t headerMap);
  cef_string_userfree_t(CEF_CALLBACK* get_header_by_name)(cef_request_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* set_header_by_name)(cef_request_t* self, const cef_string_t* name, const cef_string_t* value, int overwrite);
  void(CEF_CALLBACK* set)(cef_request_t* self, const cef_string_t* url, const cef_string_t* method, cef_post_data_t* postData, cef_string_multimap_t headerMap);
  int(CEF_CALLBACK* get_flags)(cef_request_t* self);
  void(CEF_CALLBACK* set_flags)(cef_request_t* self, int flags);
  cef_string_userfree_t(CEF_CALLBACK* get_first_party_for_cookies)(cef_request_t* self);
  void(CEF_CALLBACK* set_first_party_for_cookies)(cef_request_t* self, const cef_string_t* url);
  cef_resource_type_t(CEF_CALLBACK* get_resource_type)(cef_request_t* self);
  cef_transition_type_t(CEF_CALLBACK* get_transition_type)(cef_request_t* self);
  uint64_t(CEF_CALLBACK* get_identifier)(cef_request_t* self);
};

struct cef_callback_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* cont)(cef_callback_t* self);
  void(CEF_CALLBACK* cancel)(cef_callback_t* self);
};

// Serving a request from the program: the handler the program returns from
// get_resource_handler, the response it fills, and the callbacks of its asynchronous
// answers. Every handler slot runs on the engine's IO thread.
struct cef_resource_skip_callback_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* cont)(cef_resource_skip_callback_t* self, int64_t bytes_skipped);
};

struct cef_resource_read_callback_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* cont)(cef_resource_read_callback_t* self, int bytes_read);
};

struct cef_resource_handler_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* open)(cef_resource_handler_t* self, cef_request_t* request, int* handle_request, cef_callback_t* callback);
  int(CEF_CALLBACK* process_request)(cef_resource_handler_t* self, cef_request_t* request, cef_callback_t* callback);
  void(CEF_CALLBACK* get_response_headers)(cef_resource_handler_t* self, cef_response_t* response, int64_t* response_length, cef_string_t* redirectUrl);
  int(CEF_CALLBACK* skip)(cef_resource_handler_t* self, int64_t bytes_to_skip, int64_t* bytes_skipped, cef_resource_skip_callback_t* callback);
  int(CEF_CALLBACK* read)(cef_resource_handler_t* self, void* data_out, int bytes_to_read, int* bytes_read, cef_resource_read_callback_t* callback);
  int(CEF_CALLBACK* read_response)(cef_resource_handler_t* self, void* data_out, int bytes_to_read, int* bytes_read, cef_callback_t* callback);
  void(CEF_CALLBACK* cancel)(cef_resource_handler_t* self);
};

struct cef_response_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_read_only)(cef_response_t* self);
  cef_errorcode_t(CEF_CALLBACK* get_error)(cef_response_t* self);
  void(CEF_CALLBACK* set_error)(cef_response_t* self, cef_errorcode_t error);
  int(CEF_CALLBACK* get_status)(cef_response_t* self);
  void(CEF_CALLBACK* set_status)(cef_response_t* self, int status);
  cef_string_userfree_t(CEF_CALLBACK* get_status_text)(cef_response_t* self);
  void(CEF_CALLBACK* set_status_text)(cef_response_t* self, const cef_string_t* statusText);
  cef_string_userfree_t(CEF_CALLBACK* get_mime_type)(cef_response_t* self);
  void(CEF_CALLBACK* set_mime_type)(cef_response_t* self, const cef_string_t* mimeType);
  cef_string_userfree_t(CEF_CALLBACK* get_charset)(cef_response_t* self);
  void(CEF_CALLBACK* set_charset)(cef_response_t* self, const cef_string_t* charset);
  cef_string_userfree_t(CEF_CALLBACK* get_header_by_name)(cef_response_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* set_header_by_name)(cef_response_t* self, const cef_string_t* name, const cef_string_t* value, int overwrite);
  void(CEF_CALLBACK* get_header_map)(cef_response_t* self, cef_string_multimap_t headerMap);
  void(CEF_CALLBACK* set_header_map)(cef_response_t* self, cef_string_multimap_t headerMap);
  cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_response_t* self);
  void(CEF_CALLBACK* set_url)(cef_response_t* self, const cef_string_t* url);
};

struct cef_run_context_menu_callback_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* cont)(cef_run_context_menu_callback_t* self, int command_id, cef_event_flags_t event_flags);
  void(CEF_CALLBACK* cancel)(cef_run_context_menu_callback_t* self);
};

// Handed to on_render_process_unresponsive: wait restarts the engine's hang timer,
// terminate ends the renderer (on_render_process_terminated follows).
struct cef_unresponsive_process_callback_t {
  cef_base_ref_counted_t base;
  void(CEF_CALLBACK* wait)(cef_unresponsive_process_callback_t* self);
  void(CEF_CALLBACK* terminate)(cef_unresponsive_process_callback_t* self);
};

struct cef_menu_model_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* is_sub_menu)(cef_menu_model_t* self);
  int(CEF_CALLBACK* clear)(cef_menu_model_t* self);
  size_t(CEF_CALLBACK* get_count)(cef_menu_model_t* self);
  int(CEF_CALLBACK* add_separator)(cef_menu_model_t* self);
  int(CEF_CALLBACK* add_item)(cef_menu_model_t* self, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* add_check_item)(cef_menu_model_t* self, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* add_radio_item)(cef_menu_model_t* self, int command_id, const cef_string_t* label, int group_id);
  cef_menu_model_t*(CEF_CALLBACK* add_sub_menu)(cef_menu_model_t* self, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* insert_separator_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* insert_item_at)(cef_menu_model_t* self, size_t index, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* insert_check_item_at)(cef_menu_model_t* self, size_t index, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* insert_radio_item_at)(cef_menu_model_t* self, size_t index, int command_id, const cef_string_t* label, int group_id);
  cef_menu_model_t*(CEF_CALLBACK* insert_sub_menu_at)(cef_menu_model_t* self, size_t index, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* remove)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* remove_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* get_index_of)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* get_command_id_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_command_id_at)(cef_menu_model_t* self, size_t index, int command_id);
  cef_string_userfree_t(CEF_CALLBACK* get_label)(cef_menu_model_t* self, int command_id);
  cef_string_userfree_t(CEF_CALLBACK* get_label_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_label)(cef_menu_model_t* self, int command_id, const cef_string_t* label);
  int(CEF_CALLBACK* set_label_at)(cef_menu_model_t* self, size_t index, const cef_string_t* label);
  cef_menu_item_type_t(CEF_CALLBACK* get_type)(cef_menu_model_t* self, int command_id);
  cef_menu_item_type_t(CEF_CALLBACK* get_type_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* get_group_id)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* get_group_id_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_group_id)(cef_menu_model_t* self, int command_id, int group_id);
  int(CEF_CALLBACK* set_group_id_at)(cef_menu_model_t* self, size_t index, int group_id);
  cef_menu_model_t*(CEF_CALLBACK* get_sub_menu)(cef_menu_model_t* self, int command_id);
  cef_menu_model_t*(CEF_CALLBACK* get_sub_menu_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* is_visible)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* is_visible_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_visible)(cef_menu_model_t* self, int command_id, int visible);
  int(CEF_CALLBACK* set_visible_at)(cef_menu_model_t* self, size_t index, int visible);
  int(CEF_CALLBACK* is_enabled)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* is_enabled_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_enabled)(cef_menu_model_t* self, int command_id, int enabled);
  int(CEF_CALLBACK* set_enabled_at)(cef_menu_model_t* self, size_t index, int enabled);
  int(CEF_CALLBACK* is_checked)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* is_checked_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_checked)(cef_menu_model_t* self, int command_id, int checked);
  int(CEF_CALLBACK* set_checked_at)(cef_menu_model_t* self, size_t index, int checked);
  int(CEF_CALLBACK* has_accelerator)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* has_accelerator_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* set_accelerator)(cef_menu_model_t* self, int command_id, int key_code, int shift_pressed, int ctrl_pressed, int alt_pressed);
  int(CEF_CALLBACK* set_accelerator_at)(cef_menu_model_t* self, size_t index, int key_code, int shift_pressed, int ctrl_pressed, int alt_pressed);
  int(CEF_CALLBACK* remove_accelerator)(cef_menu_model_t* self, int command_id);
  int(CEF_CALLBACK* remove_accelerator_at)(cef_menu_model_t* self, size_t index);
  int(CEF_CALLBACK* get_accelerator)(cef_menu_model_t* self, int command_id, int* key_code, int* shift_pressed, int* ctrl_pressed, int* alt_pressed);
  int(CEF_CALLBACK* get_accelerator_at)(cef_menu_model_t* self, size_t index, int* key_code, int* shift_pressed, int* ctrl_pressed, int* alt_pressed);
  int(CEF_CALLBACK* set_color)(cef_menu_model_t* self, int command_id, cef_menu_color_type_t color_type, cef_color_t color);
  int(CEF_CALLBACK* set_color_at)(cef_menu_model_t* self, int index, cef_menu_color_type_t color_type, cef_color_t color);
  int(CEF_CALLBACK* get_color)(cef_menu_model_t* self, int command_id, cef_menu_color_type_t color_type, cef_color_t* color);
  int(CEF_CALLBACK* get_color_at)(cef_menu_model_t* self, int index, cef_menu_color_type_t color_type, cef_color_t* color);
  int(CEF_CALLBACK* set_font_list)(cef_menu_model_t* self, int command_id, const cef_string_t* font_list);
  int(CEF_CALLBACK* set_font_list_at)(cef_menu_model_t* self, int index, const cef_string_t* font_list);
};

struct cef_context_menu_params_t {
  cef_base_ref_counted_t base;
  int(CEF_CALLBACK* get_xcoord)(cef_context_menu_params_t* self);
  int(CEF_CALLBACK* get_ycoord)(cef_context_menu_params_t* self);
  cef_context_menu_type_flags_t(CEF_CALLBACK* get_type_flags)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_url)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_unfiltered_link_url)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_source_url)(cef_context_menu_params_t* self);
  int(CEF_CALLBACK* has_image_contents)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_title_text)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_page_url)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_frame_url)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_frame_charset)(cef_context_menu_params_t* self);
  cef_context_menu_media_type_t(CEF_CALLBACK* get_media_type)(cef_context_menu_params_t* self);
  cef_context_menu_media_state_flags_t(CEF_CALLBACK* get_media_state_flags)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_selection_text)(cef_context_menu_params_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_misspelled_word)(cef_context_menu_params_t* self);
  int(CEF_CALLBACK* get_dictionary_suggestions)(cef_context_menu_params_t* self, cef_string_list_t suggestions);
  int(CEF_CALLBACK* is_editable)(cef_context_menu_params_t* self);
  int(CEF_CALLBACK* is_spell_check_enabled)(cef_context_menu_params_t* self);
  cef_context_menu_edit_state_flags_t(CEF_CALLBACK* get_edit_state_flags)(cef_context_menu_params_t* self);
  int(CEF_CALLBACK* is_custom_menu)(cef_context_menu_params_t* self);
};

// ---- Exports (resolved by name with GetProcAddress; plain C, no decoration on x64) -----
typedef const char* (*cef_api_hash_fn)(int entry);
typedef int (*cef_version_info_fn)(int entry);
typedef int (*cef_execute_process_fn)(const cef_main_args_t* args, cef_app_t* application,
                                      void* windows_sandbox_info);
typedef int (*cef_initialize_fn)(const cef_main_args_t* args, const cef_settings_t* settings,
                                 cef_app_t* application, void* windows_sandbox_info);
typedef int (*cef_get_exit_code_fn)(void);
typedef void (*cef_shutdown_fn)(void);
typedef void (*cef_run_message_loop_fn)(void);
typedef void (*cef_quit_message_loop_fn)(void);
typedef void (*cef_do_message_loop_work_fn)(void);
typedef int (*cef_browser_host_create_browser_fn)(const cef_window_info_t* windowInfo,
                                                  cef_client_t* client, const cef_string_t* url,
                                                  const cef_browser_settings_t* settings,
                                                  cef_dictionary_value_t* extra_info,
                                                  cef_request_context_t* request_context);
typedef cef_browser_t* (*cef_browser_host_create_browser_sync_fn)(
    const cef_window_info_t* windowInfo, cef_client_t* client, const cef_string_t* url,
    const cef_browser_settings_t* settings, cef_dictionary_value_t* extra_info,
    cef_request_context_t* request_context);
typedef int (*cef_currently_on_fn)(cef_thread_id_t threadId);
typedef int (*cef_post_task_fn)(cef_thread_id_t threadId, cef_task_t* task);
typedef int (*cef_post_delayed_task_fn)(cef_thread_id_t threadId, cef_task_t* task,
                                        int64_t delay_ms);
typedef int (*cef_string_utf8_to_utf16_fn)(const char* src, size_t src_len,
                                           cef_string_utf16_t* output);
typedef int (*cef_string_utf16_to_utf8_fn)(const char16_t* src, size_t src_len,
                                           cef_string_utf8_t* output);
typedef int (*cef_string_ascii_to_utf16_fn)(const char* src, size_t src_len,
                                            cef_string_utf16_t* output);
typedef int (*cef_string_utf16_set_fn)(const char16_t* src, size_t src_len,
                                       cef_string_utf16_t* output, int copy);
typedef void (*cef_string_utf16_clear_fn)(cef_string_utf16_t* str);
typedef void (*cef_string_utf8_clear_fn)(cef_string_utf8_t* str);
typedef cef_string_userfree_utf16_t (*cef_string_userfree_utf16_alloc_fn)(void);
typedef void (*cef_string_userfree_utf16_free_fn)(cef_string_userfree_utf16_t str);
typedef cef_string_list_t (*cef_string_list_alloc_fn)(void);
typedef size_t (*cef_string_list_size_fn)(cef_string_list_t list);
typedef int (*cef_string_list_value_fn)(cef_string_list_t list, size_t index,
                                        cef_string_t* value);
typedef void (*cef_string_list_append_fn)(cef_string_list_t list, const cef_string_t* value);
typedef void (*cef_string_list_free_fn)(cef_string_list_t list);
typedef cef_v8value_t* (*cef_v8value_create_undefined_fn)(void);
typedef cef_v8value_t* (*cef_v8value_create_null_fn)(void);
typedef cef_v8value_t* (*cef_v8value_create_bool_fn)(int value);
typedef cef_v8value_t* (*cef_v8value_create_int_fn)(int32_t value);
typedef cef_v8value_t* (*cef_v8value_create_double_fn)(double value);
typedef cef_v8value_t* (*cef_v8value_create_string_fn)(const cef_string_t* value);
typedef cef_v8value_t* (*cef_v8value_create_object_fn)(cef_v8accessor_t* accessor,
                                                       cef_v8interceptor_t* interceptor);
typedef cef_v8value_t* (*cef_v8value_create_array_fn)(int length);
typedef cef_v8value_t* (*cef_v8value_create_function_fn)(const cef_string_t* name,
                                                         cef_v8handler_t* handler);
typedef cef_v8context_t* (*cef_v8context_get_current_context_fn)(void);
typedef cef_v8context_t* (*cef_v8context_get_entered_context_fn)(void);
typedef int (*cef_v8context_in_context_fn)(void);
typedef cef_process_message_t* (*cef_process_message_create_fn)(const cef_string_t* name);
typedef cef_command_line_t* (*cef_command_line_create_fn)(void);
typedef cef_dictionary_value_t* (*cef_dictionary_value_create_fn)(void);
typedef cef_command_line_t* (*cef_command_line_get_global_fn)(void);

// ---- Layout checks ------------------------------------------------------------------------
#define NIMO_ABI_SIZE(type, bytes) static_assert(sizeof(type) == (bytes), "size of " #type)
#define NIMO_ABI_OFFSET(type, member, off) \
  static_assert(offsetof(type, member) == (off), "offset of " #type "::" #member)

static_assert(sizeof(void*) == 8, "the engine interface is declared for 64-bit targets");
static_assert(sizeof(char16_t) == 2, "engine strings are UTF-16 code units");
static_assert(sizeof(cef_thread_id_t) == 4 && sizeof(cef_transition_type_t) == 4 &&
                  sizeof(cef_log_severity_t) == 4 && sizeof(cef_errorcode_t) == 4,
              "engine enums are int-sized");
NIMO_ABI_SIZE(cef_basetime_t, 8);

NIMO_ABI_OFFSET(cef_base_ref_counted_t, size, 0);
NIMO_ABI_OFFSET(cef_base_ref_counted_t, add_ref, 8);
NIMO_ABI_OFFSET(cef_base_ref_counted_t, release, 16);
NIMO_ABI_OFFSET(cef_base_ref_counted_t, has_one_ref, 24);
NIMO_ABI_OFFSET(cef_base_ref_counted_t, has_at_least_one_ref, 32);
NIMO_ABI_SIZE(cef_base_ref_counted_t, 40);
NIMO_ABI_OFFSET(cef_string_utf16_t, str, 0);
NIMO_ABI_OFFSET(cef_string_utf16_t, length, 8);
NIMO_ABI_OFFSET(cef_string_utf16_t, dtor, 16);
NIMO_ABI_SIZE(cef_string_utf16_t, 24);
NIMO_ABI_OFFSET(cef_string_utf8_t, str, 0);
NIMO_ABI_OFFSET(cef_string_utf8_t, length, 8);
NIMO_ABI_OFFSET(cef_string_utf8_t, dtor, 16);
NIMO_ABI_SIZE(cef_string_utf8_t, 24);
NIMO_ABI_OFFSET(cef_main_args_t, instance, 0);
NIMO_ABI_SIZE(cef_main_args_t, 8);
NIMO_ABI_OFFSET(cef_rect_t, x, 0);
NIMO_ABI_OFFSET(cef_rect_t, y, 4);
NIMO_ABI_OFFSET(cef_rect_t, width, 8);
NIMO_ABI_OFFSET(cef_rect_t, height, 12);
NIMO_ABI_SIZE(cef_rect_t, 16);
NIMO_ABI_OFFSET(cef_point_t, x, 0);
NIMO_ABI_OFFSET(cef_point_t, y, 4);
NIMO_ABI_SIZE(cef_point_t, 8);
NIMO_ABI_OFFSET(cef_size_t, width, 0);
NIMO_ABI_OFFSET(cef_size_t, height, 4);
NIMO_ABI_SIZE(cef_size_t, 8);
NIMO_ABI_OFFSET(cef_range_t, to, 4);
NIMO_ABI_SIZE(cef_range_t, 8);
NIMO_ABI_OFFSET(cef_composition_underline_t, color, 8);
NIMO_ABI_OFFSET(cef_composition_underline_t, background_color, 12);
NIMO_ABI_OFFSET(cef_composition_underline_t, thick, 16);
NIMO_ABI_OFFSET(cef_composition_underline_t, style, 20);
NIMO_ABI_SIZE(cef_composition_underline_t, 24);
NIMO_ABI_OFFSET(cef_mouse_event_t, x, 0);
NIMO_ABI_OFFSET(cef_mouse_event_t, y, 4);
NIMO_ABI_OFFSET(cef_mouse_event_t, modifiers, 8);
NIMO_ABI_SIZE(cef_mouse_event_t, 12);
NIMO_ABI_OFFSET(cef_key_event_t, type, 0);
NIMO_ABI_OFFSET(cef_key_event_t, modifiers, 4);
NIMO_ABI_OFFSET(cef_key_event_t, windows_key_code, 8);
NIMO_ABI_OFFSET(cef_key_event_t, native_key_code, 12);
NIMO_ABI_OFFSET(cef_key_event_t, is_system_key, 16);
NIMO_ABI_OFFSET(cef_key_event_t, character, 20);
NIMO_ABI_OFFSET(cef_key_event_t, unmodified_character, 22);
NIMO_ABI_OFFSET(cef_key_event_t, focus_on_editable_field, 24);
NIMO_ABI_SIZE(cef_key_event_t, 28);
NIMO_ABI_OFFSET(cef_screen_info_t, device_scale_factor, 0);
NIMO_ABI_OFFSET(cef_screen_info_t, depth, 4);
NIMO_ABI_OFFSET(cef_screen_info_t, depth_per_component, 8);
NIMO_ABI_OFFSET(cef_screen_info_t, is_monochrome, 12);
NIMO_ABI_OFFSET(cef_screen_info_t, rect, 16);
NIMO_ABI_OFFSET(cef_screen_info_t, available_rect, 32);
NIMO_ABI_SIZE(cef_screen_info_t, 48);
NIMO_ABI_OFFSET(cef_popup_features_t, x, 0);
NIMO_ABI_OFFSET(cef_popup_features_t, xSet, 4);
NIMO_ABI_OFFSET(cef_popup_features_t, y, 8);
NIMO_ABI_OFFSET(cef_popup_features_t, ySet, 12);
NIMO_ABI_OFFSET(cef_popup_features_t, width, 16);
NIMO_ABI_OFFSET(cef_popup_features_t, widthSet, 20);
NIMO_ABI_OFFSET(cef_popup_features_t, height, 24);
NIMO_ABI_OFFSET(cef_popup_features_t, heightSet, 28);
NIMO_ABI_OFFSET(cef_popup_features_t, isPopup, 32);
NIMO_ABI_SIZE(cef_popup_features_t, 36);
NIMO_ABI_OFFSET(cef_settings_t, size, 0);
NIMO_ABI_OFFSET(cef_settings_t, no_sandbox, 8);
NIMO_ABI_OFFSET(cef_settings_t, browser_subprocess_path, 16);
NIMO_ABI_OFFSET(cef_settings_t, framework_dir_path, 40);
NIMO_ABI_OFFSET(cef_settings_t, main_bundle_path, 64);
NIMO_ABI_OFFSET(cef_settings_t, multi_threaded_message_loop, 88);
NIMO_ABI_OFFSET(cef_settings_t, external_message_pump, 92);
NIMO_ABI_OFFSET(cef_settings_t, windowless_rendering_enabled, 96);
NIMO_ABI_OFFSET(cef_settings_t, command_line_args_disabled, 100);
NIMO_ABI_OFFSET(cef_settings_t, cache_path, 104);
NIMO_ABI_OFFSET(cef_settings_t, root_cache_path, 128);
NIMO_ABI_OFFSET(cef_settings_t, persist_session_cookies, 152);
NIMO_ABI_OFFSET(cef_settings_t, user_agent, 160);
NIMO_ABI_OFFSET(cef_settings_t, user_agent_product, 184);
NIMO_ABI_OFFSET(cef_settings_t, locale, 208);
NIMO_ABI_OFFSET(cef_settings_t, log_file, 232);
NIMO_ABI_OFFSET(cef_settings_t, log_severity, 256);
NIMO_ABI_OFFSET(cef_settings_t, log_items, 260);
NIMO_ABI_OFFSET(cef_settings_t, javascript_flags, 264);
NIMO_ABI_OFFSET(cef_settings_t, resources_dir_path, 288);
NIMO_ABI_OFFSET(cef_settings_t, locales_dir_path, 312);
NIMO_ABI_OFFSET(cef_settings_t, remote_debugging_port, 336);
NIMO_ABI_OFFSET(cef_settings_t, uncaught_exception_stack_size, 340);
NIMO_ABI_OFFSET(cef_settings_t, background_color, 344);
NIMO_ABI_OFFSET(cef_settings_t, accept_language_list, 352);
NIMO_ABI_OFFSET(cef_settings_t, cookieable_schemes_list, 376);
NIMO_ABI_OFFSET(cef_settings_t, cookieable_schemes_exclude_defaults, 400);
NIMO_ABI_OFFSET(cef_settings_t, chrome_policy_id, 408);
NIMO_ABI_OFFSET(cef_settings_t, chrome_app_icon_id, 432);
NIMO_ABI_SIZE(cef_settings_t, 440);
NIMO_ABI_OFFSET(cef_browser_settings_t, size, 0);
NIMO_ABI_OFFSET(cef_browser_settings_t, windowless_frame_rate, 8);
NIMO_ABI_OFFSET(cef_browser_settings_t, standard_font_family, 16);
NIMO_ABI_OFFSET(cef_browser_settings_t, fixed_font_family, 40);
NIMO_ABI_OFFSET(cef_browser_settings_t, serif_font_family, 64);
NIMO_ABI_OFFSET(cef_browser_settings_t, sans_serif_font_family, 88);
NIMO_ABI_OFFSET(cef_browser_settings_t, cursive_font_family, 112);
NIMO_ABI_OFFSET(cef_browser_settings_t, fantasy_font_family, 136);
NIMO_ABI_OFFSET(cef_browser_settings_t, default_font_size, 160);
NIMO_ABI_OFFSET(cef_browser_settings_t, default_fixed_font_size, 164);
NIMO_ABI_OFFSET(cef_browser_settings_t, minimum_font_size, 168);
NIMO_ABI_OFFSET(cef_browser_settings_t, minimum_logical_font_size, 172);
NIMO_ABI_OFFSET(cef_browser_settings_t, default_encoding, 176);
NIMO_ABI_OFFSET(cef_browser_settings_t, remote_fonts, 200);
NIMO_ABI_OFFSET(cef_browser_settings_t, javascript, 204);
NIMO_ABI_OFFSET(cef_browser_settings_t, javascript_close_windows, 208);
NIMO_ABI_OFFSET(cef_browser_settings_t, javascript_access_clipboard, 212);
NIMO_ABI_OFFSET(cef_browser_settings_t, javascript_dom_paste, 216);
NIMO_ABI_OFFSET(cef_browser_settings_t, image_loading, 220);
NIMO_ABI_OFFSET(cef_browser_settings_t, image_shrink_standalone_to_fit, 224);
NIMO_ABI_OFFSET(cef_browser_settings_t, text_area_resize, 228);
NIMO_ABI_OFFSET(cef_browser_settings_t, tab_to_links, 232);
NIMO_ABI_OFFSET(cef_browser_settings_t, local_storage, 236);
NIMO_ABI_OFFSET(cef_browser_settings_t, databases, 240);
NIMO_ABI_OFFSET(cef_browser_settings_t, webgl, 244);
NIMO_ABI_OFFSET(cef_browser_settings_t, background_color, 248);
NIMO_ABI_OFFSET(cef_browser_settings_t, chrome_status_bubble, 252);
NIMO_ABI_OFFSET(cef_browser_settings_t, chrome_zoom_bubble, 256);
NIMO_ABI_SIZE(cef_browser_settings_t, 264);
NIMO_ABI_OFFSET(cef_window_info_t, ex_style, 0);
NIMO_ABI_OFFSET(cef_window_info_t, window_name, 8);
NIMO_ABI_OFFSET(cef_window_info_t, style, 32);
NIMO_ABI_OFFSET(cef_window_info_t, bounds, 36);
NIMO_ABI_OFFSET(cef_window_info_t, parent_window, 56);
NIMO_ABI_OFFSET(cef_window_info_t, menu, 64);
NIMO_ABI_OFFSET(cef_window_info_t, windowless_rendering_enabled, 72);
NIMO_ABI_OFFSET(cef_window_info_t, shared_texture_enabled, 76);
NIMO_ABI_OFFSET(cef_window_info_t, external_begin_frame_enabled, 80);
NIMO_ABI_OFFSET(cef_window_info_t, window, 88);
NIMO_ABI_OFFSET(cef_window_info_t, runtime_style, 96);
NIMO_ABI_SIZE(cef_window_info_t, 104);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, timestamp, 0);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, coded_size, 8);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, visible_rect, 16);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, content_rect, 32);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, source_size, 48);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, capture_update_rect, 56);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, region_capture_rect, 72);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, capture_counter, 88);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, has_capture_update_rect, 96);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, has_region_capture_rect, 97);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, has_source_size, 98);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_common_t, has_capture_counter, 99);
NIMO_ABI_SIZE(cef_accelerated_paint_info_common_t, 104);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_t, shared_texture_handle, 0);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_t, format, 8);
NIMO_ABI_OFFSET(cef_accelerated_paint_info_t, extra, 16);
NIMO_ABI_SIZE(cef_accelerated_paint_info_t, 120);
NIMO_ABI_OFFSET(cef_app_t, base, 0);
NIMO_ABI_OFFSET(cef_app_t, on_before_command_line_processing, 40);
NIMO_ABI_OFFSET(cef_app_t, on_register_custom_schemes, 48);
NIMO_ABI_OFFSET(cef_app_t, get_resource_bundle_handler, 56);
NIMO_ABI_OFFSET(cef_app_t, get_browser_process_handler, 64);
NIMO_ABI_OFFSET(cef_app_t, get_render_process_handler, 72);
NIMO_ABI_SIZE(cef_app_t, 80);
NIMO_ABI_OFFSET(cef_render_process_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_web_kit_initialized, 40);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_browser_created, 48);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_browser_destroyed, 56);
NIMO_ABI_OFFSET(cef_render_process_handler_t, get_load_handler, 64);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_context_created, 72);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_context_released, 80);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_uncaught_exception, 88);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_focused_node_changed, 96);
NIMO_ABI_OFFSET(cef_render_process_handler_t, on_process_message_received, 104);
NIMO_ABI_SIZE(cef_render_process_handler_t, 112);
NIMO_ABI_OFFSET(cef_v8handler_t, base, 0);
NIMO_ABI_OFFSET(cef_v8handler_t, execute, 40);
NIMO_ABI_SIZE(cef_v8handler_t, 48);
NIMO_ABI_OFFSET(cef_client_t, base, 0);
NIMO_ABI_OFFSET(cef_client_t, get_audio_handler, 40);
NIMO_ABI_OFFSET(cef_client_t, get_command_handler, 48);
NIMO_ABI_OFFSET(cef_client_t, get_context_menu_handler, 56);
NIMO_ABI_OFFSET(cef_client_t, get_dialog_handler, 64);
NIMO_ABI_OFFSET(cef_client_t, get_display_handler, 72);
NIMO_ABI_OFFSET(cef_client_t, get_download_handler, 80);
NIMO_ABI_OFFSET(cef_client_t, get_drag_handler, 88);
NIMO_ABI_OFFSET(cef_client_t, get_find_handler, 96);
NIMO_ABI_OFFSET(cef_client_t, get_focus_handler, 104);
NIMO_ABI_OFFSET(cef_client_t, get_frame_handler, 112);
NIMO_ABI_OFFSET(cef_client_t, get_permission_handler, 120);
NIMO_ABI_OFFSET(cef_client_t, get_jsdialog_handler, 128);
NIMO_ABI_OFFSET(cef_client_t, get_keyboard_handler, 136);
NIMO_ABI_OFFSET(cef_client_t, get_life_span_handler, 144);
NIMO_ABI_OFFSET(cef_client_t, get_load_handler, 152);
NIMO_ABI_OFFSET(cef_client_t, get_print_handler, 160);
NIMO_ABI_OFFSET(cef_client_t, get_render_handler, 168);
NIMO_ABI_OFFSET(cef_client_t, get_request_handler, 176);
NIMO_ABI_OFFSET(cef_client_t, on_process_message_received, 184);
NIMO_ABI_SIZE(cef_client_t, 192);
NIMO_ABI_OFFSET(cef_render_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_render_handler_t, get_accessibility_handler, 40);
NIMO_ABI_OFFSET(cef_render_handler_t, get_root_screen_rect, 48);
NIMO_ABI_OFFSET(cef_render_handler_t, get_view_rect, 56);
NIMO_ABI_OFFSET(cef_render_handler_t, get_screen_point, 64);
NIMO_ABI_OFFSET(cef_render_handler_t, get_screen_info, 72);
NIMO_ABI_OFFSET(cef_render_handler_t, on_popup_show, 80);
NIMO_ABI_OFFSET(cef_render_handler_t, on_popup_size, 88);
NIMO_ABI_OFFSET(cef_render_handler_t, on_paint, 96);
NIMO_ABI_OFFSET(cef_render_handler_t, on_accelerated_paint, 104);
NIMO_ABI_OFFSET(cef_render_handler_t, get_touch_handle_size, 112);
NIMO_ABI_OFFSET(cef_render_handler_t, on_touch_handle_state_changed, 120);
NIMO_ABI_OFFSET(cef_render_handler_t, start_dragging, 128);
NIMO_ABI_OFFSET(cef_render_handler_t, update_drag_cursor, 136);
NIMO_ABI_OFFSET(cef_render_handler_t, on_scroll_offset_changed, 144);
NIMO_ABI_OFFSET(cef_render_handler_t, on_ime_composition_range_changed, 152);
NIMO_ABI_OFFSET(cef_render_handler_t, on_text_selection_changed, 160);
NIMO_ABI_OFFSET(cef_render_handler_t, on_virtual_keyboard_requested, 168);
NIMO_ABI_SIZE(cef_render_handler_t, 176);
NIMO_ABI_OFFSET(cef_life_span_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_life_span_handler_t, on_before_popup, 40);
NIMO_ABI_OFFSET(cef_life_span_handler_t, on_before_popup_aborted, 48);
NIMO_ABI_OFFSET(cef_life_span_handler_t, on_before_dev_tools_popup, 56);
NIMO_ABI_OFFSET(cef_life_span_handler_t, on_after_created, 64);
NIMO_ABI_OFFSET(cef_life_span_handler_t, do_close, 72);
NIMO_ABI_OFFSET(cef_life_span_handler_t, on_before_close, 80);
NIMO_ABI_SIZE(cef_life_span_handler_t, 88);
NIMO_ABI_OFFSET(cef_load_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_load_handler_t, on_loading_state_change, 40);
NIMO_ABI_OFFSET(cef_load_handler_t, on_load_start, 48);
NIMO_ABI_OFFSET(cef_load_handler_t, on_load_end, 56);
NIMO_ABI_OFFSET(cef_load_handler_t, on_load_error, 64);
NIMO_ABI_SIZE(cef_load_handler_t, 72);
NIMO_ABI_OFFSET(cef_display_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_display_handler_t, on_address_change, 40);
NIMO_ABI_OFFSET(cef_display_handler_t, on_title_change, 48);
NIMO_ABI_OFFSET(cef_display_handler_t, on_favicon_urlchange, 56);
NIMO_ABI_OFFSET(cef_display_handler_t, on_fullscreen_mode_change, 64);
NIMO_ABI_OFFSET(cef_display_handler_t, on_tooltip, 72);
NIMO_ABI_OFFSET(cef_display_handler_t, on_status_message, 80);
NIMO_ABI_OFFSET(cef_display_handler_t, on_console_message, 88);
NIMO_ABI_OFFSET(cef_display_handler_t, on_auto_resize, 96);
NIMO_ABI_OFFSET(cef_display_handler_t, on_loading_progress_change, 104);
NIMO_ABI_OFFSET(cef_display_handler_t, on_cursor_change, 112);
NIMO_ABI_OFFSET(cef_display_handler_t, on_media_access_change, 120);
NIMO_ABI_SIZE(cef_display_handler_t, 128);
NIMO_ABI_OFFSET(cef_request_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_request_handler_t, on_before_browse, 40);
NIMO_ABI_OFFSET(cef_request_handler_t, on_open_urlfrom_tab, 48);
NIMO_ABI_OFFSET(cef_request_handler_t, get_resource_request_handler, 56);
NIMO_ABI_OFFSET(cef_request_handler_t, get_auth_credentials, 64);
NIMO_ABI_OFFSET(cef_request_handler_t, on_certificate_error, 72);
NIMO_ABI_OFFSET(cef_request_handler_t, on_select_client_certificate, 80);
NIMO_ABI_OFFSET(cef_request_handler_t, on_render_view_ready, 88);
NIMO_ABI_OFFSET(cef_request_handler_t, on_render_process_unresponsive, 96);
NIMO_ABI_OFFSET(cef_request_handler_t, on_render_process_responsive, 104);
NIMO_ABI_OFFSET(cef_request_handler_t, on_render_process_terminated, 112);
NIMO_ABI_OFFSET(cef_request_handler_t, on_document_available_in_main_frame, 120);
NIMO_ABI_SIZE(cef_request_handler_t, 128);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, get_cookie_access_filter, 40);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, on_before_resource_load, 48);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, get_resource_handler, 56);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, on_resource_redirect, 64);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, on_resource_response, 72);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, get_resource_response_filter, 80);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, on_resource_load_complete, 88);
NIMO_ABI_OFFSET(cef_resource_request_handler_t, on_protocol_execution, 96);
NIMO_ABI_SIZE(cef_resource_request_handler_t, 104);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, base, 0);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, on_before_context_menu, 40);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, run_context_menu, 48);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, on_context_menu_command, 56);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, on_context_menu_dismissed, 64);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, run_quick_menu, 72);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, on_quick_menu_command, 80);
NIMO_ABI_OFFSET(cef_context_menu_handler_t, on_quick_menu_dismissed, 88);
NIMO_ABI_SIZE(cef_context_menu_handler_t, 96);
NIMO_ABI_OFFSET(cef_task_t, base, 0);
NIMO_ABI_OFFSET(cef_task_t, execute, 40);
NIMO_ABI_SIZE(cef_task_t, 48);
NIMO_ABI_OFFSET(cef_command_line_t, base, 0);
NIMO_ABI_OFFSET(cef_command_line_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_command_line_t, is_read_only, 48);
NIMO_ABI_OFFSET(cef_command_line_t, copy, 56);
NIMO_ABI_OFFSET(cef_command_line_t, init_from_argv, 64);
NIMO_ABI_OFFSET(cef_command_line_t, init_from_string, 72);
NIMO_ABI_OFFSET(cef_command_line_t, reset, 80);
NIMO_ABI_OFFSET(cef_command_line_t, get_argv, 88);
NIMO_ABI_OFFSET(cef_command_line_t, get_command_line_string, 96);
NIMO_ABI_OFFSET(cef_command_line_t, get_program, 104);
NIMO_ABI_OFFSET(cef_command_line_t, set_program, 112);
NIMO_ABI_OFFSET(cef_command_line_t, has_switches, 120);
NIMO_ABI_OFFSET(cef_command_line_t, has_switch, 128);
NIMO_ABI_OFFSET(cef_command_line_t, get_switch_value, 136);
NIMO_ABI_OFFSET(cef_command_line_t, get_switches, 144);
NIMO_ABI_OFFSET(cef_command_line_t, append_switch, 152);
NIMO_ABI_OFFSET(cef_command_line_t, append_switch_with_value, 160);
NIMO_ABI_OFFSET(cef_command_line_t, has_arguments, 168);
NIMO_ABI_OFFSET(cef_command_line_t, get_arguments, 176);
NIMO_ABI_OFFSET(cef_command_line_t, append_argument, 184);
NIMO_ABI_OFFSET(cef_command_line_t, prepend_wrapper, 192);
NIMO_ABI_SIZE(cef_command_line_t, 200);
NIMO_ABI_OFFSET(cef_browser_t, base, 0);
NIMO_ABI_OFFSET(cef_browser_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_browser_t, get_host, 48);
NIMO_ABI_OFFSET(cef_browser_t, can_go_back, 56);
NIMO_ABI_OFFSET(cef_browser_t, go_back, 64);
NIMO_ABI_OFFSET(cef_browser_t, can_go_forward, 72);
NIMO_ABI_OFFSET(cef_browser_t, go_forward, 80);
NIMO_ABI_OFFSET(cef_browser_t, is_loading, 88);
NIMO_ABI_OFFSET(cef_browser_t, reload, 96);
NIMO_ABI_OFFSET(cef_browser_t, reload_ignore_cache, 104);
NIMO_ABI_OFFSET(cef_browser_t, stop_load, 112);
NIMO_ABI_OFFSET(cef_browser_t, get_identifier, 120);
NIMO_ABI_OFFSET(cef_browser_t, is_same, 128);
NIMO_ABI_OFFSET(cef_browser_t, is_popup, 136);
NIMO_ABI_OFFSET(cef_browser_t, has_document, 144);
NIMO_ABI_OFFSET(cef_browser_t, get_main_frame, 152);
NIMO_ABI_OFFSET(cef_browser_t, get_focused_frame, 160);
NIMO_ABI_OFFSET(cef_browser_t, get_frame_by_identifier, 168);
NIMO_ABI_OFFSET(cef_browser_t, get_frame_by_name, 176);
NIMO_ABI_OFFSET(cef_browser_t, get_frame_count, 184);
NIMO_ABI_OFFSET(cef_browser_t, get_frame_identifiers, 192);
NIMO_ABI_OFFSET(cef_browser_t, get_frame_names, 200);
NIMO_ABI_SIZE(cef_browser_t, 208);
NIMO_ABI_OFFSET(cef_browser_host_t, base, 0);
NIMO_ABI_OFFSET(cef_browser_host_t, get_browser, 40);
NIMO_ABI_OFFSET(cef_browser_host_t, close_browser, 48);
NIMO_ABI_OFFSET(cef_browser_host_t, try_close_browser, 56);
NIMO_ABI_OFFSET(cef_browser_host_t, is_ready_to_be_closed, 64);
NIMO_ABI_OFFSET(cef_browser_host_t, set_focus, 72);
NIMO_ABI_OFFSET(cef_browser_host_t, get_window_handle, 80);
NIMO_ABI_OFFSET(cef_browser_host_t, get_opener_window_handle, 88);
NIMO_ABI_OFFSET(cef_browser_host_t, get_opener_identifier, 96);
NIMO_ABI_OFFSET(cef_browser_host_t, has_view, 104);
NIMO_ABI_OFFSET(cef_browser_host_t, get_client, 112);
NIMO_ABI_OFFSET(cef_browser_host_t, get_request_context, 120);
NIMO_ABI_OFFSET(cef_browser_host_t, can_zoom, 128);
NIMO_ABI_OFFSET(cef_browser_host_t, zoom, 136);
NIMO_ABI_OFFSET(cef_browser_host_t, get_default_zoom_level, 144);
NIMO_ABI_OFFSET(cef_browser_host_t, get_zoom_level, 152);
NIMO_ABI_OFFSET(cef_browser_host_t, set_zoom_level, 160);
NIMO_ABI_OFFSET(cef_browser_host_t, run_file_dialog, 168);
NIMO_ABI_OFFSET(cef_browser_host_t, start_download, 176);
NIMO_ABI_OFFSET(cef_browser_host_t, download_image, 184);
NIMO_ABI_OFFSET(cef_browser_host_t, print, 192);
NIMO_ABI_OFFSET(cef_browser_host_t, print_to_pdf, 200);
NIMO_ABI_OFFSET(cef_browser_host_t, find, 208);
NIMO_ABI_OFFSET(cef_browser_host_t, stop_finding, 216);
NIMO_ABI_OFFSET(cef_browser_host_t, show_dev_tools, 224);
NIMO_ABI_OFFSET(cef_browser_host_t, close_dev_tools, 232);
NIMO_ABI_OFFSET(cef_browser_host_t, has_dev_tools, 240);
NIMO_ABI_OFFSET(cef_browser_host_t, send_dev_tools_message, 248);
NIMO_ABI_OFFSET(cef_browser_host_t, execute_dev_tools_method, 256);
NIMO_ABI_OFFSET(cef_browser_host_t, add_dev_tools_message_observer, 264);
NIMO_ABI_OFFSET(cef_browser_host_t, get_navigation_entries, 272);
NIMO_ABI_OFFSET(cef_browser_host_t, replace_misspelling, 280);
NIMO_ABI_OFFSET(cef_browser_host_t, add_word_to_dictionary, 288);
NIMO_ABI_OFFSET(cef_browser_host_t, is_window_rendering_disabled, 296);
NIMO_ABI_OFFSET(cef_browser_host_t, was_resized, 304);
NIMO_ABI_OFFSET(cef_browser_host_t, was_hidden, 312);
NIMO_ABI_OFFSET(cef_browser_host_t, notify_screen_info_changed, 320);
NIMO_ABI_OFFSET(cef_browser_host_t, invalidate, 328);
NIMO_ABI_OFFSET(cef_browser_host_t, send_external_begin_frame, 336);
NIMO_ABI_OFFSET(cef_browser_host_t, send_key_event, 344);
NIMO_ABI_OFFSET(cef_browser_host_t, send_mouse_click_event, 352);
NIMO_ABI_OFFSET(cef_browser_host_t, send_mouse_move_event, 360);
NIMO_ABI_OFFSET(cef_browser_host_t, send_mouse_wheel_event, 368);
NIMO_ABI_OFFSET(cef_browser_host_t, send_touch_event, 376);
NIMO_ABI_OFFSET(cef_browser_host_t, send_capture_lost_event, 384);
NIMO_ABI_OFFSET(cef_browser_host_t, notify_move_or_resize_started, 392);
NIMO_ABI_OFFSET(cef_browser_host_t, get_windowless_frame_rate, 400);
NIMO_ABI_OFFSET(cef_browser_host_t, set_windowless_frame_rate, 408);
NIMO_ABI_OFFSET(cef_browser_host_t, ime_set_composition, 416);
NIMO_ABI_OFFSET(cef_browser_host_t, ime_commit_text, 424);
NIMO_ABI_OFFSET(cef_browser_host_t, ime_finish_composing_text, 432);
NIMO_ABI_OFFSET(cef_browser_host_t, ime_cancel_composition, 440);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_target_drag_enter, 448);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_target_drag_over, 456);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_target_drag_leave, 464);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_target_drop, 472);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_source_ended_at, 480);
NIMO_ABI_OFFSET(cef_browser_host_t, drag_source_system_drag_ended, 488);
NIMO_ABI_OFFSET(cef_browser_host_t, get_visible_navigation_entry, 496);
NIMO_ABI_OFFSET(cef_browser_host_t, set_accessibility_state, 504);
NIMO_ABI_OFFSET(cef_browser_host_t, set_auto_resize_enabled, 512);
NIMO_ABI_OFFSET(cef_browser_host_t, set_audio_muted, 520);
NIMO_ABI_OFFSET(cef_browser_host_t, is_audio_muted, 528);
NIMO_ABI_OFFSET(cef_browser_host_t, is_fullscreen, 536);
NIMO_ABI_OFFSET(cef_browser_host_t, exit_fullscreen, 544);
NIMO_ABI_OFFSET(cef_browser_host_t, can_execute_chrome_command, 552);
NIMO_ABI_OFFSET(cef_browser_host_t, execute_chrome_command, 560);
NIMO_ABI_OFFSET(cef_browser_host_t, is_render_process_unresponsive, 568);
NIMO_ABI_OFFSET(cef_browser_host_t, get_runtime_style, 576);
NIMO_ABI_SIZE(cef_browser_host_t, 584);
NIMO_ABI_OFFSET(cef_frame_t, base, 0);
NIMO_ABI_OFFSET(cef_frame_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_frame_t, undo, 48);
NIMO_ABI_OFFSET(cef_frame_t, redo, 56);
NIMO_ABI_OFFSET(cef_frame_t, cut, 64);
NIMO_ABI_OFFSET(cef_frame_t, copy, 72);
NIMO_ABI_OFFSET(cef_frame_t, paste, 80);
NIMO_ABI_OFFSET(cef_frame_t, paste_and_match_style, 88);
NIMO_ABI_OFFSET(cef_frame_t, del, 96);
NIMO_ABI_OFFSET(cef_frame_t, select_all, 104);
NIMO_ABI_OFFSET(cef_frame_t, view_source, 112);
NIMO_ABI_OFFSET(cef_frame_t, get_source, 120);
NIMO_ABI_OFFSET(cef_frame_t, get_text, 128);
NIMO_ABI_OFFSET(cef_frame_t, load_request, 136);
NIMO_ABI_OFFSET(cef_frame_t, load_url, 144);
NIMO_ABI_OFFSET(cef_frame_t, execute_java_script, 152);
NIMO_ABI_OFFSET(cef_frame_t, is_main, 160);
NIMO_ABI_OFFSET(cef_frame_t, is_focused, 168);
NIMO_ABI_OFFSET(cef_frame_t, get_name, 176);
NIMO_ABI_OFFSET(cef_frame_t, get_identifier, 184);
NIMO_ABI_OFFSET(cef_frame_t, get_parent, 192);
NIMO_ABI_OFFSET(cef_frame_t, get_url, 200);
NIMO_ABI_OFFSET(cef_frame_t, get_browser, 208);
NIMO_ABI_OFFSET(cef_frame_t, get_v8context, 216);
NIMO_ABI_OFFSET(cef_frame_t, visit_dom, 224);
NIMO_ABI_OFFSET(cef_frame_t, create_urlrequest, 232);
NIMO_ABI_OFFSET(cef_frame_t, send_process_message, 240);
NIMO_ABI_SIZE(cef_frame_t, 248);
NIMO_ABI_OFFSET(cef_v8context_t, base, 0);
NIMO_ABI_OFFSET(cef_v8context_t, get_task_runner, 40);
NIMO_ABI_OFFSET(cef_v8context_t, is_valid, 48);
NIMO_ABI_OFFSET(cef_v8context_t, get_browser, 56);
NIMO_ABI_OFFSET(cef_v8context_t, get_frame, 64);
NIMO_ABI_OFFSET(cef_v8context_t, get_global, 72);
NIMO_ABI_OFFSET(cef_v8context_t, enter, 80);
NIMO_ABI_OFFSET(cef_v8context_t, exit, 88);
NIMO_ABI_OFFSET(cef_v8context_t, is_same, 96);
NIMO_ABI_OFFSET(cef_v8context_t, eval, 104);
NIMO_ABI_SIZE(cef_v8context_t, 112);
NIMO_ABI_OFFSET(cef_v8value_t, base, 0);
NIMO_ABI_OFFSET(cef_v8value_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_v8value_t, is_undefined, 48);
NIMO_ABI_OFFSET(cef_v8value_t, is_null, 56);
NIMO_ABI_OFFSET(cef_v8value_t, is_bool, 64);
NIMO_ABI_OFFSET(cef_v8value_t, is_int, 72);
NIMO_ABI_OFFSET(cef_v8value_t, is_uint, 80);
NIMO_ABI_OFFSET(cef_v8value_t, is_double, 88);
NIMO_ABI_OFFSET(cef_v8value_t, is_date, 96);
NIMO_ABI_OFFSET(cef_v8value_t, is_string, 104);
NIMO_ABI_OFFSET(cef_v8value_t, is_object, 112);
NIMO_ABI_OFFSET(cef_v8value_t, is_array, 120);
NIMO_ABI_OFFSET(cef_v8value_t, is_array_buffer, 128);
NIMO_ABI_OFFSET(cef_v8value_t, is_function, 136);
NIMO_ABI_OFFSET(cef_v8value_t, is_promise, 144);
NIMO_ABI_OFFSET(cef_v8value_t, is_same, 152);
NIMO_ABI_OFFSET(cef_v8value_t, get_bool_value, 160);
NIMO_ABI_OFFSET(cef_v8value_t, get_int_value, 168);
NIMO_ABI_OFFSET(cef_v8value_t, get_uint_value, 176);
NIMO_ABI_OFFSET(cef_v8value_t, get_double_value, 184);
NIMO_ABI_OFFSET(cef_v8value_t, get_date_value, 192);
NIMO_ABI_OFFSET(cef_v8value_t, get_string_value, 200);
NIMO_ABI_OFFSET(cef_v8value_t, is_user_created, 208);
NIMO_ABI_OFFSET(cef_v8value_t, has_exception, 216);
NIMO_ABI_OFFSET(cef_v8value_t, get_exception, 224);
NIMO_ABI_OFFSET(cef_v8value_t, clear_exception, 232);
NIMO_ABI_OFFSET(cef_v8value_t, will_rethrow_exceptions, 240);
NIMO_ABI_OFFSET(cef_v8value_t, set_rethrow_exceptions, 248);
NIMO_ABI_OFFSET(cef_v8value_t, has_value_bykey, 256);
NIMO_ABI_OFFSET(cef_v8value_t, has_value_byindex, 264);
NIMO_ABI_OFFSET(cef_v8value_t, delete_value_bykey, 272);
NIMO_ABI_OFFSET(cef_v8value_t, delete_value_byindex, 280);
NIMO_ABI_OFFSET(cef_v8value_t, get_value_bykey, 288);
NIMO_ABI_OFFSET(cef_v8value_t, get_value_byindex, 296);
NIMO_ABI_OFFSET(cef_v8value_t, set_value_bykey, 304);
NIMO_ABI_OFFSET(cef_v8value_t, set_value_byindex, 312);
NIMO_ABI_OFFSET(cef_v8value_t, set_value_byaccessor, 320);
NIMO_ABI_OFFSET(cef_v8value_t, get_keys, 328);
NIMO_ABI_OFFSET(cef_v8value_t, set_user_data, 336);
NIMO_ABI_OFFSET(cef_v8value_t, get_user_data, 344);
NIMO_ABI_OFFSET(cef_v8value_t, get_externally_allocated_memory, 352);
NIMO_ABI_OFFSET(cef_v8value_t, adjust_externally_allocated_memory, 360);
NIMO_ABI_OFFSET(cef_v8value_t, get_array_length, 368);
NIMO_ABI_OFFSET(cef_v8value_t, get_array_buffer_release_callback, 376);
NIMO_ABI_OFFSET(cef_v8value_t, neuter_array_buffer, 384);
NIMO_ABI_OFFSET(cef_v8value_t, get_array_buffer_byte_length, 392);
NIMO_ABI_OFFSET(cef_v8value_t, get_array_buffer_data, 400);
NIMO_ABI_OFFSET(cef_v8value_t, get_function_name, 408);
NIMO_ABI_OFFSET(cef_v8value_t, get_function_handler, 416);
NIMO_ABI_OFFSET(cef_v8value_t, execute_function, 424);
NIMO_ABI_OFFSET(cef_v8value_t, execute_function_with_context, 432);
NIMO_ABI_OFFSET(cef_v8value_t, resolve_promise, 440);
NIMO_ABI_OFFSET(cef_v8value_t, reject_promise, 448);
NIMO_ABI_SIZE(cef_v8value_t, 456);
NIMO_ABI_OFFSET(cef_process_message_t, base, 0);
NIMO_ABI_OFFSET(cef_process_message_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_process_message_t, is_read_only, 48);
NIMO_ABI_OFFSET(cef_process_message_t, copy, 56);
NIMO_ABI_OFFSET(cef_process_message_t, get_name, 64);
NIMO_ABI_OFFSET(cef_process_message_t, get_argument_list, 72);
NIMO_ABI_OFFSET(cef_process_message_t, get_shared_memory_region, 80);
NIMO_ABI_SIZE(cef_process_message_t, 88);
NIMO_ABI_OFFSET(cef_list_value_t, base, 0);
NIMO_ABI_OFFSET(cef_list_value_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_list_value_t, is_owned, 48);
NIMO_ABI_OFFSET(cef_list_value_t, is_read_only, 56);
NIMO_ABI_OFFSET(cef_list_value_t, is_same, 64);
NIMO_ABI_OFFSET(cef_list_value_t, is_equal, 72);
NIMO_ABI_OFFSET(cef_list_value_t, copy, 80);
NIMO_ABI_OFFSET(cef_list_value_t, set_size, 88);
NIMO_ABI_OFFSET(cef_list_value_t, get_size, 96);
NIMO_ABI_OFFSET(cef_list_value_t, clear, 104);
NIMO_ABI_OFFSET(cef_list_value_t, remove, 112);
NIMO_ABI_OFFSET(cef_list_value_t, get_type, 120);
NIMO_ABI_OFFSET(cef_list_value_t, get_value, 128);
NIMO_ABI_OFFSET(cef_list_value_t, get_bool, 136);
NIMO_ABI_OFFSET(cef_list_value_t, get_int, 144);
NIMO_ABI_OFFSET(cef_list_value_t, get_double, 152);
NIMO_ABI_OFFSET(cef_list_value_t, get_string, 160);
NIMO_ABI_OFFSET(cef_list_value_t, get_binary, 168);
NIMO_ABI_OFFSET(cef_list_value_t, get_dictionary, 176);
NIMO_ABI_OFFSET(cef_list_value_t, get_list, 184);
NIMO_ABI_OFFSET(cef_list_value_t, set_value, 192);
NIMO_ABI_OFFSET(cef_list_value_t, set_null, 200);
NIMO_ABI_OFFSET(cef_list_value_t, set_bool, 208);
NIMO_ABI_OFFSET(cef_list_value_t, set_int, 216);
NIMO_ABI_OFFSET(cef_list_value_t, set_double, 224);
NIMO_ABI_OFFSET(cef_list_value_t, set_string, 232);
NIMO_ABI_OFFSET(cef_list_value_t, set_binary, 240);
NIMO_ABI_OFFSET(cef_list_value_t, set_dictionary, 248);
NIMO_ABI_OFFSET(cef_list_value_t, set_list, 256);
NIMO_ABI_SIZE(cef_list_value_t, 264);
NIMO_ABI_OFFSET(cef_dictionary_value_t, base, 0);
NIMO_ABI_OFFSET(cef_dictionary_value_t, is_valid, 40);
NIMO_ABI_OFFSET(cef_dictionary_value_t, has_key, 104);
NIMO_ABI_OFFSET(cef_dictionary_value_t, get_keys, 112);
NIMO_ABI_OFFSET(cef_dictionary_value_t, get_int, 152);
NIMO_ABI_OFFSET(cef_dictionary_value_t, set_int, 224);
NIMO_ABI_OFFSET(cef_dictionary_value_t, set_list, 264);
NIMO_ABI_SIZE(cef_dictionary_value_t, 272);
NIMO_ABI_OFFSET(cef_request_t, base, 0);
NIMO_ABI_OFFSET(cef_request_t, is_read_only, 40);
NIMO_ABI_OFFSET(cef_request_t, get_url, 48);
NIMO_ABI_OFFSET(cef_request_t, set_url, 56);
NIMO_ABI_OFFSET(cef_request_t, get_method, 64);
NIMO_ABI_OFFSET(cef_request_t, set_method, 72);
NIMO_ABI_OFFSET(cef_request_t, set_referrer, 80);
NIMO_ABI_OFFSET(cef_request_t, get_referrer_url, 88);
NIMO_ABI_OFFSET(cef_request_t, get_referrer_policy, 96);
NIMO_ABI_OFFSET(cef_request_t, get_post_data, 104);
NIMO_ABI_OFFSET(cef_request_t, set_post_data, 112);
NIMO_ABI_OFFSET(cef_request_t, get_header_map, 120);
NIMO_ABI_OFFSET(cef_request_t, set_header_map, 128);
NIMO_ABI_OFFSET(cef_request_t, get_header_by_name, 136);
NIMO_ABI_OFFSET(cef_request_t, set_header_by_name, 144);
NIMO_ABI_OFFSET(cef_request_t, set, 152);
NIMO_ABI_OFFSET(cef_request_t, get_flags, 160);
NIMO_ABI_OFFSET(cef_request_t, set_flags, 168);
NIMO_ABI_OFFSET(cef_request_t, get_first_party_for_cookies, 176);
NIMO_ABI_OFFSET(cef_request_t, set_first_party_for_cookies, 184);
NIMO_ABI_OFFSET(cef_request_t, get_resource_type, 192);
NIMO_ABI_OFFSET(cef_request_t, get_transition_type, 200);
NIMO_ABI_OFFSET(cef_request_t, get_identifier, 208);
NIMO_ABI_SIZE(cef_request_t, 216);
NIMO_ABI_OFFSET(cef_callback_t, base, 0);
NIMO_ABI_OFFSET(cef_callback_t, cont, 40);
NIMO_ABI_OFFSET(cef_callback_t, cancel, 48);
NIMO_ABI_SIZE(cef_callback_t, 56);

NIMO_ABI_OFFSET(cef_resource_skip_callback_t, cont, 40);
NIMO_ABI_SIZE(cef_resource_skip_callback_t, 48);
NIMO_ABI_OFFSET(cef_resource_read_callback_t, cont, 40);
NIMO_ABI_SIZE(cef_resource_read_callback_t, 48);
NIMO_ABI_OFFSET(cef_resource_handler_t, open, 40);
NIMO_ABI_OFFSET(cef_resource_handler_t, process_request, 48);
NIMO_ABI_OFFSET(cef_resource_handler_t, get_response_headers, 56);
NIMO_ABI_OFFSET(cef_resource_handler_t, skip, 64);
NIMO_ABI_OFFSET(cef_resource_handler_t, read, 72);
NIMO_ABI_OFFSET(cef_resource_handler_t, read_response, 80);
NIMO_ABI_OFFSET(cef_resource_handler_t, cancel, 88);
NIMO_ABI_SIZE(cef_resource_handler_t, 96);
NIMO_ABI_OFFSET(cef_response_t, is_read_only, 40);
NIMO_ABI_OFFSET(cef_response_t, get_error, 48);
NIMO_ABI_OFFSET(cef_response_t, set_error, 56);
NIMO_ABI_OFFSET(cef_response_t, get_status, 64);
NIMO_ABI_OFFSET(cef_response_t, set_status, 72);
NIMO_ABI_OFFSET(cef_response_t, get_status_text, 80);
NIMO_ABI_OFFSET(cef_response_t, set_status_text, 88);
NIMO_ABI_OFFSET(cef_response_t, get_mime_type, 96);
NIMO_ABI_OFFSET(cef_response_t, set_mime_type, 104);
NIMO_ABI_OFFSET(cef_response_t, get_charset, 112);
NIMO_ABI_OFFSET(cef_response_t, set_charset, 120);
NIMO_ABI_OFFSET(cef_response_t, get_header_by_name, 128);
NIMO_ABI_OFFSET(cef_response_t, set_header_by_name, 136);
NIMO_ABI_OFFSET(cef_response_t, get_header_map, 144);
NIMO_ABI_OFFSET(cef_response_t, set_header_map, 152);
NIMO_ABI_OFFSET(cef_response_t, get_url, 160);
NIMO_ABI_OFFSET(cef_response_t, set_url, 168);
NIMO_ABI_SIZE(cef_response_t, 176);
NIMO_ABI_OFFSET(cef_run_context_menu_callback_t, base, 0);
NIMO_ABI_OFFSET(cef_run_context_menu_callback_t, cont, 40);
NIMO_ABI_OFFSET(cef_run_context_menu_callback_t, cancel, 48);
NIMO_ABI_SIZE(cef_run_context_menu_callback_t, 56);
NIMO_ABI_OFFSET(cef_unresponsive_process_callback_t, base, 0);
NIMO_ABI_OFFSET(cef_unresponsive_process_callback_t, wait, 40);
NIMO_ABI_OFFSET(cef_unresponsive_process_callback_t, terminate, 48);
NIMO_ABI_SIZE(cef_unresponsive_process_callback_t, 56);
NIMO_ABI_OFFSET(cef_menu_model_t, base, 0);
NIMO_ABI_OFFSET(cef_menu_model_t, is_sub_menu, 40);
NIMO_ABI_OFFSET(cef_menu_model_t, clear, 48);
NIMO_ABI_OFFSET(cef_menu_model_t, get_count, 56);
NIMO_ABI_OFFSET(cef_menu_model_t, add_separator, 64);
NIMO_ABI_OFFSET(cef_menu_model_t, add_item, 72);
NIMO_ABI_OFFSET(cef_menu_model_t, add_check_item, 80);
NIMO_ABI_OFFSET(cef_menu_model_t, add_radio_item, 88);
NIMO_ABI_OFFSET(cef_menu_model_t, add_sub_menu, 96);
NIMO_ABI_OFFSET(cef_menu_model_t, insert_separator_at, 104);
NIMO_ABI_OFFSET(cef_menu_model_t, insert_item_at, 112);
NIMO_ABI_OFFSET(cef_menu_model_t, insert_check_item_at, 120);
NIMO_ABI_OFFSET(cef_menu_model_t, insert_radio_item_at, 128);
NIMO_ABI_OFFSET(cef_menu_model_t, insert_sub_menu_at, 136);
NIMO_ABI_OFFSET(cef_menu_model_t, remove, 144);
NIMO_ABI_OFFSET(cef_menu_model_t, remove_at, 152);
NIMO_ABI_OFFSET(cef_menu_model_t, get_index_of, 160);
NIMO_ABI_OFFSET(cef_menu_model_t, get_command_id_at, 168);
NIMO_ABI_OFFSET(cef_menu_model_t, set_command_id_at, 176);
NIMO_ABI_OFFSET(cef_menu_model_t, get_label, 184);
NIMO_ABI_OFFSET(cef_menu_model_t, get_label_at, 192);
NIMO_ABI_OFFSET(cef_menu_model_t, set_label, 200);
NIMO_ABI_OFFSET(cef_menu_model_t, set_label_at, 208);
NIMO_ABI_OFFSET(cef_menu_model_t, get_type, 216);
NIMO_ABI_OFFSET(cef_menu_model_t, get_type_at, 224);
NIMO_ABI_OFFSET(cef_menu_model_t, get_group_id, 232);
NIMO_ABI_OFFSET(cef_menu_model_t, get_group_id_at, 240);
NIMO_ABI_OFFSET(cef_menu_model_t, set_group_id, 248);
NIMO_ABI_OFFSET(cef_menu_model_t, set_group_id_at, 256);
NIMO_ABI_OFFSET(cef_menu_model_t, get_sub_menu, 264);
NIMO_ABI_OFFSET(cef_menu_model_t, get_sub_menu_at, 272);
NIMO_ABI_OFFSET(cef_menu_model_t, is_visible, 280);
NIMO_ABI_OFFSET(cef_menu_model_t, is_visible_at, 288);
NIMO_ABI_OFFSET(cef_menu_model_t, set_visible, 296);
NIMO_ABI_OFFSET(cef_menu_model_t, set_visible_at, 304);
NIMO_ABI_OFFSET(cef_menu_model_t, is_enabled, 312);
NIMO_ABI_OFFSET(cef_menu_model_t, is_enabled_at, 320);
NIMO_ABI_OFFSET(cef_menu_model_t, set_enabled, 328);
NIMO_ABI_OFFSET(cef_menu_model_t, set_enabled_at, 336);
NIMO_ABI_OFFSET(cef_menu_model_t, is_checked, 344);
NIMO_ABI_OFFSET(cef_menu_model_t, is_checked_at, 352);
NIMO_ABI_OFFSET(cef_menu_model_t, set_checked, 360);
NIMO_ABI_OFFSET(cef_menu_model_t, set_checked_at, 368);
NIMO_ABI_OFFSET(cef_menu_model_t, has_accelerator, 376);
NIMO_ABI_OFFSET(cef_menu_model_t, has_accelerator_at, 384);
NIMO_ABI_OFFSET(cef_menu_model_t, set_accelerator, 392);
NIMO_ABI_OFFSET(cef_menu_model_t, set_accelerator_at, 400);
NIMO_ABI_OFFSET(cef_menu_model_t, remove_accelerator, 408);
NIMO_ABI_OFFSET(cef_menu_model_t, remove_accelerator_at, 416);
NIMO_ABI_OFFSET(cef_menu_model_t, get_accelerator, 424);
NIMO_ABI_OFFSET(cef_menu_model_t, get_accelerator_at, 432);
NIMO_ABI_OFFSET(cef_menu_model_t, set_color, 440);
NIMO_ABI_OFFSET(cef_menu_model_t, set_color_at, 448);
NIMO_ABI_OFFSET(cef_menu_model_t, get_color, 456);
NIMO_ABI_OFFSET(cef_menu_model_t, get_color_at, 464);
NIMO_ABI_OFFSET(cef_menu_model_t, set_font_list, 472);
NIMO_ABI_OFFSET(cef_menu_model_t, set_font_list_at, 480);
NIMO_ABI_SIZE(cef_menu_model_t, 488);
NIMO_ABI_OFFSET(cef_context_menu_params_t, base, 0);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_xcoord, 40);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_ycoord, 48);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_type_flags, 56);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_link_url, 64);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_unfiltered_link_url, 72);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_source_url, 80);
NIMO_ABI_OFFSET(cef_context_menu_params_t, has_image_contents, 88);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_title_text, 96);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_page_url, 104);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_frame_url, 112);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_frame_charset, 120);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_media_type, 128);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_media_state_flags, 136);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_selection_text, 144);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_misspelled_word, 152);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_dictionary_suggestions, 160);
NIMO_ABI_OFFSET(cef_context_menu_params_t, is_editable, 168);
NIMO_ABI_OFFSET(cef_context_menu_params_t, is_spell_check_enabled, 176);
NIMO_ABI_OFFSET(cef_context_menu_params_t, get_edit_state_flags, 184);
NIMO_ABI_OFFSET(cef_context_menu_params_t, is_custom_menu, 192);
NIMO_ABI_SIZE(cef_context_menu_params_t, 200);

#undef NIMO_ABI_SIZE
#undef NIMO_ABI_OFFSET
