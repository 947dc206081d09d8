// What each client command does to a surface once the reader thread has validated it:
// the command sink the link is connected with, the UI-task bodies (create, resize, focus,
// visibility with its delayed refreshes, reload, input) and the two commands the reader
// carries out itself (Navigate, ExecuteScript), plus CloseAllAndQuit, which ends the
// process after the link has ended.
// Commands are fire-and-forget: an id of 4 or more, a surface without a browser or a
// missing engine slot makes a command do nothing, silently.
//
// Threads: the *Task bodies run on the UI thread only. NavigateSurface and
// ExecuteScriptInSurface run on the reader thread and hold their own browser reference
// for the duration of the call.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/pipe_link.h"

namespace nimo {

// Delays of the three view refreshes that follow showing a surface.
constexpr std::int64_t kRefreshDelaysMs[3] = {50, 150, 400};

// The sink for ConnectPipe: input and most commands become UI tasks (closures over copies
// of what they need), Navigate and ExecuteScript are carried out on the reader thread, and
// the end of the link posts CloseAllAndQuit.
CommandSink SurfaceCommandSink();

// Reader thread.
void NavigateSurface(std::uint32_t surface_id, const char* url, std::size_t url_length);
void ExecuteScriptInSurface(std::uint32_t surface_id, const char* script,
                            std::size_t script_length);

// UI-task bodies, each given its command's head (or input record) and text.
void CreateSurfaceTask(const SurfaceHead& head, const std::string& url);  // {id, width, height}
void ResizeTask(const SurfaceHead& head);      // {id, width, height}
void FocusTask(const SurfaceHead& head);       // {id, -, -, focus}
void VisibilityTask(const SurfaceHead& head);  // {id, -, -, hidden}
void RefreshViewTask(std::uint32_t surface_id);
void ReloadTask(const SurfaceHead& head);      // {id, -, -, ignore_cache}
void ScaleTask(const SurfaceHead& head);       // {id, scale x 1000} (protocol 3)
void InputTask(const InputRecord& input);
// Closes every browser once per process; the loop quits after the last one has gone, or
// at once when none is alive or being created, and at the latest kShutdownDeadlineMs
// later (ShutdownDeadlineTask).
void CloseAllAndQuit();
constexpr std::int64_t kShutdownDeadlineMs = 5000;
// Quits the loop, with a log line, unless it was asked to quit already.
void ShutdownDeadlineTask();

}  // namespace nimo
