#pragma once
// Small readers for skin attributes shared by the element kinds.

#include "platform/text.h"
#include "skin/properties.h"

// The empty string, as a default that outlives any lookup.
const String& no_string();
// An integer attribute read as a switch: non-zero = on.
bool get_flag(const Properties& skin, const SkinNode* node, StringView key);
// The language text for the string key held in the attribute (empty when absent).
String get_translated(const Properties& skin, const SkinNode* node, StringView key);
