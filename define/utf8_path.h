// File names as the tool keeps them, UTF-8 text, to and from std::filesystem::path. A path
// made from a plain std::string reads it in the ANSI code page on Windows ("Ф", D0 A4, would
// become two Latin letters), so every path the tool builds from a name comes through here. On
// Linux both directions copy the bytes as they are.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

inline std::filesystem::path utf8_path(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string path_utf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
