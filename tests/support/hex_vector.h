// The checked-in vectors below tests/vectors: one line of hex digits each,
// beside the script that wrote it.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// The bytes of tests/vectors/<name>; none when the file is missing, which the
// callers' size checks report.
inline std::vector<uint8_t> load_hex_vector(const std::string &name)
{
    std::ifstream in(std::string(TOVAN_SOURCE_DIR) + "/tests/vectors/" + name);
    std::string hex;
    in >> hex;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}
