// The process-wide table of engine entry points and the loaded engine library.
// Filled on the main thread before the engine starts any thread (renderer-side entries in
// WinMain, browser-side ones at the start of the browser process); afterwards only read,
// from any thread. Every entry is null when the library does not export it: test before use.
#pragma once
#include <windows.h>

#include "base/portable/engine_abi.h"

namespace nimo {

struct EngineApi {
  // Renderer side and strings, resolved in every role.
  cef_execute_process_fn cef_execute_process;
  cef_string_utf8_to_utf16_fn cef_string_utf8_to_utf16;
  cef_string_utf16_clear_fn cef_string_utf16_clear;
  cef_v8value_create_function_fn cef_v8value_create_function;
  cef_v8value_create_object_fn cef_v8value_create_object;
  cef_v8value_create_undefined_fn cef_v8value_create_undefined;
  cef_process_message_create_fn cef_process_message_create;
  cef_string_userfree_utf16_free_fn cef_string_userfree_utf16_free;
  cef_v8context_get_current_context_fn cef_v8context_get_current_context;
  // Browser side.
  cef_initialize_fn cef_initialize;
  cef_run_message_loop_fn cef_run_message_loop;
  cef_shutdown_fn cef_shutdown;
  cef_browser_host_create_browser_fn cef_browser_host_create_browser;
  cef_post_task_fn cef_post_task;
  cef_post_delayed_task_fn cef_post_delayed_task;
  cef_quit_message_loop_fn cef_quit_message_loop;
  cef_currently_on_fn cef_currently_on;  // optional: the UI-thread check's second opinion
  // Revision queries (browser side, optional).
  cef_version_info_fn cef_version_info;
  cef_api_hash_fn cef_api_hash;
  // Browser side, optional: a browser's creation info for its renderer processes.
  cef_dictionary_value_create_fn cef_dictionary_value_create;
};

extern EngineApi engine_api;
extern HMODULE engine_module;

// Resolves, in this order, cef_execute_process, cef_string_utf8_to_utf16,
// cef_string_utf16_clear, cef_v8value_create_function, cef_v8value_create_object,
// cef_v8value_create_undefined, cef_process_message_create, cef_string_userfree_utf16_free
// and cef_v8context_get_current_context from engine_module (all null without a module).
void ResolveRendererEntries();

// Resolves, in this order, cef_initialize, cef_run_message_loop, cef_shutdown,
// cef_browser_host_create_browser, cef_post_task, cef_post_delayed_task,
// cef_quit_message_loop, cef_currently_on, then cef_version_info, cef_api_hash and
// cef_dictionary_value_create. Returns whether the five the browser process cannot run
// without are present (cef_shutdown, cef_post_delayed_task, cef_currently_on, the revision
// queries and the dictionary may be missing).
bool ResolveBrowserEntries();

// Writes the engine's version and API hash to the log when the library exports them, and a
// warning when either is not the one of the revision this program was built for (the hash
// is not asked of a library of another major version). Call after ResolveBrowserEntries.
void LogEngineRevision();

}  // namespace nimo
