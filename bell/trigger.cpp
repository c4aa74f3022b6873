#include "bell/trigger.h"

#include "bell/sound.h"
#include "module/state.h"
#include "module/texts.h"

#include <immintrin.h>

#include <array>
#include <cstring>
#include <string_view>

// The trigger reads a line once, stopping only at its marks: grave accents,
// double quotes and the terminator. Every request text holds a grave accent
// and both whisper texts a double quote, so a text needs comparing only where
// the line holds the mark that the text holds at its anchor, the text's first
// copy of that mark. A line rings when a request text or an opening followed
// by a closing lies in it, whatever the order in which they are found.

namespace {

constexpr int32_t server_text_kind = 2;

constexpr char accent = '`';
constexpr char quote = '"';
constexpr size_t request_anchor = std::string_view(TEXT_JOIN_REQUEST).find(accent);
constexpr size_t opening_anchor = std::string_view(TEXT_WHISPER_OPENING).find(quote);
constexpr size_t closing_anchor = std::string_view(TEXT_WHISPER_CLOSING).find(quote);
static_assert(request_anchor != std::string_view::npos &&
              std::string_view(TEXT_SUMMON_REQUEST).find(accent) == request_anchor &&
              opening_anchor != std::string_view::npos && closing_anchor != std::string_view::npos);

// The line is read in aligned groups of 64 bytes, one bit for each byte, and
// long stretches without marks a pair of groups at a time.
constexpr uintptr_t group_size = 64;
constexpr uintptr_t pair_size = 2 * group_size;

// The processor-specific part: the same reading 16 bytes at a time with SSE2,
// 32 with AVX2 or 64 with AVX-512, the widest the processor has. Groups and
// pairs are read whole at their alignment, as the C library's string
// routines read: a read never reaches into a page past the terminator, and
// the bytes after the terminator are never used. Address checking would take
// those reads for overflows, so it is off here. Each reading finds the next
// group with marks the same way: group by group, and a pair at a time from
// the first pair boundary on.

// SSE2 and AVX2 turn bytes into "unmarked" vectors, zero exactly at the
// marks. With SSE2, min(b, b ^ accent, b ^ quote) is zero exactly where b is
// a mark.
[[gnu::target("sse2"), gnu::no_sanitize_address]] __m128i sse2_unmarked(const char* at) {
  const __m128i bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(at));
  return _mm_min_epu8(_mm_min_epu8(bytes, _mm_xor_si128(bytes, _mm_set1_epi8(accent))),
                      _mm_xor_si128(bytes, _mm_set1_epi8(quote)));
}

[[gnu::target("sse2")]] uint64_t sse2_zero_bits(__m128i unmarked) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(unmarked, _mm_setzero_si128())));
}

[[gnu::target("sse2"), gnu::no_sanitize_address]] uint64_t sse2_group_marks(const char* group) {
  return sse2_zero_bits(sse2_unmarked(group)) | sse2_zero_bits(sse2_unmarked(group + 16)) << 16 |
         sse2_zero_bits(sse2_unmarked(group + 32)) << 32 |
         sse2_zero_bits(sse2_unmarked(group + 48)) << 48;
}

[[gnu::target("sse2"), gnu::no_sanitize_address]] const char*
sse2_first_marked_pair(const char* pair) {
  for (;; pair += pair_size) {
    __m128i unmarked = sse2_unmarked(pair);
    for (uintptr_t at = 16; at < pair_size; at += 16) {
      unmarked = _mm_min_epu8(unmarked, sse2_unmarked(pair + at));
    }
    if (sse2_zero_bits(unmarked) != 0) {
      return pair;
    }
  }
}

// Moves group on to the first group from it that holds a mark, and answers
// the bits of its marks, bit 0 for its first byte.
[[gnu::target("sse2"), gnu::no_sanitize_address]] uint64_t sse2_next_marks(const char*& group) {
  for (;; group += group_size) {
    if (const uint64_t marks = sse2_group_marks(group)) {
      return marks;
    }
    if (reinterpret_cast<uintptr_t>(group) % pair_size != 0) {
      group = sse2_first_marked_pair(group + group_size) - group_size;
    }
  }
}

// AVX2 looks bytes up by their low four bits: the table holds the accent at
// 0 and the quote at 2, so a byte equal to its entry is one of the two, and a
// byte with its top bit set looks up zero and matches nothing. The unmarked
// vector keeps the bytes that match nothing, zero bytes among them.
static_assert((accent & 0xF) == 0 && (quote & 0xF) == 2);

