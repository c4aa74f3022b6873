// The module text table of the portable build, from the same source as the
// Windows string table.
#include "platform/texts.h"

std::string_view module_text(int id) {
  switch (id) {
  case TEXT_ID_INI_FILE: return TEXT_INI_FILE;
  case TEXT_ID_DEFAULT_SOUND: return TEXT_DEFAULT_SOUND;
  case TEXT_ID_INI_SECTION: return TEXT_INI_SECTION;
  case TEXT_ID_AUTO_ENABLE_KEY: return TEXT_AUTO_ENABLE_KEY;
  case TEXT_ID_SOUND_KEY: return TEXT_SOUND_KEY;
  case TEXT_ID_JOIN_REQUEST: return TEXT_JOIN_REQUEST;
  case TEXT_ID_SUMMON_REQUEST: return TEXT_SUMMON_REQUEST;
  case TEXT_ID_WHISPER_OPENING: return TEXT_WHISPER_OPENING;
  case TEXT_ID_WHISPER_CLOSING: return TEXT_WHISPER_CLOSING;
  case TEXT_ID_SET_SOUND_COMMAND: return TEXT_SET_SOUND_COMMAND;
  case TEXT_ID_AUTO_ENABLE_COMMAND: return TEXT_AUTO_ENABLE_COMMAND;
  default: return {};
  }
}
