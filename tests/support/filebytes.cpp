// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/filebytes.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace touchdrill::testing {

void writeBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

Bytes readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes handMadeFile(const std::vector<std::pair<int, uint32_t>>& entries, std::size_t size)
{
    Bytes bytes(4 * CodeCount, 0);
    for (const auto& [code, value] : entries) {
        const std::size_t offset = 4 * static_cast<std::size_t>(code - 33);
        bytes.at(offset) = static_cast<unsigned char>(value);
        bytes.at(offset + 1) = static_cast<unsigned char>(value >> 8);
        bytes.at(offset + 2) = static_cast<unsigned char>(value >> 16);
        bytes.at(offset + 3) = static_cast<unsigned char>(value >> 24);
    }
    bytes.resize(size, 0);
    return bytes;
}

} // namespace touchdrill::testing
