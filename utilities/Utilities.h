// The module's small library of text routines. Texts are byte strings with a
// length; positions are 1-based and 0 means no position.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// s with the bytes a to z turned into A to Z; every other byte unchanged.
std::string uppercase_ascii(std::string_view s);

// Position of the first occurrence of sub (not empty) in s that starts at or
// after offset (at least 1), or 0.
int32_t find_from(std::string_view sub, std::string_view s, int32_t offset);

// Position of the last byte of s that is one of the delimiters, or 0.
int32_t last_delimiter(const char* delimiters, std::string_view s);

// The start of path up to and including its last path delimiter.
std::string extract_dir(std::string_view path);

// The first byte of text equal to c (not zero), or null at the terminator.
const char* find_char(const char* text, char c);

// s up to its first carriage return or line feed.
std::string_view first_line(std::string_view s);
