// The version data of the portable library, in an ELF section of its own so
// that a tool reads it without loading the library:
//   readelf -p .tollwick_version Tollwick.so
#include "version.h"

#define VERSION_STRINGIFY_NUMBERS(a, b, c, d) #a "." #b "." #c "." #d
#define VERSION_NUMBERS_TEXT(numbers) VERSION_STRINGIFY_NUMBERS(numbers)

// One field a line, as the Windows version record names them.
// clang-format off
[[gnu::used, gnu::section(".tollwick_version")]] static const char version_record[] =
    "FileVersionNumbers=" VERSION_NUMBERS_TEXT(VERSION_FILE_NUMBERS) "\n"
    "ProductVersionNumbers=" VERSION_NUMBERS_TEXT(VERSION_PRODUCT_NUMBERS) "\n"
    "Translation=040904E4\n"
    "FileVersion=" VERSION_FILE_TEXT "\n"
    "ProductVersion=" VERSION_PRODUCT_TEXT "\n"
    "ProductName=" VERSION_PRODUCT_NAME "\n"
    "InternalName=" VERSION_INTERNAL_NAME "\n"
    "OriginalFilename=" VERSION_ORIGINAL_FILENAME "\n"
    "FileDescription=" VERSION_DESCRIPTION "\n"
    "CompanyName=" VERSION_COMPANY "\n"
    "LegalCopyright=" VERSION_COPYRIGHT "\n"
    "LegalTrademarks=" VERSION_TRADEMARKS "\n"
    "Comments=" VERSION_COMMENTS "\n";
// clang-format on
