#pragma once
// The tag editor offers the genres of the extended ID3v1 list; the engine holds the table.
#include "Genres.h"
