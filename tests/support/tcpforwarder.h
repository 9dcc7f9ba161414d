// A forwarder between a program under test and the PostgreSQL server of the
// tests that can cut every connection, as a server that stops or a network
// that fails would: it listens on 127.0.0.1 (a port of its own) and passes
// each connection on to the server's Unix socket, nowhere else.
//
//   TcpForwarder fwd(conninfo);           // the test server's string
//   fwd.conninfo()                         // the same database, through the forwarder
//   fwd.cutafter(1 << 20);                  // cut once 1 MB more went to the server
//   fwd.cutat("COMMIT", 3);                 // cut as the third COMMIT goes out
//   fwd.cutat(TcpForwarder::committed(), 1, TcpForwarder::ToClient);
//                                           // ... as the server's answer to one comes back
//   fwd.cut();                              // cut now
//
// A cut closes every connection at once (what was not yet passed on never
// reaches the server or the client; the bytes that trigger it are not passed
// on) and the listening socket, so that a new connection is refused, as by a
// server that is down; after keeplistening() new connections are taken on
// as before, as after a network fault that passed.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace vesper::testing {

class TcpForwarder {
 public:
  explicit TcpForwarder(const std::string& conninfo) {
    std::string host, port;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    if (!options) {
      PQfreemem(error);
      throw std::runtime_error("TcpForwarder: cannot read " + conninfo);
    }
    for (PQconninfoOption* o = options; o->keyword; ++o) {
      const std::string key = o->keyword, value = o->val ? o->val : "";
      if (key == "host") host = value;
      else if (key == "port") port = value;
      else if (!value.empty() && key != "hostaddr") rest_ += " " + key + "='" + value + "'";
    }
    PQconninfoFree(options);
    if (host.empty() || host[0] != '/') throw std::runtime_error("TcpForwarder: the server's socket folder is not given");
    socketpath_ = host + "/.s.PGSQL." + (port.empty() ? "5432" : port);

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    at.sin_port = 0;
    socklen_t size = sizeof at;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&at), &size) != 0)
      throw std::runtime_error("TcpForwarder: cannot listen on 127.0.0.1");
    port_ = ntohs(at.sin_port);
    if (::pipe2(wake_, O_CLOEXEC) != 0) throw std::runtime_error("TcpForwarder: no pipe");
    thread_ = std::thread([this] { loop(); });
  }

  ~TcpForwarder() {
    quit_ = true;
    poke();
    thread_.join();
    for (Pair& p : pairs_) closepair(p);
    if (listener_ >= 0) ::close(listener_);
    ::close(wake_[0]);
    ::close(wake_[1]);
  }
  TcpForwarder(const TcpForwarder&) = delete;
  TcpForwarder& operator=(const TcpForwarder&) = delete;

  // The test database through the forwarder (no TLS: the forwarder reads
  // what passes).
  std::string conninfo() const {
    return "host=127.0.0.1 port=" + std::to_string(port_) + " sslmode=disable" + rest_;
  }

  enum Direction { ToServer, ToClient };
  // The server's answer that a COMMIT is done.
  static std::string committed() { return std::string("C\0\0\0\x0b" "COMMIT\0", 12); }

  // Cuts once `bytes` more have gone towards the server.
  void cutafter(long long bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    budget_ = bytes;
  }
  // Cuts when the `nth` occurrence of `pattern` (counted from now, over
  // every connection) goes the way `direction` says, before it arrives.
  void cutat(const std::string& pattern, int nth, Direction direction = ToServer) {
    std::lock_guard<std::mutex> lock(mutex_);
    pattern_ = pattern;
    nth_ = nth;
    direction_ = direction;
  }
  void keeplistening() { keeplistening_ = true; }
  void cut() {
    cutnow_ = true;
    poke();
  }
  bool iscut() const { return down_; }
  // Connections taken so far.
  int connections() const { return accepted_; }

 private:
  struct Pair {
    int client = -1, server = -1;
    std::string tail[2];  // the last bytes passed each way, for a pattern cut in two
  };

  void poke() {
    const char one = 1;
    (void)!::write(wake_[1], &one, 1);
  }

  static void closepair(Pair& p) {
    if (p.client >= 0) ::close(p.client);
    if (p.server >= 0) ::close(p.server);
    p.client = p.server = -1;
  }

  void godown() {
    down_ = true;
    for (Pair& p : pairs_) closepair(p);
    pairs_.clear();
    if (listener_ >= 0 && !keeplistening_) {
      ::close(listener_);
      listener_ = -1;
    }
  }

  void accept() {
    const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) return;
    const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un at{};
    at.sun_family = AF_UNIX;
    std::strncpy(at.sun_path, socketpath_.c_str(), sizeof at.sun_path - 1);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
      if (server >= 0) ::close(server);
      ::close(client);
      return;
    }
    ++accepted_;
    pairs_.push_back({client, server, {}});
  }

  // How many of `n` bytes read from the client may go on; `cut` says the
  // forwarder goes down after them.
  std::size_t allowed(Pair& p, Direction way, const char* data, std::size_t n, bool& cut) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t pass = n;
    if (way == ToServer && budget_ >= 0 && static_cast<long long>(n) >= budget_) {
      pass = static_cast<std::size_t>(budget_);
      cut = true;
    }
    std::string& tail = p.tail[way];
    if (!pattern_.empty() && nth_ > 0 && way == direction_) {
      const std::string seen = tail + std::string(data, n);
      for (std::size_t at = seen.find(pattern_); at != std::string::npos; at = seen.find(pattern_, at + 1)) {
        if (--nth_ > 0) continue;
        const std::size_t begins = at > tail.size() ? at - tail.size() : 0;
        if (begins <= pass) pass = begins, cut = true;
        break;
      }
      const std::size_t keep = std::min(seen.size(), pattern_.size() - 1);
      tail = seen.substr(seen.size() - keep);
    }
    if (way == ToServer && budget_ >= 0) budget_ -= static_cast<long long>(pass);
    if (cut) budget_ = -1;  // once: connections taken on after it go on
    return pass;
  }

  static bool sendall(int fd, const char* data, std::size_t n) {
    while (n > 0) {
      const ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
      if (w <= 0) return false;
      data += w;
      n -= static_cast<std::size_t>(w);
    }
    return true;
  }

  void loop() {
    std::vector<char> buffer(1 << 16);
    while (!quit_) {
      if (cutnow_ && !down_) godown();
      std::vector<pollfd> fds = {{wake_[0], POLLIN, 0}};
      if (listener_ >= 0) fds.push_back({listener_, POLLIN, 0});
      const std::size_t first = fds.size();
      for (const Pair& p : pairs_) {
        fds.push_back({p.client, POLLIN, 0});
        fds.push_back({p.server, POLLIN, 0});
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) {
        char drop[64];
        (void)!::read(wake_[0], drop, sizeof drop);
      }
      if (listener_ >= 0 && fds[1].revents) accept();
      bool cut = false;
      for (std::size_t i = 0; i < pairs_.size() && !cut; ++i) {
        Pair& p = pairs_[i];
        for (int side = 0; side < 2 && !cut && p.client >= 0; ++side) {
          if (!fds[first + 2 * i + static_cast<std::size_t>(side)].revents) continue;
          const int from = side == 0 ? p.client : p.server, to = side == 0 ? p.server : p.client;
          const ssize_t got = ::recv(from, buffer.data(), buffer.size(), 0);
          if (got <= 0) {
            closepair(p);
            break;
          }
          std::size_t pass = static_cast<std::size_t>(got);
          pass = allowed(p, side == 0 ? ToServer : ToClient, buffer.data(), pass, cut);
          if (!sendall(to, buffer.data(), pass)) closepair(p);
        }
      }
      if (cut) godown();
      pairs_.erase(std::remove_if(pairs_.begin(), pairs_.end(), [](const Pair& p) { return p.client < 0; }),
                   pairs_.end());
    }
  }

  std::string socketpath_, rest_;
  int listener_ = -1, port_ = 0;
  int wake_[2] = {-1, -1};
  std::mutex mutex_;
  long long budget_ = -1;
  std::string pattern_;
  int nth_ = 0;
  Direction direction_ = ToServer;
  std::atomic<bool> quit_{false}, cutnow_{false}, down_{false}, keeplistening_{false};
  std::atomic<int> accepted_{0};
  std::vector<Pair> pairs_;  // the forwarder thread's
  std::thread thread_;
};

}  // namespace vesper::testing
