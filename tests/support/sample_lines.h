// Server lines of every shape the bell trigger meets, from the cheapest early
// exit to 64 KB of chat. The benchmark times each; the allocation test sends
// each through on_inet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct sample_line {
  const char* name;
  bool enabled;
  int32_t kind;
  std::string text;
  bool rings;
};

std::vector<sample_line> sample_lines();
