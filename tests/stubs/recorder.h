// Link-time stand-ins for the host's services and the sound service: tests
// link these instead of the real ones and read what the module asked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct enable_request {
  int32_t module_id;
  int32_t enable;
  bool operator==(const enable_request&) const = default;
};

struct recorder {
  std::vector<std::string> spoken;             // q2_speak texts
  std::vector<enable_request> enable_requests; // q2_modenable calls
  std::vector<std::string> played;             // play_sound file names
  std::vector<int32_t> root_requests;          // q2_modroot identifiers
  const char* module_root = nullptr;           // what q2_modroot answers
  bool answer_enable_at_once = true;           // q2_modenable sends event 2 or 3
};

extern recorder recorded;

// Clears the record and puts the module state back to its load-time values.
void reset_module_and_recorder();
