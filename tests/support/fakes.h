// Test doubles for the platform seams: recorded message boxes, a settable
// clock and a settable free-space figure.
#pragma once

#include <string>
#include <vector>

#include "base/seams.h"

namespace vesper::testing {

struct RecordedMessage {
  std::string kind;  // "error", "info", "plain"
  std::string text;
  bool beeped;       // a beep came right before it
};

class RecordingMessages : public Messages {
 public:
  std::vector<RecordedMessage> shown;
  int beeps = 0;
  int events = 0;
  void beep() override { ++beeps; pendingBeep_ = true; }
  void errormessage(const std::string& t) override { add("error", t); }
  void infomessage(const std::string& t) override { add("info", t); }
  void plainmessage(const std::string& t) override { add("plain", t); }
  void processevents() override { ++events; }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (auto& m : shown) out.push_back(m.text);
    return out;
  }

 private:
  bool pendingBeep_ = false;
  void add(const char* kind, const std::string& t) {
    shown.push_back({kind, t, pendingBeep_});
    pendingBeep_ = false;
  }
};

// Message boxes that go nowhere (fuzzers, benchmarks).
using QuietMessages = SilentMessages;

class FixedClock : public Clock {
 public:
  LocalTime time;
  std::int64_t tick = 0;
  LocalTime now() override { return time; }
  std::int64_t ticks() override { return tick; }
};

class FixedDisk : public Disk {
 public:
  long long bytes = 1LL << 40;
  int readings = 0;
  long long freespace(const std::string&) override { ++readings; return bytes; }
};

}  // namespace vesper::testing
