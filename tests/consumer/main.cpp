// Starts the engine on the UI folder "ui" beside this program, served as
// https://nimo.localhost/, and waits until surface 0 shows the page's background colour and
// the page has answered through window.mp. Prints one line per step; exit code 0 on success.
#include <d3d11_1.h>
#include <nimo/nimo_host.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// The colour of the page's body (tests/consumer/run.sh writes the page).
constexpr int kRed = 32, kGreen = 96, kBlue = 160;

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\'));
}

// The pixel in the middle of the texture, as 0xRRGGBB.
bool CentrePixel(ID3D11Device1* device, const nimo::host::SurfaceTexture& frame, unsigned* rgb) {
  D3D11_TEXTURE2D_DESC desc;
  frame.texture->GetDesc(&desc);
  desc.Usage = D3D11_USAGE_STAGING;
  desc.BindFlags = 0;
  desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
  desc.MiscFlags = 0;
  Microsoft::WRL::ComPtr<ID3D11Texture2D> staging;
  Microsoft::WRL::ComPtr<ID3D11DeviceContext> context;
  device->GetImmediateContext(&context);
  if (FAILED(device->CreateTexture2D(&desc, nullptr, &staging))) return false;
  context->CopyResource(staging.Get(), frame.texture.Get());
  D3D11_MAPPED_SUBRESOURCE map = {};
  if (FAILED(context->Map(staging.Get(), 0, D3D11_MAP_READ, 0, &map))) return false;
  const unsigned char* p = static_cast<const unsigned char*>(map.pData) + (desc.Height / 2) * map.RowPitch + (desc.Width / 2) * 4;
  const bool bgra = frame.format == nimo::kFrameFormatBgra;
  *rgb = (bgra ? p[2] : p[0]) << 16 | p[1] << 8 | (bgra ? p[0] : p[2]);
  context->Unmap(staging.Get(), 0);
  return true;
}

bool Near(unsigned rgb) {
  const int r = (rgb >> 16) & 255, g = (rgb >> 8) & 255, b = rgb & 255;
  return std::abs(r - kRed) <= 2 && std::abs(g - kGreen) <= 2 && std::abs(b - kBlue) <= 2;
}

}  // namespace

int main() {
  std::printf("host library %s\n", nimo::host::LibraryVersion());
  Microsoft::WRL::ComPtr<ID3D11Device> device;
  Microsoft::WRL::ComPtr<ID3D11Device1> device1;
  if (FAILED(D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, nullptr, 0, D3D11_SDK_VERSION, &device,
                               nullptr, nullptr)) ||
      FAILED(device.As(&device1))) {
    std::printf("no Direct3D 11.1 device\n");
    return 2;
  }

  nimo::host::Host host;
  nimo::host::StartOptions options;
  options.ui_root = ProgramFolder() + "\\ui";
  options.url = "https://nimo.localhost/";
  options.protocol_version = 3;
  options.device = device1;
  nimo::host::StartError error;
  if (!host.Start(options, &error)) {
    std::printf("start: %s\n", error.Text().c_str());
    return 3;
  }
  std::printf("engine started, protocol %u\n", host.protocol_version());

  bool shown = false, answered = false;
  const ULONGLONG deadline = GetTickCount64() + 60000;
  while (!(shown && answered) && GetTickCount64() < deadline) {
    nimo::host::Event event;
    if (!host.Poll(&event)) {
      Sleep(10);
      continue;
    }
    using Kind = nimo::host::Event::Kind;
    if (event.kind == Kind::kEngineEnded) break;
    if (event.kind == Kind::kPageMessage && event.page_parsed && event.page.name == "ready" &&
        event.page.args.size() == 1) {
      // The page sent mp.trigger("ready", {origin}); an object arrives as JSON text.
      std::printf("page: %s %s\n", event.page.name.c_str(), event.page.args[0].value.c_str());
      host.Emit(0, "shown", {"hello from the program", 42});
    }
    // A console line reads "log|<text>  (<source>:<line>)".
    if (event.kind == Kind::kConsole && event.report.text.find("|answer hello from the program 42 ") != std::string::npos) {
      std::printf("page answered\n");
      answered = true;
    }
    nimo::host::SurfaceTexture frame;
    unsigned rgb = 0;
    if (!shown && event.kind == Kind::kFrame && event.report.surface_id == 0 && host.Texture(0, &frame) &&
        frame.view && CentrePixel(device1.Get(), frame, &rgb) && Near(rgb)) {
      std::printf("frame %ux%u, centre pixel %06x\n", frame.width, frame.height, rgb);
      shown = true;
    }
  }
  const nimo::host::ExitReport end = host.Shutdown(20000);
  std::printf("engine ended with %ld\n", end.exit_code);
  return shown && answered && end.exit_code == 0 ? 0 : 1;
}
