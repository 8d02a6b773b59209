#pragma once
// The interface texts of the program in its three languages. Every text the program shows is
// fetched from here by its number; the texts themselves live in three UTF-16 files that are shipped
// beside the program and that a user may edit, so nothing here trusts their contents.
//
// Numbers 0..127 are the classic table, which every reader of these files knows. Texts added later
// stand on the lines after it (numbers from 128 on); a reader that knows only the classic table
// ignores those lines, so the files stay readable by it.

#include <array>
#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

namespace veldrin {

inline constexpr int kLanguageCount = 3;
inline constexpr int kClassicLanguageStringCount = 128;
inline constexpr int kLanguageStringCount = 352;

enum Language : int { kEnglish = 0, kGerman = 1, kFrench = 2 };

using LanguageStrings = std::array<std::u16string, kLanguageStringCount>;

// Name of the file of a language (0 English, 1 German, 2 French), letter case included; nullptr
// for any other number.
const char* languageFileName(int language);

// Turns the bytes of a language file into its entries as they arrive, so that a file is never
// held whole in memory and reading stops as soon as the last entry is filled. The file is taken as
// raw little-endian 16-bit units: the first line (byte-order mark and heading) is dropped, every
// following line becomes one entry without its line feed (a carriage return before the line feed
// stays and goes at fetch time), lines beyond the last entry are ignored, and an odd last byte is
// ignored. Entries the file does not reach stay empty.
class LanguageFileParser {
public:
    explicit LanguageFileParser(LanguageStrings& out);

    // Returns false once every entry is filled; further bytes would change nothing.
    bool feed(const char* data, std::size_t size);
    // Takes a last line that has no line feed.
    void finish();

private:
    void takeUnit(char16_t unit);

    LanguageStrings& out_;
    int line_ = 0; // 0 is the heading line, line n > 0 is entry n - 1
    std::u16string current_;
    unsigned char pendingByte_ = 0;
    bool hasPendingByte_ = false;
};

void parseLanguageFile(std::string_view bytes, LanguageStrings& out);

// Reads one language file. False, with a message naming the file, when it cannot be opened or read.
bool readLanguageFile(const std::string& path, LanguageStrings& out, std::string& error);

// Strips blanks, tabs, line feeds, vertical tabs, form feeds and carriage returns from the end.
std::u16string trimTrailingWhitespace(std::u16string_view text);

// The index of the language in use, shared by the whole process. It may be set to anything (it is
// read from main.ini); every reader sees a value outside 0..2 as 0, and stores that 0 back.
class CurrentLanguage {
public:
    static int get();
    static void set(int language);
    // The stored value as it stands, without the clamping; for diagnostics and tests.
    static int stored();

private:
    static inline std::atomic<int> value_{0};
};

class LanguageTable {
public:
    // Out of line, so that compilers do not try to build the 384 empty texts of the static table
    // as a constant expression (clang 14 crashes trying).
    LanguageTable();

    // The one table of the process: all entries empty until load() succeeds.
    static LanguageTable& instance();

    // Reads the three files of `folder`, English, German, French. On failure the table stays as it
    // was and `error` names the file that could not be read.
    bool load(const std::string& folder, std::string& error);

    void setStrings(int language, LanguageStrings strings);
    // Entries as read from the file, untrimmed; English for a language outside 0..2.
    const LanguageStrings& strings(int language) const;

    // Language string `index` of the current language, trimmed of trailing white space; empty for
    // an index outside the table. A text added after the classic table that a language's file
    // lacks (a file edited before it was added) is taken from English, so it never shows empty.
    std::u16string fetch(int index) const;
    std::u16string fetch(int language, int index) const;

private:
    std::array<LanguageStrings, kLanguageCount> tables_{};
};

// Language string `index` of the process-wide table in the current language.
std::u16string languageString(int index);
std::string languageStringUtf8(int index);

} // namespace veldrin
