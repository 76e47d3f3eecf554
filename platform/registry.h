#pragma once
// A file-backed registry: REG_DWORD and REG_SZ values per key path
// ("HKEY_CURRENT_USER\Software\Kelm"). The file is $PICTAVIO_REGISTRY, else
// $XDG_CONFIG_HOME/Kelm/registry, else ~/.config/Kelm/registry. Writes are
// atomic (temporary file + rename, under a lock against other processes);
// reads are cached by the file's identity. A damaged file reads as empty.
// Key paths must start with HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_USERS
// or HKEY_CURRENT_USER; key paths and value names ignore letter case.
// Every operation opens its key with create semantics: reading a value of a
// missing key creates the key (and reports false).

#include <cstdint>
#include <string>
#include "platform/text.h"

// The registry file's path as the environment names it now.
std::string registry_file_path();
// Grows with every write this process makes to the registry: a reader that
// kept a value since the same count saw no write of this process since.
std::uint64_t registry_write_count();

// The value when it exists as a DWORD; false (value unchanged) otherwise.
bool read_registry_dword(StringView key_path, StringView value_name, std::uint32_t& value);
// Stores the value as a DWORD; false when the file cannot be written.
bool write_registry_dword(StringView key_path, StringView value_name, std::uint32_t value);
// The text when the value exists as a string; false (text unchanged) otherwise.
bool read_registry_string(StringView key_path, StringView value_name, String& text);
// Stores text (up to its first zero) as a string value; false when the file cannot be written.
bool write_registry_string(StringView key_path, StringView value_name, StringView text);
