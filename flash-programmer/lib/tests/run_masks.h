// What varies from run to run in a host's log and in the bench's call
// record, masked so that the whole of both can be compared with an expected
// file. The wall clock decides how many rounds a wait or a bus search polls,
// whether a poll sees a device that is leaving, and when an event read
// still pending is cancelled; what the library sends the devices, and every
// line it writes outside of those rounds, stays.
#pragma once

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "testsupport/expected_file.h"
#include "testsupport/testdir.h"

namespace tessaro_e2e {

// Runs of a block of up to `longest` lines that repeats back to back, kept once.
inline std::vector<std::string> CollapseRepeats(std::vector<std::string> lines,
                                                size_t longest = 12) {
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t k = 1; k <= longest; ++k) {
      for (size_t i = 0; i + 2 * k <= lines.size();) {
        if (std::equal(lines.begin() + i, lines.begin() + i + k, lines.begin() + i + k)) {
          lines.erase(lines.begin() + i + k, lines.begin() + i + 2 * k);
          changed = true;
        } else {
          ++i;
        }
      }
    }
  }
  return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

inline bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The run's own stamps "yyyy.mm.dd. hh:nn:ss:zzz" (a box names the time its
// command started).
inline std::string MaskRunStamps(const std::string& text) {
  static const std::regex kStamp(
      "[0-9]{4}\\.[0-9]{2}\\.[0-9]{2}\\. [0-9]{2}:[0-9]{2}:[0-9]{2}:[0-9]{3}");
  return std::regex_replace(text, kStamp, "####.##.##. ##:##:##:###");
}

// The devices a search lists right after a reboot request, before it waits
// for the old device to leave: whether the old one is still there or the
// rebooted one already is, the wall clock decides.
inline std::vector<std::string> DropListingsBeforeTheUnplug(std::vector<std::string> lines) {
  static const std::regex kListed("\\[UsbDevCtrl\\]   - device\\[[0-9]+\\] \\(");
  static const std::regex kLearnt("Set To(Safe|Firmware)RebootTime|Waiting on unplug device");
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find("will find device") == std::string::npos) continue;
    size_t end = i + 1;
    while (end < lines.size() && std::regex_search(lines[end], kListed)) ++end;
    if (end > i + 1 && end < lines.size() && std::regex_search(lines[end], kLearnt))
      lines.erase(lines.begin() + static_cast<long>(i) + 1, lines.begin() + static_cast<long>(end));
  }
  return lines;
}

// A Tessaro.log: its time stamps, the run's own stamps, the host's folder,
// the driver's handles,
// the reboot times learnt from the wall clock, the threads the process
// starts, and the rounds of a wait, each kept once.
inline std::string MaskLog(const std::string& text, const std::string& hostFolder) {
  static const std::vector<std::pair<std::regex, std::string>> kMasks = {
      {std::regex("file open at [0-9/]+ [0-9:]+ [AP]M"), "file open at <time>"},
      {std::regex("\\b[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\\b"), "##:##:##.###"},
      {std::regex("\\(dt:[0-9:,]+\\)"), "(dt:##:##:##,###)"},
      // The driver's handle of a device, as the process happens to number it.
      {std::regex("Hnd:[0-9A-F]+"), "Hnd:########"},
      {std::regex("(RebootTime to |max\\.time:)[0-9]+ms"), "$1#ms"},
      {std::regex("(sleep [0-9]+ms & update device list & found devices: ).*"), "$1#"},
  };
  static const std::regex kLeaving("- device\\[[0-9]+\\] \\(.*(prod\\.|man\\.|s\\.n\\.):\"\"");
  std::vector<std::string> lines;
  bool inUnplugRound = false;
  for (std::string line : testsupport::SplitLines(testsupport::MaskTimeStamps(text))) {
    if (line.find("dll_Thread_") != std::string::npos) continue;
    // A device a poll lists while it leaves the bus, some of its texts unread.
    if (std::regex_search(line, kLeaving)) continue;
    // The devices a round of the wait for a device's leaving lists: the one
    // leaving, or already back in its other mode, as the wall clock decides.
    bool listed = line.find("- device[") != std::string::npos;
    if (listed && inUnplugRound) continue;
    inUnplugRound = line.find("& update device list & found devices:") != std::string::npos;
    line = MaskRunStamps(line);
    for (const auto& [pattern, mask] : kMasks) line = std::regex_replace(line, pattern, mask);
    for (size_t at = line.find(hostFolder); !hostFolder.empty() && at != std::string::npos;
         at = line.find(hostFolder, at))
      line.replace(at, hostFolder.size(), "<host>");
    lines.push_back(line);
  }
  return JoinLines(CollapseRepeats(DropListingsBeforeTheUnplug(lines)));
}

// The bench's call record: what the library asks of each device, the
// device named by its slot instead of the handle. The bus searches (the
// interface list and each look at a device's descriptors), the bench's own
// events and an event read cancelled while still pending are left out.
inline std::string MaskCallRecord(const std::string& text) {
  static const std::regex kOpened("CreateFile .* -> (h[0-9]+) device ([0-9]+)");
  static const std::regex kCall("(h[0-9]+) (.*)");
  static const std::regex kSearch("(QueryDriverInfo|ReadDescriptor|CloseHandle|CancelIo)\\b.*");
  std::vector<std::string> in = testsupport::SplitLines(text), out;
  std::map<std::string, std::string> device;
  for (size_t i = 0; i < in.size(); ++i) {
    const std::string& line = in[i];
    std::smatch m;
    if (std::regex_match(line, m, kOpened)) {
      device[m[1]] = "dev" + m[2].str();
      continue;
    }
    if (line.rfind("device ", 0) == 0 || line.rfind("InterfaceList", 0) == 0 ||
        line.rfind("CreateFile", 0) == 0)
      continue;
    if (!std::regex_match(line, m, kCall)) {
      out.push_back(line);
      continue;
    }
    std::string call = m[2];
    if (std::regex_match(call, kSearch)) continue;
    if (EndsWith(call, "-> pending") && i + 1 < in.size() && EndsWith(in[i + 1], " CancelIo"))
      continue;
    auto known = device.find(m[1]);
    out.push_back((known == device.end() ? std::string("h?") : known->second) + " " + call);
  }
  return JoinLines(CollapseRepeats(out));
}

}  // namespace tessaro_e2e
