#include "tests/support/fake_cef.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "base/engine_api.h"

namespace nimo {
namespace test {
namespace {

// Request handlers run on the engine's IO thread too: the count is shared.
std::atomic<int> live_strings(0);

std::u16string ToUnits(const std::string& utf8) {
  if (utf8.empty()) return std::u16string();
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::u16string units(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                      reinterpret_cast<wchar_t*>(&units[0]), n);
  return units;
}

void FreeUnits(char16_t* str) {
  delete[] str;
  --live_strings;
}

void Fill(cef_string_t* out, const std::u16string& units) {
  out->str = new char16_t[units.size() + 1];
  units.copy(out->str, units.size());
  out->str[units.size()] = u'\0';
  out->length = units.size();
  out->dtor = FreeUnits;
  ++live_strings;
}

int FakeUtf8ToUtf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  if (output->dtor && output->str) output->dtor(output->str);
  Fill(output, ToUnits(std::string(src, src_len)));
  return 1;
}

void FakeUtf16Clear(cef_string_utf16_t* str) {
  if (str->dtor && str->str) str->dtor(str->str);
  str->str = nullptr;
  str->length = 0;
  str->dtor = nullptr;
}

void FakeUserfreeFree(cef_string_userfree_utf16_t str) {
  FakeUtf16Clear(str);
  delete str;
  --live_strings;
}

template <typename F>
void CEF_CALLBACK AddRef(cef_base_ref_counted_t* base) {
  ++reinterpret_cast<F*>(base)->refs;
}
template <typename F>
int CEF_CALLBACK Release(cef_base_ref_counted_t* base) {
  return --reinterpret_cast<F*>(base)->refs == 0 ? 1 : 0;
}
template <typename F>
int CEF_CALLBACK HasOneRef(cef_base_ref_counted_t* base) {
  return reinterpret_cast<F*>(base)->refs == 1;
}
template <typename F>
int CEF_CALLBACK HasAtLeastOneRef(cef_base_ref_counted_t* base) {
  return reinterpret_cast<F*>(base)->refs >= 1;
}
template <typename F>
void InitBase(cef_base_ref_counted_t* base, size_t size) {
  base->size = size;
  base->add_ref = AddRef<F>;
  base->release = Release<F>;
  base->has_one_ref = HasOneRef<F>;
  base->has_at_least_one_ref = HasAtLeastOneRef<F>;
}

void CEF_CALLBACK FrameExecute(cef_frame_t* self, const cef_string_t* code,
                               const cef_string_t* script_url, int start_line) {
  FakeFrame* f = reinterpret_cast<FakeFrame*>(self);
  f->scripts.push_back(Utf8Of(code));
  f->script_urls.push_back(Utf8Of(script_url));
  f->start_lines.push_back(start_line);
}
void CEF_CALLBACK FrameLoadUrl(cef_frame_t* self, const cef_string_t* url) {
  reinterpret_cast<FakeFrame*>(self)->loads.push_back(Utf8Of(url));
}
int CEF_CALLBACK FrameIsMain(cef_frame_t*) { return 1; }
int CEF_CALLBACK FrameIsSub(cef_frame_t*) { return 0; }

FakeHost* HostOf(cef_browser_host_t* self) { return reinterpret_cast<FakeHost*>(self); }
void CEF_CALLBACK HostWasResized(cef_browser_host_t* self) { HostOf(self)->calls.push_back("was_resized"); }
void CEF_CALLBACK HostInvalidate(cef_browser_host_t* self, cef_paint_element_type_t type) {
  HostOf(self)->calls.push_back("invalidate " + std::to_string(static_cast<int>(type)));
}

void Note(cef_browser_host_t* self, const char* format, long long a = 0, long long b = 0, long long c = 0,
          long long d = 0, long long e = 0, long long f = 0, long long g = 0, long long h = 0) {
  char line[200];
  std::snprintf(line, sizeof line, format, a, b, c, d, e, f, g, h);
  HostOf(self)->calls.push_back(line);
}
void CEF_CALLBACK HostWasHidden(cef_browser_host_t* self, int hidden) { Note(self, "was_hidden %lld", hidden); }
void CEF_CALLBACK HostSetFocus(cef_browser_host_t* self, int focus) { Note(self, "set_focus %lld", focus); }
void CEF_CALLBACK HostCloseBrowser(cef_browser_host_t* self, int force) {
  Note(self, "close_browser %lld", force);
}
void CEF_CALLBACK HostBeginFrame(cef_browser_host_t* self) { Note(self, "begin_frame"); }
void CEF_CALLBACK HostKey(cef_browser_host_t* self, const cef_key_event_t* e) {
  Note(self, "key type=%lld mods=%lld wkc=%lld nkc=%lld sys=%lld char=%lld unmod=%lld edit=%lld", e->type,
       e->modifiers, e->windows_key_code, e->native_key_code, e->is_system_key, e->character,
       e->unmodified_character, e->focus_on_editable_field);
}
void CEF_CALLBACK HostClick(cef_browser_host_t* self, const cef_mouse_event_t* e, cef_mouse_button_type_t button,
                            int up, int count) {
  Note(self, "click x=%lld y=%lld mods=%lld button=%lld up=%lld count=%lld", e->x, e->y, e->modifiers, button, up,
       count);
}
void CEF_CALLBACK HostMove(cef_browser_host_t* self, const cef_mouse_event_t* e, int leave) {
  Note(self, "move x=%lld y=%lld mods=%lld leave=%lld", e->x, e->y, e->modifiers, leave);
}
void CEF_CALLBACK HostWheel(cef_browser_host_t* self, const cef_mouse_event_t* e, int dx, int dy) {
  Note(self, "wheel x=%lld y=%lld mods=%lld dx=%lld dy=%lld", e->x, e->y, e->modifiers, dx, dy);
}

cef_frame_t* CEF_CALLBACK BrowserGetMainFrame(cef_browser_t* self) {
  FakeFrame* frame = reinterpret_cast<FakeBrowser*>(self)->main_frame;
  if (!frame) return nullptr;
  ++frame->refs;  // a returned object is the caller's to release
  return &frame->cef;
}
void CEF_CALLBACK BrowserReload(cef_browser_t* self) { reinterpret_cast<FakeBrowser*>(self)->calls.push_back("reload"); }
void CEF_CALLBACK BrowserReloadIgnoreCache(cef_browser_t* self) {
  reinterpret_cast<FakeBrowser*>(self)->calls.push_back("reload_ignore_cache");
}

int CEF_CALLBACK BrowserIsSame(cef_browser_t* self, cef_browser_t* that) {
  if (!that) return 0;
  const bool same = reinterpret_cast<FakeBrowser*>(self)->identity == reinterpret_cast<FakeBrowser*>(that)->identity;
  that->base.release(&that->base);  // like every object passed to the engine, consumed
  return same ? 1 : 0;
}
int CEF_CALLBACK BrowserIdentifier(cef_browser_t* self) { return reinterpret_cast<FakeBrowser*>(self)->identity; }

int CEF_CALLBACK MenuClear(cef_menu_model_t* self) {
  ++reinterpret_cast<FakeMenuModel*>(self)->clears;
  return 1;
}
void CEF_CALLBACK MenuCancel(cef_run_context_menu_callback_t* self) {
  ++reinterpret_cast<FakeMenuCallback*>(self)->cancels;
}

FakeList* ListOf(cef_list_value_t* self) { return reinterpret_cast<FakeList*>(self); }
size_t CEF_CALLBACK ListSize(cef_list_value_t* self) { return ListOf(self)->items.size(); }
cef_value_type_t CEF_CALLBACK ListType(cef_list_value_t* self, size_t index) {
  FakeList* l = ListOf(self);
  return index < l->items.size() ? l->items[index].first : VTYPE_INVALID;
}
cef_string_userfree_t CEF_CALLBACK ListString(cef_list_value_t* self, size_t index) {
  FakeList* l = ListOf(self);
  if (index >= l->items.size() || l->items[index].first != VTYPE_STRING) return nullptr;
  return NewUserfreeString(l->items[index].second);
}

FakeMessage* MessageOf(cef_process_message_t* self) { return reinterpret_cast<FakeMessage*>(self); }
cef_string_userfree_t CEF_CALLBACK MessageName(cef_process_message_t* self) {
  return NewUserfreeString(MessageOf(self)->name);
}
cef_list_value_t* CEF_CALLBACK MessageList(cef_process_message_t* self) {
  FakeMessage* m = MessageOf(self);
  ++m->list_requests;
  if (!m->has_list) return nullptr;
  ++m->list.refs;  // a returned object is the caller's to release
  return &m->list.cef;
}

FakeCommandLine* LineOf(cef_command_line_t* self) { return reinterpret_cast<FakeCommandLine*>(self); }
void CEF_CALLBACK LineAppendSwitch(cef_command_line_t* self, const cef_string_t* name) {
  LineOf(self)->appended.push_back("--" + Utf8Of(name));
}
void CEF_CALLBACK LineAppendSwitchValue(cef_command_line_t* self, const cef_string_t* name,
                                        const cef_string_t* value) {
  LineOf(self)->appended.push_back("--" + Utf8Of(name) + "=" + Utf8Of(value));
}
cef_string_userfree_t CEF_CALLBACK LineText(cef_command_line_t* self) {
  std::string text = "prog.exe --type=renderer";
  for (const std::string& s : LineOf(self)->appended) text += " " + s;
  return NewUserfreeString(text);
}

cef_browser_host_t* CEF_CALLBACK BrowserGetHost(cef_browser_t* self) {
  FakeBrowser* b = reinterpret_cast<FakeBrowser*>(self);
  if (!b->has_host) return nullptr;
  ++b->host.refs;  // a returned object is the caller's to release
  return &b->host.cef;
}

cef_string_userfree_t CEF_CALLBACK RequestGetUrl(cef_request_t* self) {
  return NewUserfreeString(reinterpret_cast<FakeRequest*>(self)->url);
}
void CEF_CALLBACK RequestSetUrl(cef_request_t* self, const cef_string_t* url) {
  FakeRequest* r = reinterpret_cast<FakeRequest*>(self);
  r->url = Utf8Of(url);
  r->set_urls.push_back(r->url);
}

}  // namespace

void InstallFakeEngineStrings(bool with_utf8_to_utf16) {
  engine_api.cef_string_utf8_to_utf16 = with_utf8_to_utf16 ? FakeUtf8ToUtf16 : nullptr;
  engine_api.cef_string_utf16_clear = FakeUtf16Clear;
  engine_api.cef_string_userfree_utf16_free = FakeUserfreeFree;
}

int LiveEngineStrings() { return live_strings; }

cef_string_userfree_t NewUserfreeString(const std::string& utf8) {
  cef_string_userfree_t s = new cef_string_utf16_t();
  ++live_strings;
  Fill(s, ToUnits(utf8));
  return s;
}

std::string Utf8Of(const cef_string_t* text) {
  if (!text || !text->str || text->length == 0) return std::string();
  const wchar_t* w = reinterpret_cast<const wchar_t*>(text->str);
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(text->length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w, static_cast<int>(text->length), &out[0], n, nullptr, nullptr);
  return out;
}

FakeFrame* NewFrame(bool main, bool has_is_main) {
  FakeFrame* f = new FakeFrame();
  InitBase<FakeFrame>(&f->cef.base, sizeof(cef_frame_t));
  f->cef.execute_java_script = FrameExecute;
  f->cef.load_url = FrameLoadUrl;
  if (has_is_main) f->cef.is_main = main ? FrameIsMain : FrameIsSub;
  return f;
}

FakeBrowser* NewWrapperOf(const FakeBrowser& browser) {
  FakeBrowser* b = NewBrowser();
  b->identity = browser.identity;
  b->has_host = browser.has_host;
  b->main_frame = browser.main_frame;
  return b;
}

FakeBrowser* NewBrowser() {
  static std::atomic<int> identities(0);
  FakeBrowser* b = new FakeBrowser();
  b->identity = ++identities;
  InitBase<FakeBrowser>(&b->cef.base, sizeof(cef_browser_t));
  b->cef.get_host = BrowserGetHost;
  b->cef.get_main_frame = BrowserGetMainFrame;
  b->cef.reload = BrowserReload;
  b->cef.reload_ignore_cache = BrowserReloadIgnoreCache;
  b->cef.is_same = BrowserIsSame;
  b->cef.get_identifier = BrowserIdentifier;
  InitBase<FakeHost>(&b->host.cef.base, sizeof(cef_browser_host_t));
  cef_browser_host_t& h = b->host.cef;
  h.was_resized = HostWasResized;
  h.invalidate = HostInvalidate;
  h.was_hidden = HostWasHidden;
  h.set_focus = HostSetFocus;
  h.close_browser = HostCloseBrowser;
  h.send_external_begin_frame = HostBeginFrame;
  h.send_key_event = HostKey;
  h.send_mouse_click_event = HostClick;
  h.send_mouse_move_event = HostMove;
  h.send_mouse_wheel_event = HostWheel;
  return b;
}

FakeRequest* NewRequest(const std::string& url, bool with_set_url) {
  FakeRequest* r = new FakeRequest();
  InitBase<FakeRequest>(&r->cef.base, sizeof(cef_request_t));
  r->url = url;
  r->cef.get_url = RequestGetUrl;
  if (with_set_url) r->cef.set_url = RequestSetUrl;
  return r;
}

FakeCallback* NewCallback() {
  FakeCallback* c = new FakeCallback();
  InitBase<FakeCallback>(&c->cef.base, sizeof(cef_callback_t));
  return c;
}

FakeMessage* NewMessage(const std::string& name, std::vector<std::pair<cef_value_type_t, std::string>> items) {
  FakeMessage* m = new FakeMessage();
  InitBase<FakeMessage>(&m->cef.base, sizeof(cef_process_message_t));
  m->cef.get_name = MessageName;
  m->cef.get_argument_list = MessageList;
  m->name = name;
  InitBase<FakeList>(&m->list.cef.base, sizeof(cef_list_value_t));
  m->list.cef.get_size = ListSize;
  m->list.cef.get_type = ListType;
  m->list.cef.get_string = ListString;
  m->list.items = std::move(items);
  return m;
}

FakeCommandLine* NewCommandLine() {
  FakeCommandLine* c = new FakeCommandLine();
  InitBase<FakeCommandLine>(&c->cef.base, sizeof(cef_command_line_t));
  c->cef.append_switch = LineAppendSwitch;
  c->cef.append_switch_with_value = LineAppendSwitchValue;
  c->cef.get_command_line_string = LineText;
  return c;
}

FakeMenuModel* NewMenuModel(bool with_clear) {
  FakeMenuModel* m = new FakeMenuModel();
  InitBase<FakeMenuModel>(&m->cef.base, sizeof(cef_menu_model_t));
  if (with_clear) m->cef.clear = MenuClear;
  return m;
}

FakeMenuParams* NewMenuParams() {
  FakeMenuParams* p = new FakeMenuParams();
  InitBase<FakeMenuParams>(&p->cef.base, sizeof(cef_context_menu_params_t));
  return p;
}

FakeMenuCallback* NewMenuCallback() {
  FakeMenuCallback* c = new FakeMenuCallback();
  InitBase<FakeMenuCallback>(&c->cef.base, sizeof(cef_run_context_menu_callback_t));
  c->cef.cancel = MenuCancel;
  return c;
}

ArgString::ArgString(const std::string& utf8) : units_(ToUnits(utf8)), value_() {
  value_.str = units_.empty() ? nullptr : &units_[0];
  value_.length = units_.size();
}

}  // namespace test
}  // namespace nimo
