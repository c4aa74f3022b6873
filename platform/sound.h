// The platform's sound service, as the bell uses it.
#pragma once

// Starts playing the sound file and returns at once. A new sound cuts off the
// module's sound still playing; a file that cannot be played gives the
// platform's default sound where it has one. Nothing is reported.
void play_sound(const char* file_name);
