#include "bell/trigger.h"

#include "bell/sound.h"
#include "module/state.h"
#include "module/texts.h"

#include <immintrin.h>

#include <array>
#include <cstddef>
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

// AVX-512 also sorts a group's marks by their neighbours, so that on lines
// crowded with marks only those that may be a text's anchor reach the
// comparisons. Two neighbours, the byte two before a mark and the one after
// it, are each looked up by their low six bits in a table of the texts they
// may belong to; a mark is let through where one text fits both. The mark
// itself is not looked at, so a grave accent may pass for a double quote: the
// comparisons tell them apart. Two neighbours, not more, since each costs a
// read across a cache line.
constexpr std::string_view join_text = TEXT_JOIN_REQUEST;
constexpr std::string_view summon_text = TEXT_SUMMON_REQUEST;
constexpr std::string_view opening_text = TEXT_WHISPER_OPENING;
constexpr std::string_view closing_text = TEXT_WHISPER_CLOSING;

constexpr char request_fits = 1, opening_fits = 2, closing_fits = 4;
constexpr std::array<int, 2> neighbour_offsets = {-2, 1};

// The texts that a byte at offset from a mark belongs to, where that offset
// falls inside the text; outside it, every byte belongs. A zero byte stands
// for a byte that is not read, and belongs to every text. Closings count only
// once the line holds an opening.
constexpr char texts_fitted(int offset, char byte, bool opening_seen) {
  const auto fits = [offset, byte](std::string_view text, size_t anchor) {
    const auto at = static_cast<std::ptrdiff_t>(anchor) + offset;
    return byte == '\0' || at < 0 || at >= static_cast<std::ptrdiff_t>(text.size()) ||
           text[static_cast<size_t>(at)] == byte;
  };
  return static_cast<char>(
      (fits(join_text, request_anchor) || fits(summon_text, request_anchor) ? request_fits : 0) |
      (fits(opening_text, opening_anchor) ? opening_fits : 0) |
      (opening_seen && fits(closing_text, closing_anchor) ? closing_fits : 0));
}

// Each entry holds the texts of any of the four bytes with its low six bits,
// so a lookup may let a neighbour fit but never turns one away. One set of
// tables before a line's first opening, one from it on.
using neighbour_table = std::array<char, 64>;
constexpr auto neighbour_tables = [] {
  std::array<std::array<neighbour_table, neighbour_offsets.size()>, 2> tables{};
  for (const bool opening_seen : {false, true}) {
    for (size_t neighbour = 0; neighbour < neighbour_offsets.size(); ++neighbour) {
      for (size_t byte = 0; byte < 256; ++byte) {
        char& entry = tables[opening_seen ? 1 : 0][neighbour][byte % 64];
        entry = static_cast<char>(entry | texts_fitted(neighbour_offsets[neighbour],
                                                       static_cast<char>(byte), opening_seen));
      }
    }
  }
  return tables;
}();

// The texts that each byte's neighbour at neighbour_offsets[neighbour] may
// belong to, looked up in table. Neighbours outside the group are read only
// where it says they may be; the others are not read and fit every text.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] __m512i
avx512_texts_fitted(const char* group, size_t neighbour, __m512i table, bool before_readable,
                    bool after_readable) {
  const int offset = neighbour_offsets[neighbour];
  const uint64_t all = ~uint64_t{0};
  const __mmask64 readable = offset < 0 ? (before_readable ? all : all << -offset)
                                        : (after_readable ? all : all >> offset);
  // The zero-masking forms, as in avx512_group_marks.
  return _mm512_maskz_permutexvar_epi8(~__mmask64{0},
                                       _mm512_maskz_loadu_epi8(readable, group + offset), table);
}

// The bytes of a group whose neighbours fit a text, reading bytes before and
// after the group only where it says they may be read.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_neighbours_fit(const char* group, __m512i before_table, __m512i after_table,
                      bool before_readable, bool after_readable) {
  static_assert(neighbour_offsets.size() == 2);
  return _mm512_test_epi8_mask(
      avx512_texts_fitted(group, 0, before_table, before_readable, after_readable),
      avx512_texts_fitted(group, 1, after_table, before_readable, after_readable));
}

