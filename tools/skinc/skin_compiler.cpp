#include "skin_compiler.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include "skin_description.h"

bool compile_skin(std::string_view source, std::string_view file_name, std::vector<std::uint8_t>& output,
                  std::string& error)
{
    try {
        output = write_skin(parse_skin_description(source));
        return true;
    } catch (const SkinDescriptionError& failure) {
        error = std::string(file_name) + ":" + (failure.line > 0 ? std::to_string(failure.line) + ":" : "") + " " +
                failure.reason;
        return false;
    }
}

// The skin goes to a temporary file beside the output and is renamed over
// it, so a failed build never leaves a half-written skin behind.
bool compile_skin_file(const std::string& input_path, const std::string& output_path, std::string& error)
{
    std::ifstream input(input_path, std::ios::binary);
    if (!input) {
        error = input_path + ": cannot be read";
        return false;
    }
    std::ostringstream source;
    source << input.rdbuf();
    std::vector<std::uint8_t> bytes;
    if (!compile_skin(source.str(), input_path, bytes, error))
        return false;
    const std::string temporary = output_path + ".part";
    std::ofstream output(temporary, std::ios::binary | std::ios::trunc);
    output.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    output.close();
    if (!output || std::rename(temporary.c_str(), output_path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = output_path + ": cannot be written";
        return false;
    }
    return true;
}
