#include "bell/trigger.h"

#include "module/state.h"
#include "platform/sound.h"
#include "platform/texts.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string_view>

// SSE2 where the build's processor baseline has it (every x86-64, and the
// Windows build); plain bytes elsewhere.
#if defined(__SSE2__) && !defined(TOLLWICK_PLAIN_READING)
#include <emmintrin.h>
#endif

// A line is read once. Each request holds a grave accent and the whisper
// opening ends in a double quote, its mark. A text is compared only where the
// line holds its mark with the text's own byte some way before it: as far as
// the opening's first letter lies before its quote. Chat holds few marks, and
// near misses of the texts seldom hold both bytes.

namespace {

constexpr int32_t server_text_kind = 2;

constexpr std::string_view join_text = TEXT_JOIN_REQUEST;
constexpr std::string_view summon_text = TEXT_SUMMON_REQUEST;
constexpr std::string_view opening_text = TEXT_WHISPER_OPENING;
constexpr char accent = '`';
constexpr char quote = '"';
constexpr size_t request_mark = join_text.find(accent);
constexpr size_t opening_mark = opening_text.find(quote);
constexpr size_t partner_distance = opening_mark;
static_assert(summon_text.find(accent) == request_mark && request_mark >= partner_distance &&
              summon_text[request_mark - partner_distance] ==
                  join_text[request_mark - partner_distance]);
constexpr char request_partner = join_text[request_mark - partner_distance];
constexpr char opening_partner = opening_text[0];

// Whether the byte at `at`, at least partner_distance bytes into the line,
// may be the mark of a request or of the opening.
bool may_be_mark(const char* at) {
  const char partner = at[-static_cast<std::ptrdiff_t>(partner_distance)];
  return (*at == accent && partner == request_partner) ||
         (*at == quote && partner == opening_partner);
}

#if defined(__SSE2__) && !defined(TOLLWICK_PLAIN_READING)
constexpr size_t block_size = 16;

// may_be_mark for the block of bytes from at, bit i for at + i.
uint32_t marks_in_block(const char* at) {
  const auto load = [](const char* from) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  };
  const auto equal = [](__m128i bytes, char c) { return _mm_cmpeq_epi8(bytes, _mm_set1_epi8(c)); };
  const __m128i here = load(at);
  const __m128i partners = load(at - partner_distance);
  return static_cast<uint32_t>(_mm_movemask_epi8(
      _mm_or_si128(_mm_and_si128(equal(here, accent), equal(partners, request_partner)),
                   _mm_and_si128(equal(here, quote), equal(partners, opening_partner)))));
}
#else
constexpr size_t block_size = 1;

uint32_t marks_in_block(const char* at) { return may_be_mark(at) ? 1 : 0; }
#endif

// The first position from `from` on that may be a mark, or the line's size.
// Reads only the line's own bytes.
size_t next_mark(std::string_view line, size_t from) {
  size_t at = std::max(from, partner_distance);
  for (; at + block_size <= line.size(); at += block_size) {
    if (const uint32_t found = marks_in_block(line.data() + at)) {
      return at + static_cast<size_t>(std::countr_zero(found));
    }
  }
  for (; at < line.size(); ++at) {
    if (may_be_mark(line.data() + at)) {
      return at;
    }
  }
  return line.size();
}

// Whether text lies in line with its byte at offset mark on `at`.
bool lies_at(std::string_view line, size_t at, std::string_view text, size_t mark) {
  return at >= mark && line.substr(at - mark, text.size()) == text;
}

// Whether the line holds a join or a summon request, or a whisper opening
// and, from where the first opening starts, a closing.
bool holds_request_or_whisper(std::string_view line) {
  const std::string_view join = module_text(TEXT_ID_JOIN_REQUEST);
  const std::string_view summon = module_text(TEXT_ID_SUMMON_REQUEST);
  const std::string_view opening = module_text(TEXT_ID_WHISPER_OPENING);
  const std::string_view closing = module_text(TEXT_ID_WHISPER_CLOSING);
  bool opening_seen = false;
  for (size_t at = next_mark(line, 0); at < line.size(); at = next_mark(line, at + 1)) {
    if (line[at] == accent) {
      if (lies_at(line, at, join, request_mark) || lies_at(line, at, summon, request_mark)) {
        return true;
      }
    } else if (!opening_seen && lies_at(line, at, opening, opening_mark)) {
      opening_seen = true;
      if (line.find(closing, at - opening_mark) != std::string_view::npos) {
        return true;
      }
    }
  }
  return false;
}

} // namespace

void ring_bell() { play_sound(wave_path.c_str()); }

void ring_if_requested(int32_t kind, const char* line) {
  if (enabled != 0 && kind == server_text_kind && line != nullptr && line[0] == '(' &&
      holds_request_or_whisper(line)) {
    ring_bell();
  }
}