[[gnu::target("avx2"), gnu::no_sanitize_address]] __m256i avx2_unmarked(const char* at) {
  const __m256i table = _mm256_setr_epi8(accent, 0, quote, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                         accent, 0, quote, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i bytes = _mm256_load_si256(reinterpret_cast<const __m256i*>(at));
  return _mm256_andnot_si256(_mm256_cmpeq_epi8(_mm256_shuffle_epi8(table, bytes), bytes), bytes);
}

[[gnu::target("avx2")]] uint64_t avx2_zero_bits(__m256i unmarked) {
  return static_cast<uint32_t>(
      _mm256_movemask_epi8(_mm256_cmpeq_epi8(unmarked, _mm256_setzero_si256())));
}

[[gnu::target("avx2"), gnu::no_sanitize_address]] uint64_t avx2_group_marks(const char* group) {
  return avx2_zero_bits(avx2_unmarked(group)) | avx2_zero_bits(avx2_unmarked(group + 32)) << 32;
}

[[gnu::target("avx2"), gnu::no_sanitize_address]] const char*
avx2_first_marked_pair(const char* pair) {
  for (;; pair += pair_size) {
    const __m256i unmarked =
        _mm256_min_epu8(_mm256_min_epu8(avx2_unmarked(pair), avx2_unmarked(pair + 32)),
                        _mm256_min_epu8(avx2_unmarked(pair + 64), avx2_unmarked(pair + 96)));
    if (avx2_zero_bits(unmarked) != 0) {
      return pair;
    }
  }
}

// As sse2_next_marks.
[[gnu::target("avx2"), gnu::no_sanitize_address]] uint64_t avx2_next_marks(const char*& group) {
  for (;; group += group_size) {
    if (const uint64_t marks = avx2_group_marks(group)) {
      return marks;
    }
    if (reinterpret_cast<uintptr_t>(group) % pair_size != 0) {
      group = avx2_first_marked_pair(group + group_size) - group_size;
    }
  }
}

// AVX-512 with VBMI looks bytes up by their low six bits, which tell the
// three marks apart: the table holds each mark at the index of its low bits,
// and at every other index a byte whose low bits differ from the index, so a
// byte equal to its entry is a mark.
static_assert((accent & 0x3F) == 0x20 && (quote & 0x3F) == 0x22);

constexpr std::array<char, 64> avx512_table = [] {
  std::array<char, 64> table{};
  for (size_t index = 0; index < table.size(); ++index) {
    table[index] = static_cast<char>(index ^ 1);
  }
  table[0] = '\0';
  table[accent & 0x3F] = accent;
  table[quote & 0x3F] = quote;
  return table;
}();

[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_group_marks(const char* group) {
  const __m512i bytes = _mm512_load_si512(group);
  // The zero-masking form of the lookup, which the compiler's headers build
  // without an undefined vector it would warn about.
  const __m512i entries =
      _mm512_maskz_permutexvar_epi8(~__mmask64{0}, bytes, _mm512_loadu_si512(avx512_table.data()));
  return _mm512_cmpeq_epi8_mask(entries, bytes);
}

[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] const char*
avx512_first_marked_pair(const char* pair) {
  while ((avx512_group_marks(pair) | avx512_group_marks(pair + group_size)) == 0) {
    pair += pair_size;
  }
  return pair;
}

// AVX-512 also looks at the neighbours of the marks, so that only the marks
// whose neighbours fit a text (the two bytes before and the one after a
// text's anchor, as far as the text has them) reach the comparisons. Each
// neighbour, from two before a mark to one after it, is looked up by its low
// six bits in a table of the texts that it may fit; the bytes outside the
// group are never read and fit every text.
constexpr std::string_view join_text = TEXT_JOIN_REQUEST;
constexpr std::string_view summon_text = TEXT_SUMMON_REQUEST;
constexpr std::string_view opening_text = TEXT_WHISPER_OPENING;
constexpr std::string_view closing_text = TEXT_WHISPER_CLOSING;
static_assert(request_anchor >= 2 && request_anchor + 1 < join_text.size() &&
              request_anchor + 1 < summon_text.size() && opening_anchor >= 2 &&
              closing_anchor + 1 < closing_text.size());

constexpr char request_fits = 1, opening_fits = 2, closing_fits = 4;
constexpr std::array<int, 3> neighbour_offsets = {-2, -1, 1};

// The texts that a byte at offset from a mark fits; a zero byte, which stands
// for a byte outside the group, fits all of them.
constexpr char texts_fitted(int offset, char byte) {
  const auto is = [offset, byte](std::string_view text, size_t anchor) {
    return byte == '\0' || text[anchor + offset] == byte;
  };
  return static_cast<char>(
      (is(join_text, request_anchor) || is(summon_text, request_anchor) ? request_fits : 0) |
      (offset > 0 || is(opening_text, opening_anchor) ? opening_fits : 0) |
      (offset < 0 || is(closing_text, closing_anchor) ? closing_fits : 0));
}

// Each entry holds the texts fitted by any of the four bytes with its low six
// bits, so a lookup may let a neighbour fit but never turns one away.
constexpr auto neighbour_tables = [] {
  std::array<std::array<char, 64>, neighbour_offsets.size()> tables{};
  for (size_t neighbour = 0; neighbour < neighbour_offsets.size(); ++neighbour) {
    for (size_t byte = 0; byte < 256; ++byte) {
      tables[neighbour][byte % 64] |=
          texts_fitted(neighbour_offsets[neighbour], static_cast<char>(byte));
    }
  }
  return tables;
}();

// The texts that each byte's neighbour at the given one of neighbour_offsets
// may fit.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] __m512i
avx512_texts_fitted(const char* group, size_t neighbour) {
  const int offset = neighbour_offsets[neighbour];
  const __mmask64 inside = offset < 0 ? ~uint64_t{0} << -offset : ~uint64_t{0} >> offset;
  // The zero-masking form, as in avx512_group_marks.
  return _mm512_maskz_permutexvar_epi8(~__mmask64{0},
                                       _mm512_maskz_loadu_epi8(inside, group + offset),
                                       _mm512_loadu_si512(neighbour_tables[neighbour].data()));
}

// The grave accents and double quotes whose neighbours fit a text, as far as
// the lookups tell, among other bytes.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_marks_fitting_texts(const char* group, bool opening_seen) {
  // The texts each byte may start: a grave accent a request, any other an
  // opening or, from the first opening on, a closing.
  const __m512i texts = _mm512_mask_blend_epi8(
      _mm512_cmpeq_epi8_mask(_mm512_load_si512(group), _mm512_set1_epi8(accent)),
      _mm512_set1_epi8(opening_seen ? opening_fits | closing_fits : opening_fits),
      _mm512_set1_epi8(request_fits));
  // Ternary logic 0x80 is the AND of its three operands.
  const __m512i fitted = _mm512_ternarylogic_epi64(texts, avx512_texts_fitted(group, 0),
                                                   avx512_texts_fitted(group, 1), 0x80);
  return _mm512_test_epi8_mask(fitted, avx512_texts_fitted(group, 2));
}

// As sse2_next_marks.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_next_marks(const char*& group) {
  for (;; group += group_size) {
    if (const uint64_t marks = avx512_group_marks(group)) {
      return marks;
    }
    if (reinterpret_cast<uintptr_t>(group) % pair_size != 0) {
      group = avx512_first_marked_pair(group + group_size) - group_size;
    }
  }
}

