#include "lang/language_table.h"

#include "core/file_system.h"
#include "core/paths.h"
#include "lang/utf.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace veldrin {

namespace {

constexpr char16_t kLineFeed = u'\n';
constexpr std::size_t kReadChunk = 64 * 1024;
// A language file holds a few hundred short lines; anything far larger is not one.
constexpr uint64_t kMaxLanguageFileBytes = 1024 * 1024;

bool isTrailingSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

bool validLanguage(int language) {
    return language >= 0 && language < kLanguageCount;
}

std::string describeFileError(const char* what, const std::string& path, int err) {
    return std::string(what) + " language file \"" + path + "\": " + std::strerror(err);
}

} // namespace

const char* languageFileName(int language) {
    switch (language) {
    case kEnglish:
        return "StdEnglish.txt";
    case kGerman:
        return "stdGermen.txt";
    case kFrench:
        return "StdFrench.txt";
    default:
        return nullptr;
    }
}

LanguageFileParser::LanguageFileParser(LanguageStrings& out) : out_(out) {
    for (auto& entry : out_) {
        entry.clear();
    }
}

bool LanguageFileParser::feed(const char* data, std::size_t size) {
    std::size_t i = 0;
    if (hasPendingByte_ && size > 0) {
        hasPendingByte_ = false;
        takeUnit(static_cast<char16_t>(pendingByte_ | (static_cast<unsigned char>(data[0]) << 8)));
        i = 1;
    }
    for (; i + 1 < size && line_ <= kLanguageStringCount; i += 2) {
        const auto low = static_cast<unsigned char>(data[i]);
        const auto high = static_cast<unsigned char>(data[i + 1]);
        takeUnit(static_cast<char16_t>(low | (high << 8)));
    }
    if (line_ > kLanguageStringCount) {
        return false;
    }
    if (i < size) {
        pendingByte_ = static_cast<unsigned char>(data[i]);
        hasPendingByte_ = true;
    }
    return true;
}

void LanguageFileParser::takeUnit(char16_t unit) {
    if (line_ > kLanguageStringCount) {
        return;
    }
    if (unit == kLineFeed) {
        if (line_ > 0) {
            out_[static_cast<std::size_t>(line_ - 1)] = std::move(current_);
        }
        current_.clear();
        ++line_;
        return;
    }
    // The heading line is never kept, however long it is.
    if (line_ > 0) {
        current_.push_back(unit);
    }
}

void LanguageFileParser::finish() {
    // A lone byte left at the end cannot form a character; it is dropped.
    hasPendingByte_ = false;
    if (line_ > 0 && line_ <= kLanguageStringCount && !current_.empty()) {
        out_[static_cast<std::size_t>(line_ - 1)] = std::move(current_);
    }
    current_.clear();
}

void parseLanguageFile(std::string_view bytes, LanguageStrings& out) {
    LanguageFileParser parser(out);
    parser.feed(bytes.data(), bytes.size());
    parser.finish();
}

bool readLanguageFile(const std::string& path, LanguageStrings& out, std::string& error) {
    FileStatus status;
    std::string why;
    const int fd = openRegularFile(path, status, why);
    if (fd < 0) {
        error = errno == EINVAL ? "Cannot read language file \"" + path + "\": not a regular file."
                                : describeFileError("Cannot open", path, errno);
        return false;
    }
    if (status.size > kMaxLanguageFileBytes) {
        error = "Cannot read language file \"" + path + "\": it holds " +
                std::to_string(status.size) + " bytes, more than a language file can.";
        ::close(fd);
        return false;
    }
    LanguageFileParser parser(out);
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        const auto n = ::read(fd, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            error = describeFileError("Cannot read", path, errno);
            ::close(fd);
            return false;
        }
        if (n == 0 || !parser.feed(buffer.data(), static_cast<std::size_t>(n))) {
            break;
        }
    }
    ::close(fd);
    parser.finish();
    return true;
}

std::u16string trimTrailingWhitespace(std::u16string_view text) {
    std::size_t end = text.size();
    while (end > 0 && isTrailingSpace(text[end - 1])) {
        --end;
    }
    return std::u16string(text.substr(0, end));
}

int CurrentLanguage::get() {
    int value = value_.load();
    if (!validLanguage(value)) {
        // Store the 0 back only over the value we saw, so that a language set meanwhile survives.
        value_.compare_exchange_strong(value, kEnglish);
        return kEnglish;
    }
    return value;
}

void CurrentLanguage::set(int language) {
    value_.store(language);
}

int CurrentLanguage::stored() {
    return value_.load();
}

LanguageTable::LanguageTable() = default;

LanguageTable& LanguageTable::instance() {
    static LanguageTable table;
    return table;
}

bool LanguageTable::load(const std::string& folder, std::string& error) {
    // Read all three before touching the table, so that a failure leaves no mix of old and new.
    auto loaded = std::make_unique<std::array<LanguageStrings, kLanguageCount>>();
    for (int language = 0; language < kLanguageCount; ++language) {
        const std::string path = joinPath(folder, languageFileName(language));
        if (!readLanguageFile(path, (*loaded)[static_cast<std::size_t>(language)], error)) {
            return false;
        }
    }
    tables_ = std::move(*loaded);
    return true;
}

void LanguageTable::setStrings(int language, LanguageStrings strings) {
    if (validLanguage(language)) {
        tables_[static_cast<std::size_t>(language)] = std::move(strings);
    }
}

const LanguageStrings& LanguageTable::strings(int language) const {
    return tables_[static_cast<std::size_t>(validLanguage(language) ? language : kEnglish)];
}

std::u16string LanguageTable::fetch(int index) const {
    return fetch(CurrentLanguage::get(), index);
}

std::u16string LanguageTable::fetch(int language, int index) const {
    if (index < 0 || index >= kLanguageStringCount) {
        return {};
    }
    const auto entry = static_cast<std::size_t>(index);
    std::u16string text = trimTrailingWhitespace(strings(language)[entry]);
    if (text.empty() && index >= kClassicLanguageStringCount) {
        text = trimTrailingWhitespace(strings(kEnglish)[entry]);
    }
    return text;
}

std::u16string languageString(int index) {
    return LanguageTable::instance().fetch(index);
}

std::string languageStringUtf8(int index) {
    return utf16ToUtf8(languageString(index));
}

} // namespace veldrin
