#include "testbed/engine/websocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace standin {
namespace {

std::once_flag winsock_once;

std::string Base64(const unsigned char* data, std::size_t size) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < size; i += 3) {
    std::uint32_t v = static_cast<std::uint32_t>(data[i]) << 16;
    if (i + 1 < size) v |= static_cast<std::uint32_t>(data[i + 1]) << 8;
    if (i + 2 < size) v |= data[i + 2];
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += i + 1 < size ? digits[(v >> 6) & 63] : '=';
    out += i + 2 < size ? digits[v & 63] : '=';
  }
  return out;
}

SOCKET Sock(std::uintptr_t s) { return static_cast<SOCKET>(s); }

}  // namespace

WebSocket::WebSocket() : socket_(static_cast<std::uintptr_t>(INVALID_SOCKET)) {
  std::call_once(winsock_once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

WebSocket::~WebSocket() { Close(); }

bool WebSocket::Connect(int port, const std::string& path, std::string* error) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    *error = "socket() failed";
    return false;
  }
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    *error = "connect to 127.0.0.1:" + std::to_string(port) + " failed (" + std::to_string(WSAGetLastError()) + ")";
    closesocket(s);
    return false;
  }
  BOOL nodelay = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&nodelay), sizeof nodelay);
  // A browser that accepts but never answers must not hold the start (and so the shutdown
  // that joins it) for ever; the limit is lifted once the socket is upgraded.
  DWORD handshake_ms = 5000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&handshake_ms), sizeof handshake_ms);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&handshake_ms), sizeof handshake_ms);
  socket_ = static_cast<std::uintptr_t>(s);
  unsigned char key[16];
  std::random_device random;
  for (unsigned char& k : key) k = static_cast<unsigned char>(random());
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                              "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " +
                              Base64(key, sizeof key) + "\r\nSec-WebSocket-Version: 13\r\n\r\n";
  if (send(s, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
    *error = "sending the upgrade request failed";
    Close();
    return false;
  }
  std::string response;
  char buffer[4096];
  while (response.find("\r\n\r\n") == std::string::npos) {
    int got = recv(s, buffer, sizeof buffer, 0);
    if (got <= 0 || response.size() > 65536) {
      *error = "no upgrade response";
      Close();
      return false;
    }
    response.append(buffer, static_cast<std::size_t>(got));
  }
  std::size_t end = response.find("\r\n\r\n") + 4;
  if (response.compare(0, 12, "HTTP/1.1 101") != 0) {
    *error = "upgrade refused: " + response.substr(0, response.find("\r\n"));
    Close();
    return false;
  }
  pending_ = response.substr(end);
  DWORD no_limit = 0;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&no_limit), sizeof no_limit);
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&no_limit), sizeof no_limit);
  return true;
}

bool WebSocket::ReadExact(char* data, std::size_t size) {
  std::size_t done = 0;
  if (!pending_.empty()) {
    done = std::min(size, pending_.size());
    std::memcpy(data, pending_.data(), done);
    pending_.erase(0, done);
  }
  while (done < size) {
    int want = static_cast<int>(std::min<std::size_t>(size - done, 1 << 20));
    int got = recv(Sock(socket_), data + done, want, 0);
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool WebSocket::SendFrame(int opcode, const char* data, std::size_t size) {
  std::vector<char> frame;
  frame.reserve(size + 14);
  frame.push_back(static_cast<char>(0x80 | opcode));
  if (size < 126) {
    frame.push_back(static_cast<char>(0x80 | size));
  } else if (size < 65536) {
    frame.push_back(static_cast<char>(0x80 | 126));
    frame.push_back(static_cast<char>(size >> 8));
    frame.push_back(static_cast<char>(size & 0xFF));
  } else {
    frame.push_back(static_cast<char>(0x80 | 127));
    for (int i = 7; i >= 0; --i) frame.push_back(static_cast<char>((static_cast<std::uint64_t>(size) >> (8 * i)) & 0xFF));
  }
  static thread_local std::minstd_rand random(GetCurrentThreadId());
  unsigned char mask[4];
  for (unsigned char& m : mask) m = static_cast<unsigned char>(random());
  frame.insert(frame.end(), reinterpret_cast<char*>(mask), reinterpret_cast<char*>(mask) + 4);
  std::size_t start = frame.size();
  frame.resize(start + size);
  for (std::size_t i = 0; i < size; ++i) frame[start + i] = static_cast<char>(data[i] ^ mask[i & 3]);
  std::lock_guard<std::mutex> hold(send_lock_);
  if (socket_ == static_cast<std::uintptr_t>(INVALID_SOCKET)) return false;
  std::size_t sent = 0;
  while (sent < frame.size()) {
    int n = send(Sock(socket_), frame.data() + sent, static_cast<int>(std::min<std::size_t>(frame.size() - sent, 1 << 20)), 0);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

bool WebSocket::Send(const std::string& text) { return SendFrame(1, text.data(), text.size()); }

bool WebSocket::Receive(std::string* text) {
  text->clear();
  for (;;) {
    unsigned char head[2];
    if (!ReadExact(reinterpret_cast<char*>(head), 2)) return false;
    bool fin = (head[0] & 0x80) != 0;
    int opcode = head[0] & 0x0F;
    std::uint64_t size = head[1] & 0x7F;
    if (size == 126) {
      unsigned char ext[2];
      if (!ReadExact(reinterpret_cast<char*>(ext), 2)) return false;
      size = (static_cast<std::uint64_t>(ext[0]) << 8) | ext[1];
    } else if (size == 127) {
      unsigned char ext[8];
      if (!ReadExact(reinterpret_cast<char*>(ext), 8)) return false;
      size = 0;
      for (unsigned char e : ext) size = (size << 8) | e;
    }
    if (size > (1u << 30)) return false;
    unsigned char mask[4] = {0, 0, 0, 0};
    bool masked = (head[1] & 0x80) != 0;
    if (masked && !ReadExact(reinterpret_cast<char*>(mask), 4)) return false;
    std::string payload(static_cast<std::size_t>(size), '\0');
    if (size && !ReadExact(&payload[0], payload.size())) return false;
    if (masked) {
      for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(payload[i] ^ mask[i & 3]);
    }
    if (opcode == 8) return false;  // close
    if (opcode == 9) {               // ping
      SendFrame(10, payload.data(), payload.size());
      continue;
    }
    if (opcode == 10) continue;      // pong
    text->append(payload);
    if (fin) return true;
  }
}

void WebSocket::Close() {
  std::lock_guard<std::mutex> hold(send_lock_);
  if (socket_ == static_cast<std::uintptr_t>(INVALID_SOCKET)) return;
  shutdown(Sock(socket_), SD_BOTH);
  closesocket(Sock(socket_));
  socket_ = static_cast<std::uintptr_t>(INVALID_SOCKET);
}

}  // namespace standin