// Whether a group's marks are worth sorting: where it holds but one before
// its first zero byte, that one costs less to look at in place.
bool several_marks(uint64_t marks, uint64_t zeros) {
  const uint64_t before_zero = marks & ((zeros & -zeros) - 1);
  return (before_zero & (before_zero - 1)) != 0;
}

// As avx512_next_marks, but answers, in groups with several marks, only the
// marks whose neighbours fit.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_next_fitting_marks(const char*& group, bool opening_seen) {
  // A copy of group, which the compiler need not read again after each byte read.
  for (const char* at = group;; at += group_size) {
    if (const uint64_t marks = avx512_group_marks(at)) {
      const __m512i bytes = _mm512_load_si512(at);
      const uint64_t zeros = _mm512_testn_epi8_mask(bytes, bytes);
      if (const uint64_t fitting =
              several_marks(marks, zeros)
                  ? marks & (avx512_marks_fitting_texts(at, opening_seen) | zeros)
                  : marks) {
        group = at;
        return fitting;
      }
    } else if (reinterpret_cast<uintptr_t>(at) % pair_size != 0) {
      at = avx512_first_marked_pair(at + group_size) - group_size;
    }
  }
}

// The next group's marks. When sorting, the widest reading answers only the
// marks whose neighbours fit, from the first opening on those of closings
// too; the narrower readings answer all of them.
uint64_t next_marks(const char*& group, line_reading reading, bool sorting, bool opening_seen) {
  switch (reading) {
  case avx512_reading:
    return sorting ? avx512_next_fitting_marks(group, opening_seen) : avx512_next_marks(group);
  case avx2_reading: return avx2_next_marks(group);
  default: return sse2_next_marks(group);
  }
}

