// What a surface id decides about its browser: shared textures, external begin frames and
// the frame pump, the frame rate, the probe page, whether its documents get page scripts.
// Flag files are asked for through a callback, only for the ids they apply to and in a
// fixed order, so the decision is pure and the question "which flag was looked at" can be
// tested. Any thread.
#pragma once
#include <cstdint>
#include <string>

namespace nimo {

constexpr const char kFlagCpuFrames[] = "ZUNT_WEB_CPUFRAMES";
constexpr const char kFlagNoExternalBeginFrames[] = "ZUNT_WEB_NOEXTBF";
constexpr const char kFlagTestPage[] = "ZUNT_WEB_TESTPAGE";
constexpr const char kBlankUrl[] = "about:blank";

// The probe page of the UI surface: a dark page with one red square that a
// requestAnimationFrame loop moves one pixel right per frame, wrapping after 256 frames,
// so every frame differs from the one before.
extern const char kProbePageUrl[];

// Answers whether a flag file of that name exists now.
using FlagQuery = bool (*)(const char* name);

struct CreateRules {
  bool shared_texture = false;
  bool external_begin_frames = false;
  int frame_rate = 0;
};

// Window and browser settings of a browser requested for `id` (0..3) by a client command.
// Surface 2 never consults a flag; the others ask the CPU-frames flag, then the begin-frame
// flag.
CreateRules DecideCreateRules(std::uint32_t id, FlagQuery flag_exists);

// The same for the UI surface requested at start-up, which asks the begin-frame flag
// first, then the CPU-frames flag.
CreateRules DecideStartupRules(FlagQuery flag_exists);

// Whether a browser that has just arrived for `id` gets a frame pump.
bool WantsFramePump(std::uint32_t id, FlagQuery flag_exists);

// Whether the probe page replaces the URL: only on the UI surface, only under its flag.
bool UsesProbePage(std::uint32_t id, FlagQuery flag_exists);

// Whether the documents of surface `id` get window.mp and the engine's other page scripts:
// every surface but 1, whose pages never hear from or talk to the game.
bool GetsPageScripts(std::uint32_t id);

// The key, in the creation info of a browser whose renderers put window.mp into each new
// document before its first script (protocol-3 sessions), set to 1. Browser and renderer
// processes both read it from here.
constexpr const char kEarlyPageApiKey[] = "nimo.page_api";

// The URL a client-requested browser opens: the text as received, "about:blank" for none.
std::string ClientRequestedUrl(const std::string& text);

}  // namespace nimo
