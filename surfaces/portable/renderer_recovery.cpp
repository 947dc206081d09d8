#include "surfaces/portable/renderer_recovery.h"

namespace nimo {

const char* TerminationStatusName(int status) {
  switch (status) {
    case 0: return "abnormal termination";
    case 1: return "killed";
    case 2: return "crashed";
    case 3: return "out of memory";
    case 4: return "launch failed";
    case 5: return "integrity failure";
    default: return "unknown";
  }
}

std::uint32_t RendererFaultState::NextToken() {
  // Tokens are never 0 and never reused within a record's life, Reset included, so a
  // task that outlives its occasion can never be mistaken for a newer one.
  if (++last_token_ == 0) ++last_token_;
  return last_token_;
}

CrashAction RendererFaultState::OnRendererEnded(std::int64_t now_ms, bool closing) {
  reload_token_ = 0;
  hang_token_ = 0;
  if (closing) return CrashAction::kNothing;
  // Forget grants that have left the window.
  int kept = 0;
  for (int i = 0; i < reload_count_; ++i) {
    if (now_ms - reload_times_[i] < kCrashReloadWindowMs) reload_times_[kept++] = reload_times_[i];
  }
  reload_count_ = kept;
  if (reload_count_ >= kCrashReloadsPerWindow) return CrashAction::kStayDown;
  reload_times_[reload_count_++] = now_ms;
  reload_token_ = NextToken();
  return CrashAction::kReload;
}

bool RendererFaultState::TakeReload(std::uint32_t token, bool closing) {
  if (token == 0 || token != reload_token_) return false;
  reload_token_ = 0;
  return !closing;
}

void RendererFaultState::OnClientLoad() {
  reload_token_ = 0;
  reload_count_ = 0;
}

std::uint32_t RendererFaultState::OnUnresponsive() {
  hang_token_ = NextToken();
  return hang_token_;
}

bool RendererFaultState::OnResponsive() {
  const bool running = hang_token_ != 0;
  hang_token_ = 0;
  return running;
}

bool RendererFaultState::TakeHangExpiry(std::uint32_t token) {
  if (token == 0 || token != hang_token_) return false;
  hang_token_ = 0;
  return true;
}

void RendererFaultState::Reset() {
  reload_count_ = 0;
  reload_token_ = 0;
  hang_token_ = 0;
}

}  // namespace nimo
