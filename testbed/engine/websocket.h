// A WebSocket client over Winsock, just enough for the DevTools endpoint of a local
// browser: one connection to 127.0.0.1, text messages of any size (fragments joined),
// pings answered, client frames masked as the protocol requires.
//
// Threads: Send from any thread (serialised inside); Receive from one reader thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

namespace standin {

class WebSocket {
 public:
  WebSocket();
  ~WebSocket();
  WebSocket(const WebSocket&) = delete;
  WebSocket& operator=(const WebSocket&) = delete;

  // Connects to 127.0.0.1:`port` and upgrades `path`; false with a reason in `error`.
  bool Connect(int port, const std::string& path, std::string* error);
  // Sends one text message; false once the connection is gone.
  bool Send(const std::string& text);
  // Blocks for the next whole text message; false when the connection closed or failed.
  bool Receive(std::string* text);
  // Ends the connection; a blocked Receive returns false.
  void Close();

 private:
  bool ReadExact(char* data, std::size_t size);
  bool SendFrame(int opcode, const char* data, std::size_t size);

  std::uintptr_t socket_;
  std::mutex send_lock_;
  std::string pending_;  // bytes read past the upgrade response
};

}  // namespace standin
