// The settings file with any bytes in it: loading never fails, a save then a
// load gives back the values saved (those a key line can hold), and a save
// changes nothing outside the settings section.
//
// Input: the address, then the password (each a FuzzedDataProvider string),
// then the bytes of the file as it was before.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "app/settings.hpp"
#include "platform/codepage/codepage.hpp"
#include "platform/profile/profile.hpp"
#include "text/text.hpp"

namespace {

namespace fs = std::filesystem;
using tralvex::Text;

constexpr std::size_t kValueBuffer = 10240;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "settings fuzzer: %s\n", what);
    std::abort();
}

const fs::path& Directory() {
    static const fs::path directory = [] {
        std::string pattern = (fs::temp_directory_path() / "tralvex-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) Fail("no scratch directory");
        return fs::path(pattern);
    }();
    return directory;
}

std::string ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

struct Line {
    std::size_t begin;
    std::size_t end;
    std::size_t next;
};

// Lines end in CR LF, CR or LF.
std::vector<Line> Lines(const std::string& text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos) {
            lines.push_back({begin, text.size(), text.size()});
            break;
        }
        std::size_t next = text.compare(end, 2, "\r\n") == 0 ? end + 2 : end + 1;
        lines.push_back({begin, end, next});
        begin = next;
    }
    return lines;
}

// The section name of a header line "[name]", the "]" found as a character
// (it may be the second byte of a double-byte character).
std::optional<std::string> HeaderName(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    int close = tralvex::FindText(line, "]", 2);
    if (close < 0) return std::nullopt;
    return std::string(Trim(line.substr(1, static_cast<std::size_t>(close) - 2)));
}

bool SameName(std::string_view a, std::string_view b) {
    return tralvex::ToLowerAscii(a) == tralvex::ToLowerAscii(b);
}

// Where the first settings section lies in the file: from its header line to
// the next header line or the end.
struct SectionRange {
    std::size_t begin;
    std::size_t end;
};

std::optional<SectionRange> FindSection(const std::string& file, const Text& section) {
    std::vector<Line> lines = Lines(file);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view line(file.data() + lines[i].begin, lines[i].end - lines[i].begin);
        std::optional<std::string> name = HeaderName(line);
        if (!name || !SameName(*name, section)) continue;
        for (std::size_t j = i + 1; j < lines.size(); ++j) {
            std::string_view other(file.data() + lines[j].begin, lines[j].end - lines[j].begin);
            if (HeaderName(other)) return SectionRange{lines[i].begin, lines[j].begin};
        }
        return SectionRange{lines[i].begin, file.size()};
    }
    return std::nullopt;
}

// The keys of the section other than the two the settings write.
std::vector<std::string> OtherKeys(const std::string& file, const SectionRange& range) {
    std::vector<std::string> keys;
    std::string part = file.substr(range.begin, range.end - range.begin);
    std::vector<Line> lines = Lines(part);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        std::string_view line(part.data() + lines[i].begin, lines[i].end - lines[i].begin);
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string key(Trim(line.substr(0, equals)));
        if (key.empty() || SameName(key, "IP") || SameName(key, "Password")) continue;
        keys.push_back(key);
    }
    return keys;
}

bool KeyLineCanHold(const std::string& value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string address = input.ConsumeRandomLengthString(64);
    const std::string password = input.ConsumeRandomLengthString(64);
    const std::string before = input.ConsumeRemainingBytesAsString();
    const fs::path file = tralvex::SettingsFilePath(Directory());
    WriteFile(file, before);
    const Text section = tralvex::FromUtf8("配置");

    tralvex::LoadedSettings loaded = tralvex::LoadSettings(Directory());
    if (!loaded.fileExisted) Fail("the file written was not found");
    if (loaded.address.size() >= kValueBuffer || loaded.password.size() >= kValueBuffer) {
        Fail("a value longer than the buffer");
    }
    std::optional<SectionRange> range = FindSection(before, section);
    std::vector<std::string> otherKeys =
        range ? OtherKeys(before, *range) : std::vector<std::string>{};
    std::vector<Text> otherValues;
    for (const std::string& key : otherKeys) {
        otherValues.push_back(
            tralvex::GetPrivateProfileString(section, key, "", kValueBuffer, file));
    }

    const bool saved = tralvex::SaveSettings(Directory(), address, password);
    if (saved != (KeyLineCanHold(address) && KeyLineCanHold(password))) {
        Fail("a save failed or succeeded against what the values allow");
    }
    const std::string after = ReadFile(file);
    tralvex::LoadedSettings reloaded = tralvex::LoadSettings(Directory());
    if (KeyLineCanHold(address) && reloaded.address != address)
        Fail("the address came back changed");
    if (KeyLineCanHold(password) && reloaded.password != password) {
        Fail("the password came back changed");
    }

    if (range) {
        const std::size_t tail = before.size() - range->end;
        if (after.compare(0, range->begin, before, 0, range->begin) != 0 ||
            after.size() < range->begin + tail ||
            after.compare(after.size() - tail, tail, before, range->end, tail) != 0) {
            Fail("bytes outside the section changed");
        }
        for (std::size_t i = 0; i < otherKeys.size(); ++i) {
            if (tralvex::GetPrivateProfileString(section, otherKeys[i], "", kValueBuffer, file) !=
                otherValues[i]) {
                Fail("another key of the section changed");
            }
        }
    } else if (after.compare(0, before.size(), before) != 0) {
        Fail("a file without the section lost bytes");
    }
    return 0;
}
