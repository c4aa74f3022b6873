#include "settings/settings.h"

#include "module/host.h"
#include "module/state.h"
#include "platform/files.h"
#include "platform/ini.h"
#include "platform/texts.h"
#include "utilities/Utilities.h"

#include <array>
#include <string>

namespace {

constexpr uint32_t longest_sound_path = 2048; // bytes read, terminator included

std::string in_module_folder(std::string_view root, int file_name_id) {
  std::string path(root);
  path += path_separator;
  path += module_text(file_name_id);
  return path;
}

} // namespace

void load_settings() {
  const std::string_view root = host_text(q2_modroot(module_id));
  ini_path = in_module_folder(root, TEXT_ID_INI_FILE);
  const std::string default_wave_path = in_module_folder(root, TEXT_ID_DEFAULT_SOUND);
  wave_path = default_wave_path;

  const char* section = module_text(TEXT_ID_INI_SECTION).data();
  const int32_t flag =
      ini_read_int(section, module_text(TEXT_ID_AUTO_ENABLE_KEY).data(), 0, ini_path.c_str());
  auto_enable = flag > 0 ? 1 : 0;
  // The host may answer with event 2 or 3 before this returns.
  q2_modenable(module_id, auto_enable == 1 ? -1 : 0);

  std::array<char, longest_sound_path> buffer{};
  const uint32_t length =
      ini_read_text(section, module_text(TEXT_ID_SOUND_KEY).data(), default_wave_path.c_str(),
                    buffer.data(), longest_sound_path, ini_path.c_str());
  wave_path.assign(buffer.data(), length);
}

void save_settings() {
  // Before any start-up there is no settings file to write: an empty or
  // relative name would land in the platform's own folder.
  if (ini_path.empty()) {
    return;
  }
  const char* section = module_text(TEXT_ID_INI_SECTION).data();
  ini_write_text(section, module_text(TEXT_ID_AUTO_ENABLE_KEY).data(), auto_enable == 1 ? "1" : "0",
                 ini_path.c_str());
  // A line break in the value would start new lines, and so new keys or
  // sections, in the file: only the first line of the path is stored.
  ini_write_text(section, module_text(TEXT_ID_SOUND_KEY).data(),
                 std::string(first_line(wave_path)).c_str(), ini_path.c_str());
}
