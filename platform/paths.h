#pragma once
// Path macros ("%app_path%", "%my_documents%", ...) and path helpers.
// Every reader accepts both "\" and "/"; the system writes "/".

#include <cstddef>
#include <optional>
#include "platform/text.h"

// The program's full file name (the resolved /proc/self/exe).
String get_app_path();
// Expands a macro at the very start of text and turns every "\" into "/".
String expand_path(StringView text);
// The user's data folder ($XDG_DATA_HOME, else ~/.local/share), without trailing separator.
String user_data_folder();
// The user's cache folder ($XDG_CACHE_HOME, else ~/.cache), without trailing separator.
String user_cache_folder();
// Whether a file can be created in folder (macros expanded): tried with a probe file.
bool can_create_files_in(StringView folder);
// The folder for temporary files ($TMPDIR, else /tmp), without trailing separator.
String temp_folder();

// Text up to and including the last separator; empty when there is none.
String folder_of(StringView path);
// Text after the last separator; the whole text when there is none.
String file_name_of(StringView path);
// The path without one final separator.
String strip_trailing_separator(StringView path);
// Index of the extension's "." when it lies after the last separator.
std::optional<std::size_t> extension_position(StringView path);
String without_extension(StringView path);
String base_name(StringView path);
// folder + "/" + name (the name alone when folder is empty).
String join_path(StringView folder, StringView name);
String parent_folder(StringView path);
// Both expanded, trailing separator stripped, compared without letter case.
bool same_path(StringView a, StringView b);
// Whether path begins with prefix on a component boundary, compared as by same_path.
bool starts_with_path(StringView path, StringView prefix);

// Creates path and every missing ancestor (macros expanded first), logging each attempt.
void create_directory_path(StringView path);
// Opens path (macros expanded) with xdg-open, without a shell; true when
// xdg-open was started. The parameters are only logged (xdg-open takes none).
bool execute_file(StringView path, StringView parameters);
