/* The module's fixed texts: the one source of the Windows string table
   (resources/Tollwick.rc) and of the portable build (platform/linux/texts.cpp).
   Plain preprocessor only, since the resource compiler reads this file too. */
#ifndef TOLLWICK_RESOURCES_TEXTS_H
#define TOLLWICK_RESOURCES_TEXTS_H

/* A double quote inside a string: "" in a resource script, \" in C++. */
#ifdef RC_INVOKED
/* Four quotes are one string to the resource compiler: kept as they are. */
/* clang-format off */
#define TEXT_QUOTE """"
/* clang-format on */
#else
#define TEXT_QUOTE "\""
#endif

#define TEXT_ID_INI_FILE 1
#define TEXT_ID_DEFAULT_SOUND 2
#define TEXT_ID_INI_SECTION 3
#define TEXT_ID_AUTO_ENABLE_KEY 4
#define TEXT_ID_SOUND_KEY 5
#define TEXT_ID_JOIN_REQUEST 6
#define TEXT_ID_SUMMON_REQUEST 7
#define TEXT_ID_WHISPER_OPENING 8
#define TEXT_ID_WHISPER_CLOSING 9
#define TEXT_ID_SET_SOUND_COMMAND 10
#define TEXT_ID_AUTO_ENABLE_COMMAND 11
#define TEXT_ID_COUNT 11

#define TEXT_INI_FILE "Tollwick.ini"
#define TEXT_DEFAULT_SOUND "bell.wav"
#define TEXT_INI_SECTION "Main"
#define TEXT_AUTO_ENABLE_KEY "AA"
#define TEXT_SOUND_KEY "WF"
#define TEXT_JOIN_REQUEST                                                                          \
  "To accept the request, type `join and press <enter>. "                                          \
  "To decline, type `decline and press <enter>"
#define TEXT_SUMMON_REQUEST                                                                        \
  "To accept the request, type `summon and press <enter>. "                                        \
  "To decline, type `decline and press <enter>"
#define TEXT_WHISPER_OPENING "whispers, " TEXT_QUOTE
#define TEXT_WHISPER_CLOSING TEXT_QUOTE " to you. ]"
#define TEXT_SET_SOUND_COMMAND "TW-SETWAVE"
#define TEXT_AUTO_ENABLE_COMMAND "TW-AUTOENABLE"

#endif
