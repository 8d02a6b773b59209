#pragma once
// The record list as a comma-separated file: a heading line, then one line per row; columns 0, 4
// and 5 quoted, 1 to 3 not; quotes inside a text written as they stand; every line ending in a
// lone line feed; 8-bit text in ISO 8859-1.

#include "export/record_list.h"

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace veldrin {

// Written in place of a character that ISO 8859-1 cannot hold (above U+00FF; a surrogate pair is
// one character, so it gives one mark).
constexpr char kUnencodableMark = '?';

// The list reads a heading or a cell as at most this many UTF-16 units.
constexpr std::size_t kListTextLimit = 255;

std::string toLatin1(std::u16string_view text);

// The heading line: column 1's characters above U+0080 become blanks (its degree sign does).
std::string csvHeadingLine(const RecordRow& headings);
std::string csvDataLine(const RecordRow& row);

// Hands the whole file to `write` piece by piece, in order; stops at the first false.
using CsvSink = std::function<bool(std::string_view)>;
bool writeRecordCsv(const RecorderSettings& settings, const RecordList& records,
                    const DateTime& start, const DateTime& end, const CsvSink& write);

// The file written as an export target is (core/export_file.h); false with a message naming
// the file.
bool writeRecordCsvFile(const std::string& path, const RecorderSettings& settings,
                        const RecordList& records, const DateTime& start, const DateTime& end,
                        std::string& error);
bool writeRecordCsvStream(std::FILE* stream, const RecorderSettings& settings,
                          const RecordList& records, const DateTime& start, const DateTime& end);

} // namespace veldrin
