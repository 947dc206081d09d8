// What a surface does when its page's renderer fails. A renderer that ends (crash, out of
// memory, killed) leaves the browser showing nothing: the page is reloaded after a short
// delay, at most a few times a minute, so a page that crashes on every load does not keep
// a renderer restarting for ever; past that it stays down until the client itself loads
// something. A renderer that stops answering is given a grace period and then ended, which
// brings it back through the path above; one that answers in time is left alone.
//
// The decisions only: the caller supplies the clock and carries out the reloads and the
// terminations. Threads: one record belongs to one thread (the engine's UI thread).
#pragma once
#include <cstdint>

namespace nimo {

// Time from a renderer's end to the reload of its page.
constexpr std::int64_t kCrashReloadDelayMs = 500;
// Automatic reloads granted per surface within any window of this length.
constexpr int kCrashReloadsPerWindow = 3;
constexpr std::int64_t kCrashReloadWindowMs = 60000;
// How long a renderer that stopped answering is waited for before it is ended (the engine
// reports it only after it has not answered for about 15 s already).
constexpr std::int64_t kHangGraceMs = 5000;

// A short name of a cef_termination_status_t value, for the log ("crashed", "killed", ...);
// "unknown" for values the engine does not define.
const char* TerminationStatusName(int status);

enum class CrashAction {
  kReload,    // reload the page after kCrashReloadDelayMs (token: pending_reload())
  kStayDown,  // the limit is spent: the page stays down until the client loads one
  kNothing,   // the surface is closing or the process is shutting down
};

class RendererFaultState {
 public:
  // The renderer ended at `now_ms` (any monotonic millisecond clock). A reload still
  // pending from an earlier end is superseded, and so is a grace period: the renderer is
  // gone.
  CrashAction OnRendererEnded(std::int64_t now_ms, bool closing);
  // The token of the reload granted last, 0 when none is pending.
  std::uint32_t pending_reload() const { return reload_token_; }
  // At the reload's time: whether reload `token` is still to be carried out (it is then no
  // longer pending). False once superseded, dropped by a client load or by Reset, or when
  // the surface is closing by now.
  bool TakeReload(std::uint32_t token, bool closing);

  // The client navigated or reloaded the surface: a pending reload is dropped (the client's
  // load replaces it) and the page starts again with the whole limit.
  void OnClientLoad();

  // The renderer stopped answering: a grace period starts; returns its token.
  std::uint32_t OnUnresponsive();
  // The renderer answers again: the grace period ends without a termination. Returns
  // whether one was running.
  bool OnResponsive();
  // At the end of grace period `token`: whether the renderer is to be ended now (the
  // period is then over). False when it answered, ended, or a newer period began.
  bool TakeHangExpiry(std::uint32_t token);

  // The surface's browser is gone: nothing stays pending and the history is forgotten.
  void Reset();

 private:
  std::uint32_t NextToken();

  std::int64_t reload_times_[kCrashReloadsPerWindow] = {};  // granted reloads, oldest first
  int reload_count_ = 0;
  std::uint32_t last_token_ = 0;
  std::uint32_t reload_token_ = 0;  // pending reload, 0 for none
  std::uint32_t hang_token_ = 0;    // running grace period, 0 for none
};

}  // namespace nimo
