// The module text table from the library's string table. Resources never
// change, so each text is loaded once, on first use, and kept.
#include "platform/texts.h"

#include <windows.h>

#include <array>

namespace {

constexpr int longest_text = 128;

struct loaded_text {
  bool loaded;
  int length;
  std::array<char, longest_text> bytes;
};

std::array<loaded_text, TEXT_ID_COUNT + 1> loaded_texts{};

HINSTANCE own_library() {
  HMODULE library = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&module_text), &library);
  return library;
}

} // namespace

std::string_view module_text(int id) {
  if (id < 1 || id > TEXT_ID_COUNT) {
    return {};
  }
  loaded_text& text = loaded_texts[static_cast<size_t>(id)];
  if (!text.loaded) {
    text.length =
        LoadStringA(own_library(), static_cast<UINT>(id), text.bytes.data(), longest_text);
    text.loaded = true;
  }
  return {text.bytes.data(), static_cast<size_t>(text.length)};
}
