#pragma once
// The skin compiler: a readable text description in, a binary skin file out.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Compiles source (UTF-8 text) into output; on a bad description returns
// false with error = file_name + ":" + line + ": " + reason.
bool compile_skin(std::string_view source, std::string_view file_name, std::vector<std::uint8_t>& output,
                  std::string& error);

// Compiles the file at input_path into output_path, replacing it only when
// the whole skin was written; false with error as above.
bool compile_skin_file(const std::string& input_path, const std::string& output_path, std::string& error);
