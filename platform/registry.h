#pragma once
// A file-backed registry: REG_DWORD and REG_SZ values per key path
// ("HKEY_CURRENT_USER\Software\Kelm"). Writes are atomic (temporary file +
// rename); reads are cached by the file's modification time.

#include <cstdint>
#include "platform/text.h"

bool read_registry_dword(StringView key_path, StringView value_name, std::uint32_t& value);
bool write_registry_dword(StringView key_path, StringView value_name, std::uint32_t value);
bool read_registry_string(StringView key_path, StringView value_name, String& text);
bool write_registry_string(StringView key_path, StringView value_name, StringView text);
