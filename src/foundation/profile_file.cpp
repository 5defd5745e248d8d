#include "foundation/profile_file.h"

#include <charconv>
#include <cstdio>
#include <new>
#include <system_error>
#include <unistd.h>

#include "foundation/agency.h"
#include "foundation/writer_lock.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

bool IsStorable(std::string_view text) {
    return text.size() <= kMaxProfileLineBytes &&
           text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// Decimal, or hexadecimal after "0x"; nothing else may follow the digits.
bool ParseInteger(std::string_view text, std::uint32_t& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    if (text.empty())
        return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

bool ReadWhole(const fs::path& path, std::string& bytes, ProfileLoadResult& result) {
    std::error_code error;
    if (!fs::exists(path, error)) {
        result = error ? ProfileLoadResult::ReadError : ProfileLoadResult::Missing;
        return false;
    }
    const auto size = fs::file_size(path, error);
    if (error) {
        result = ProfileLoadResult::ReadError;
        return false;
    }
    if (size > kMaxProfileFileBytes) {
        result = ProfileLoadResult::TooLarge;
        return false;
    }
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (file == nullptr) {
        result = ProfileLoadResult::ReadError;
        return false;
    }
    bytes.resize(static_cast<std::size_t>(size));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fgetc(file.get()) != EOF) {
        // The file changed under us or could not be read; treat it as damaged, not as empty.
        result = ProfileLoadResult::ReadError;
        return false;
    }
    result = ProfileLoadResult::Ok;
    return true;
}

} // namespace

CProfileFile::CProfileFile(fs::path path) : path_(std::move(path)) {
    try {
        std::string bytes;
        if (ReadWhole(path_, bytes, loadResult_))
            Parse(bytes);
    } catch (const std::bad_alloc&) {
        // Never parsed, so never rewritten from a partial copy.
        lines_.clear();
        loadResult_ = ProfileLoadResult::ReadError;
    }
}

void CProfileFile::Parse(const std::string& bytes) {
    std::string section;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            end = bytes.size();
        Line line;
        line.text = bytes.substr(start, end - start);
        if (!line.text.empty() && line.text.back() == '\r')
            line.text.pop_back();
        start = end + 1;

        const std::string& text = line.text;
        if (text.size() <= kMaxProfileLineBytes && text.find('\0') == std::string::npos) {
            if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
                section = text.substr(1, text.size() - 2);
            } else if (const auto equals = text.find('=');
                       equals != std::string::npos && equals > 0) {
                line.name = text.substr(0, equals);
                line.value = text.substr(equals + 1);
            }
        }
        line.section = section;
        lines_.push_back(std::move(line));
    }
}

const CProfileFile::Line* CProfileFile::Find(std::string_view section,
                                             std::string_view name) const {
    for (const Line& line : lines_)
        if (!line.name.empty() && line.section == section && line.name == name)
            return &line;
    return nullptr;
}

std::uint32_t CProfileFile::GetInteger(std::string_view section, std::string_view name,
                                       std::uint32_t fallback) {
    std::lock_guard lock(mutex_);
    std::uint32_t value = 0;
    const Line* line = Find(section, name);
    return line != nullptr && ParseInteger(line->value, value) ? value : fallback;
}

std::string CProfileFile::GetString(std::string_view section, std::string_view name) {
    std::lock_guard lock(mutex_);
    const Line* line = Find(section, name);
    return line != nullptr ? line->value : std::string();
}

bool CProfileFile::SetInteger(std::string_view section, std::string_view name,
                              std::uint32_t value) {
    return Store(section, name, std::to_string(value));
}

bool CProfileFile::SetString(std::string_view section, std::string_view name,
                             std::string_view value) {
    return Store(section, name, value);
}

bool CProfileFile::Store(std::string_view section, std::string_view name, std::string_view value) {
    if (!IsStorable(section) || !IsStorable(value) || !IsStorable(name) || name.empty() ||
        name.find('=') != std::string_view::npos || section.find(']') != std::string_view::npos)
        return false;
    std::lock_guard lock(mutex_);
    try {
        return StoreLocked(section, name, value);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool CProfileFile::StoreLocked(std::string_view section, std::string_view name,
                               std::string_view value) {
    std::vector<Line> lines = lines_;
    const std::string text = std::string(name) + "=" + std::string(value);
    bool stored = false;
    for (Line& line : lines) {
        if (!line.name.empty() && line.section == section && line.name == name) {
            line.value = value;
            line.text = text;
            stored = true;
            break;
        }
    }
    if (!stored) {
        // After the last line of the section, or in a new section at the end.
        std::size_t at = lines.size();
        bool found = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].section == section) {
                at = i + 1;
                found = true;
            }
        }
        if (!found) {
            lines.push_back({"[" + std::string(section) + "]", std::string(section), {}, {}});
            at = lines.size();
        }
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at),
                     Line{text, std::string(section), std::string(name), std::string(value)});
    }
    if (!Save(lines))
        return false;
    lines_ = std::move(lines);
    return true;
}

bool CProfileFile::Save(const std::vector<Line>& lines) {
    std::error_code error;
    if (loadResult_ == ProfileLoadResult::TooLarge || loadResult_ == ProfileLoadResult::ReadError) {
        // What could not be read is kept for the user, never overwritten.
        fs::path damaged = path_;
        damaged += ".damaged";
        fs::rename(path_, damaged, error);
        if (error && fs::exists(path_))
            return false;
        loadResult_ = ProfileLoadResult::Missing;
    }
    std::string bytes;
    for (const Line& line : lines) {
        bytes += line.text;
        bytes += '\n';
    }
    CWriterLock lock;
    if (lock.Acquire(path_) != WriterLockResult::Ok)
        return false;
    fs::path temporary = path_;
    temporary += ".tmp";
    const CTemporaryRegistration registered(temporary);
    bool written = false;
    {
        FileHandle file(std::fopen(temporary.c_str(), "wb"));
        if (file != nullptr) {
            written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size() &&
                      std::fflush(file.get()) == 0 && ::fsync(fileno(file.get())) == 0;
            written = std::fclose(file.release()) == 0 && written;
        }
    }
    if (written)
        fs::rename(temporary, path_, error);
    if (!written || error) {
        fs::remove(temporary, error);
        return false;
    }
    loadResult_ = ProfileLoadResult::Ok;
    return true;
}

} // namespace vorn
