// Frames the engine announces, as the client sees them: keeps the newest FrameReady of
// each surface, closes every handle the engine duplicated into this process once a newer
// one replaces it (they are ours to close), and on request opens the newest one with
// OpenSharedResource1, copies it into a staging texture, maps it and writes a PNG.
// Plain Direct3D 11 on the default hardware adapter, so it runs unchanged on Windows.
//
// Threads: any; calls are serialised by an internal lock.
#pragma once
#include <cstdint>
#include <mutex>
#include <string>

struct ID3D11Device;
struct ID3D11Device1;
struct ID3D11DeviceContext;
struct ID3D11Texture2D;

namespace nimo {
namespace client {

class FrameSaver {
 public:
  // With `open_every_handle`, each newly announced handle is opened at once (and kept
  // open for later saves), so a handle the client cannot open shows up as a failure.
  explicit FrameSaver(bool open_every_handle = false) : open_every_handle_(open_every_handle) {}
  ~FrameSaver();
  FrameSaver(const FrameSaver&) = delete;
  FrameSaver& operator=(const FrameSaver&) = delete;

  void OnFrameReady(std::uint32_t surface, std::uint64_t handle, std::uint32_t width, std::uint32_t height);

  // Writes the newest frame of `surface` to `path` (folders are created). False with a
  // reason when there is no frame yet or any step fails.
  bool Save(std::uint32_t surface, const std::string& path, std::string* error);

  // How many announced handles were closed because a newer one replaced them.
  std::uint32_t closed_handles() const;
  // With open_every_handle: handles opened, and handles that failed to open.
  std::uint32_t opened_handles() const;
  std::uint32_t open_failures() const;

 private:
  struct Slot {
    std::uint64_t handle = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ID3D11Texture2D* shared = nullptr;   // opened from `handle`
    ID3D11Texture2D* staging = nullptr;  // CPU-readable copy of the same size and format
  };
  bool EnsureDevice(std::string* error);
  bool OpenShared(Slot* slot, std::string* error);
  static void DropTextures(Slot* slot);

  mutable std::mutex lock_;
  Slot slots_[4];
  const bool open_every_handle_;
  std::uint32_t closed_handles_ = 0;
  std::uint32_t opened_handles_ = 0;
  std::uint32_t open_failures_ = 0;
  bool device_tried_ = false;
  ID3D11Device* device_ = nullptr;
  ID3D11Device1* device1_ = nullptr;
  ID3D11DeviceContext* context_ = nullptr;
};

}  // namespace client
}  // namespace nimo
