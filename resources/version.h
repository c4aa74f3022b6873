/* Version data of the library, shared by the Windows version record and the
   version section of the portable build. Plain preprocessor only. The
   version number comes from the build (version_number.h), the product
   version text is fixed. */
#ifndef TOLLWICK_RESOURCES_VERSION_H
#define TOLLWICK_RESOURCES_VERSION_H

#include "version_number.h"

#define VERSION_FILE_NUMBERS VERSION_NUMBERS
#define VERSION_PRODUCT_NUMBERS VERSION_NUMBERS
#define VERSION_FILE_TEXT VERSION_TEXT
#define VERSION_PRODUCT_TEXT "1.0.0.0"
#define VERSION_PRODUCT_NAME "Tollwick - Module Version"
#define VERSION_INTERNAL_NAME "tollwick.dll"
#define VERSION_ORIGINAL_FILENAME "tollwick.dll"
#define VERSION_DESCRIPTION "Tollwick: rings a bell on join and summon requests and whispers"
#define VERSION_COMPANY "The Tollwick project"
#define VERSION_COPYRIGHT "Copyright (C) 2026 The Tollwick project"
#define VERSION_TRADEMARKS "Tollwick is a name of the Tollwick project"
#define VERSION_COMMENTS "Provided as is, without warranty of any kind"

#endif
