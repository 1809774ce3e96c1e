// The former name of store_error_codes.h, kept while the data file still includes it.
#pragma once

#include "tablestore/store_error_codes.h"
