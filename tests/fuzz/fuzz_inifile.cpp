// SPDX-License-Identifier: GPL-3.0-or-later
// Writes arbitrary bytes as an INI file, then reads and writes keys in it and checks that a write
// changes the one key it was asked to and leaves every other byte of the file as it was.
#include "settings/inifile.h"

#include "tests/support/scratchfolder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <unistd.h>
#include <utility>

namespace {

const std::string& scratchFolder()
{
    // A RAM-backed folder keeps the fsync of every write from dominating the run.
    static const touchdrill::testing::ScratchFolder folder(access("/dev/shm", W_OK) == 0
            ? std::filesystem::path("/dev/shm")
            : std::filesystem::temp_directory_path());
    static const std::string path = folder.root().string();
    return path;
}

std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int entryCount(const std::string& folder)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        std::abort();
    int count = 0;
    while (const dirent* entry = readdir(dir))
        count += std::string_view(entry->d_name) != "." && std::string_view(entry->d_name) != "..";
    closedir(dir);
    return count;
}

void check(bool invariant)
{
    if (!invariant)
        std::abort();
}

// Keys whose text a write of Form/Top must not change.
constexpr std::pair<std::string_view, std::string_view> Bystanders[] = {
    { "Form", "Left" },
    { "Other", "Top" },
    { "a", "b" },
    { "", "" },
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // First byte: how many of the following bytes form the value to write; the rest is the file.
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string_view value = input.substr(0, data[0] % 64);
    const std::string before(input.substr(value.size()));

    const std::string path = scratchFolder() + "/f.ini";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << before;
        check(static_cast<bool>(out));
    }

    // Names made of the file's own bytes reach the odd corners of the reader.
    const std::string_view names(before);
    touchdrill::readIniString(
        path, names.substr(0, 5), names.substr(std::min<std::size_t>(5, names.size()), 5), "");
    std::string bystanders[std::size(Bystanders)];
    for (std::size_t i = 0; i < std::size(Bystanders); ++i)
        bystanders[i] = touchdrill::readIniString(path, Bystanders[i].first, Bystanders[i].second, "\x01");

    const bool written = touchdrill::writeIniString(path, "Form", "Top", value);
    const std::string after = fileBytes(path);
    check(entryCount(scratchFolder()) == 1);
    if (value.find_first_of("\r\n") != std::string_view::npos) {
        check(!written && after == before);
        return 0;
    }
    check(written);
    check(touchdrill::readIniString(path, "Form", "Top", "\x01") == value);
    for (std::size_t i = 0; i < std::size(Bystanders); ++i)
        check(touchdrill::readIniString(path, Bystanders[i].first, Bystanders[i].second, "\x01")
            == bystanders[i]);

    // Whatever lies between the longest common start and end is the whole change: a value within
    // one line was replaced, or at most a section header and a key line were added.
    std::size_t common = 0;
    while (common < before.size() && common < after.size() && before[common] == after[common])
        ++common;
    std::size_t tail = 0;
    while (tail < before.size() - common && tail < after.size() - common
        && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    const std::string_view removed = std::string_view(before).substr(common, before.size() - common - tail);
    const std::string_view added = std::string_view(after).substr(common, after.size() - common - tail);
    check(removed.find('\n') == std::string_view::npos);
    check(added.size() <= value.size() + 2 + std::string_view("\r\n[Form]\r\nTop=\r\n").size());

    // Writing the value the key already holds changes nothing.
    check(touchdrill::writeIniString(path, "Form", "Top", value));
    check(fileBytes(path) == after);
    return 0;
}
