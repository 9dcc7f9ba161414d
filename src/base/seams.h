// The seams: the small interfaces through which the core reaches the user and
// the machine.  Every layer may include this header.
//
// Contract: the core never shows a window, reads the clock, draws a random
// number or asks for free disk space except through these.  The windows
// implement `Messages` with real message boxes; the batch command prints to
// standard error; tests record (tests/support/fakes.h).  `ImportSeams` holds
// the ones an import reaches them through.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace vesper {

// Message boxes (each with one OK button), the beep, and "let pending window
// messages run".
class Messages {
 public:
  virtual ~Messages() = default;
  virtual void beep() = 0;
  virtual void errormessage(const std::string& text) = 0;  // error box, no beep
  virtual void infomessage(const std::string& text) = 0;
  virtual void plainmessage(const std::string& text) = 0;  // no icon
  virtual void processevents() = 0;
};

// Shows nothing and lets nothing run: for work that has no one to tell
// (checks, fuzzing, benchmarks).
class SilentMessages : public Messages {
 public:
  void beep() override {}
  void errormessage(const std::string&) override {}
  void infomessage(const std::string&) override {}
  void plainmessage(const std::string&) override {}
  void processevents() override {}
};

// The exclamation beep, then a modal error box with the message.
inline void errorbox(Messages& m, const std::string& text) {
  m.beep();
  m.errormessage(text);
}

// Passes every message box on to the user's Messages, first running
// `beforebox` (the import run uses it to commit the rows stored so far, so no
// counted row waits uncommitted while a box waits for the user).
class MessageHub : public Messages {
 public:
  explicit MessageHub(Messages& target) : target_(&target) {}
  std::function<void()> beforebox;
  void beep() override { target_->beep(); }
  void errormessage(const std::string& t) override { prepare(); target_->errormessage(t); }
  void infomessage(const std::string& t) override { prepare(); target_->infomessage(t); }
  void plainmessage(const std::string& t) override { prepare(); target_->plainmessage(t); }
  void processevents() override { target_->processevents(); }

 private:
  void prepare() { if (beforebox) beforebox(); }
  Messages* target_;
};

// Local date and time of day.
struct LocalTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime now() = 0;
  // Monotonic milliseconds, for pacing (commit groups, refresh intervals).
  virtual std::int64_t ticks() = 0;
};

// Free space, in bytes, of the file system that holds `path`; -1 when unknown.
class Disk {
 public:
  virtual ~Disk() = default;
  virtual long long freespace(const std::string& path) = 0;
};

// The import's random generator.  Seeded from the clock by default; a pinned
// seed (tests, the batch command's --seed) makes every reseed repeat it.
class Random {
 public:
  void seed(std::uint64_t s) { engine_.seed(s); }
  void pin(std::uint64_t s) { pinned_ = true; pinnedseed_ = s; engine_.seed(s); }
  void reseedfromclock(Clock& clock) {
    if (pinned_) { engine_.seed(pinnedseed_); return; }
    LocalTime t = clock.now();
    engine_.seed(static_cast<std::uint64_t>(clock.ticks()) * 1000003u +
                 static_cast<std::uint64_t>(t.msec + 1000 * (t.second + 60 * t.minute)));
  }
  // Uniform in [0, 1).
  double next() { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

 private:
  std::mt19937_64 engine_{0x5eed};
  bool pinned_ = false;
  std::uint64_t pinnedseed_ = 0;
};

// The seams of one import: every message goes through the hub, in front of
// the user's Messages; the clock and the disk are the machine's; the random
// generator draws the random selection.
struct ImportSeams {
  ImportSeams(Messages& m, Clock& c, Disk& d) : hub(m), messages(hub), clock(c), disk(d) {}
  ImportSeams(const ImportSeams&) = delete;
  ImportSeams& operator=(const ImportSeams&) = delete;

  MessageHub hub;
  Messages& messages;  // the hub
  Clock& clock;
  Disk& disk;
  Random random;
};

}  // namespace vesper