// Sorting marks costs more than it saves on a line with few of them, as most
// lines are; a line's marks are sorted from this many on.
constexpr size_t marks_before_sorting = 4;

// Eight bytes before a mark, read as one number, are compared at once with
// the eight before a text's anchor: that sets most marks aside cheaply.
constexpr size_t word_size = sizeof(uint64_t);
static_assert(request_anchor >= word_size && opening_anchor >= word_size);

uint64_t word_before(const char* at) {
  uint64_t word = 0;
  std::memcpy(&word, at - word_size, word_size);
  return word;
}

// The eight bytes before the text's anchor as one number; 0, which never
// stands before a mark in a line, for a text too short to lie anywhere.
uint64_t word_before_anchor(std::string_view text, size_t anchor) {
  return anchor < text.size() ? word_before(text.data() + anchor) : 0;
}

// Whether text lies in the line with its anchor on mark. The bytes from line
// to mark are not zero; strncmp stops at the line's terminator, since no text
// holds a zero byte.
bool lies_at(std::string_view text, size_t anchor, const char* line, const char* mark) {
  return anchor < text.size() && text[anchor] == *mark &&
         static_cast<size_t>(mark - line) >= anchor &&
         std::memcmp(mark - anchor, text.data(), anchor) == 0 &&
         std::strncmp(mark + 1, text.data() + anchor + 1, text.size() - anchor - 1) == 0;
}

} // namespace

line_reading widest_reading() {
  if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi")) {
    return avx512_reading;
  }
  return __builtin_cpu_supports("avx2") ? avx2_reading : sse2_reading;
}

bool is_request_or_whisper(const char* line, line_reading reading) {
  const char* const first_group = line - reinterpret_cast<uintptr_t>(line) % group_size;
  const char* group = first_group;
  size_t marks_seen = 0;
  bool opening_seen = false;
  uint64_t marks = next_marks(group, reading, false, opening_seen);
  if (group == first_group) {
    marks &= ~uint64_t{0} << (line - first_group);
  }
  // The texts are fetched at the first mark: most lines hold none.
  std::string_view join, summon, opening, closing;
  uint64_t join_word = 0, summon_word = 0, opening_word = 0;
  for (;;) {
    while (marks == 0) {
      group += group_size;
      marks = next_marks(group, reading, marks_seen >= marks_before_sorting, opening_seen);
    }
    const char* const mark = group + __builtin_ctzll(marks);
    marks &= marks - 1;
    ++marks_seen;
    if (*mark == '\0') {
      return false;
    }
    if (join.data() == nullptr) {
      join = module_text(TEXT_ID_JOIN_REQUEST);
      summon = module_text(TEXT_ID_SUMMON_REQUEST);
      opening = module_text(TEXT_ID_WHISPER_OPENING);
      closing = module_text(TEXT_ID_WHISPER_CLOSING);
      join_word = word_before_anchor(join, request_anchor);
      summon_word = word_before_anchor(summon, request_anchor);
      opening_word = word_before_anchor(opening, opening_anchor);
    }
    // Until an opening is seen, only a join, summon or opening text can lie
    // at a mark, each with its own eight bytes before it.
    if (!opening_seen && static_cast<size_t>(mark - line) >= word_size) {
      const uint64_t word = word_before(mark);
      if (word != join_word && word != summon_word && word != opening_word) {
        continue;
      }
    }
    if (*mark == accent) {
      if (lies_at(join, request_anchor, line, mark) ||
          lies_at(summon, request_anchor, line, mark)) {
        return true;
      }
      continue;
    }
    // The closing text must start after the first opening text; it may start
    // at the opening's own final double quote, so the opening is taken first.
    // From the first opening on, the group's later marks are those of the
    // closings too.
    if (!opening_seen && lies_at(opening, opening_anchor, line, mark)) {
      opening_seen = true;
      marks = next_marks(group, reading, marks_seen >= marks_before_sorting, opening_seen) &
              ~uint64_t{1} << (mark - group);
    }
    if (opening_seen && lies_at(closing, closing_anchor, line, mark)) {
      return true;
    }
  }
}

void ring_bell() { play_sound(wave_path.c_str()); }

void ring_if_requested(int32_t kind, const char* line) {
  if (enabled == 0 || kind != server_text_kind || line == nullptr || line[0] != '(') {
    return;
  }
  if (is_request_or_whisper(line, widest_reading())) {
    ring_bell();
  }
}