// The zero bytes among a group's marks.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_zeros(const char* group, uint64_t marks) {
  const __m512i bytes = _mm512_load_si512(group);
  return marks & _mm512_testn_epi8_mask(bytes, bytes);
}

// Whether the line holds at least three marks of a group before its end.
bool worth_sorting(uint64_t marks, uint64_t zeros) {
  marks &= (zeros & -zeros) - 1;
  marks &= marks - 1;
  marks &= marks - 1;
  return marks != 0;
}

// Moves group on to the first group from it whose marks in the line hold
// candidates, and answers those: the zero bytes and the grave accents and
// double quotes whose neighbours fit a text.
[[gnu::target("avx512bw,avx512vbmi"), gnu::no_sanitize_address]] uint64_t
avx512_next_candidates(const char*& group, uint64_t& group_marks, const char* line,
                       bool opening_seen) {
  constexpr uint64_t all = ~uint64_t{0};
  // The tables in registers, not read again for every group.
  const auto& tables = neighbour_tables[opening_seen ? 1 : 0];
  const __m512i before_table = _mm512_loadu_si512(tables[0].data());
  const __m512i after_table = _mm512_loadu_si512(tables[1].data());
  // A copy of group, which the compiler then keeps out of memory.
  for (const char* at = group;; at += group_size) {
    uint64_t marks = avx512_group_marks(at);
    if (marks == 0) {
      if (reinterpret_cast<uintptr_t>(at) % pair_size != 0) {
        at = avx512_first_marked_pair(at + group_size) - group_size;
      }
      continue;
    }
    uint64_t zeros = avx512_zeros(at, marks);
    uint64_t candidates = 0;
    if (at > line && zeros == 0) {
      candidates = marks & avx512_neighbours_fit(at, before_table, after_table, true, true);
    } else {
      // Where the line starts or ends: no byte before the line is read, nor
      // any after the group, and a few marks, as short lines have, cost less
      // to look at than to sort.
      if (at < line) {
        marks &= all << (line - at);
        zeros &= marks;
      }
      candidates = worth_sorting(marks, zeros)
                       ? zeros | (marks & avx512_neighbours_fit(at, before_table, after_table,
                                                                at > line, zeros == 0))
                       : marks;
    }
    if (candidates != 0) {
      group = at;
      group_marks = marks;
      return candidates;
    }
  }
}

// Moves group on to the first group from it that holds marks and answers
// those that may anchor a text: with AVX-512 the zero bytes and those whose
// neighbours fit, in the line, and with the narrower readings all of them,
// the bytes before the line among them.
uint64_t next_candidates(const char*& group, uint64_t& group_marks, const char* line,
                         bool opening_seen, line_reading reading) {
  switch (reading) {
  case avx512_reading: return avx512_next_candidates(group, group_marks, line, opening_seen);
  case avx2_reading: return group_marks = avx2_next_marks(group);
  default: return group_marks = sse2_next_marks(group);
  }
}

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
  const char* group = line - reinterpret_cast<uintptr_t>(line) % group_size;
  bool opening_seen = false;
  uint64_t marks = 0;
  uint64_t candidates = next_candidates(group, marks, line, opening_seen, reading);
  if (group < line) {
    candidates &= ~uint64_t{0} << (line - group);
  }
  // The texts are fetched at the first candidate: most lines hold none.
  std::string_view join;
  std::string_view summon;
  std::string_view opening;
  std::string_view closing;
  uint64_t join_word = 0;
  uint64_t summon_word = 0;
  uint64_t opening_word = 0;
  for (;;) {
    while (candidates == 0) {
      group += group_size;
      candidates = next_candidates(group, marks, line, opening_seen, reading);
    }
    const char* const mark = group + __builtin_ctzll(candidates);
    candidates &= candidates - 1;
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
    // The candidates so far may leave closings out, so the rest of the group's
    // marks are all looked at.
    if (!opening_seen && lies_at(opening, opening_anchor, line, mark)) {
      opening_seen = true;
      candidates = marks & ~((uint64_t{2} << (mark - group)) - 1);
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
