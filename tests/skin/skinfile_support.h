#pragma once
// Helpers of the skin file, compiler and properties tests.

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "skin/skin_file.h"
#include "skin_compiler.h"

// The bytes of a description that must compile.
inline std::vector<std::uint8_t> compile_or_fail(const std::string& source)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(compile_skin(source, "test.txt", bytes, error)) << error;
    return bytes;
}

// The error of a description that must not compile.
inline std::string compile_error(const std::string& source)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_FALSE(compile_skin(source, "test.txt", bytes, error));
    return error;
}

// Offset of a record inside the file it belongs to.
inline std::size_t offset_in(const SkinFile& file, const void* record)
{
    return static_cast<std::size_t>(static_cast<const std::uint8_t*>(record) - file.buffer()->data());
}

// Writes value over bytes at offset.
template <class T>
void patch(std::vector<std::uint8_t>& bytes, std::size_t offset, T value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

// Whether the bytes open as a skin.
inline bool opens(std::vector<std::uint8_t> bytes)
{
    return SkinFile().open(std::move(bytes));
}
