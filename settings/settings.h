// The settings file beside the module: whether to ask to be enabled at
// start-up, and which sound to play.
#pragma once

// Derives ini_path and the default wave_path from the module's folder, reads
// auto_enable, asks the host to enable or disable the module accordingly,
// then reads wave_path.
void load_settings();

// Writes auto_enable and wave_path; nothing before the first load_settings.
void save_settings();
