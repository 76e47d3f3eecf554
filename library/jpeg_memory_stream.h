#pragma once
// The in-memory streams now live in platform/memory_stream.h; this header
// stays only for sources that still include it by its old name.
#include "platform/memory_stream.h"
