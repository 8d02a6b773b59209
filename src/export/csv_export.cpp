#include "export/csv_export.h"

#include "core/export_file.h"

#include <algorithm>
#include <string>

namespace veldrin {
namespace {

constexpr char32_t kLatin1Last = 0xFF;
constexpr char32_t kDegreeSign = 0x00B0;

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Calls f(code point) for each character; a lone surrogate counts as a character of its own.
template <class F> void forEachCharacter(std::u16string_view text, F&& f) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (isHighSurrogate(unit) && i + 1 < text.size() && isLowSurrogate(text[i + 1])) {
            f(0x10000 + ((char32_t{unit} - 0xD800) << 10) + (char32_t{text[i + 1]} - 0xDC00));
            ++i;
        } else {
            f(char32_t{unit});
        }
    }
}

std::u16string_view asListReadsIt(std::u16string_view text) {
    return text.substr(0, kListTextLimit);
}

// The degree sign of the temperature heading is read differently by different programs; the
// heading carries a blank in its place. Every other letter is written as the Latin-1 byte, as in
// the rest of the file ("Temp\xE9rature( C)").
std::string headingWithoutDegreeSign(std::u16string_view text) {
    std::u16string plain(text);
    std::replace(plain.begin(), plain.end(), static_cast<char16_t>(kDegreeSign), u' ');
    return toLatin1(plain);
}

} // namespace

std::string toLatin1(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachCharacter(text, [&out](char32_t c) {
        out +=
            c > kLatin1Last ? kUnencodableMark : static_cast<char>(static_cast<unsigned char>(c));
    });
    return out;
}

std::string csvHeadingLine(const RecordRow& headings) {
    std::string line;
    for (int column = 0; column < kRecordListColumns; ++column) {
        const std::u16string_view text = asListReadsIt(headings[static_cast<std::size_t>(column)]);
        if (column > 0) {
            line += ',';
        }
        line += column == 1 ? headingWithoutDegreeSign(text) : toLatin1(text);
    }
    line += '\n';
    return line;
}

std::string csvDataLine(const RecordRow& row) {
    auto cell = [&row](int column) {
        return toLatin1(asListReadsIt(row[static_cast<std::size_t>(column)]));
    };
    std::string line;
    line += '"' + cell(0) + "\",";
    line += cell(1) + ',' + cell(2) + ',' + cell(3) + ',';
    line += '"' + cell(4) + "\",";
    line += '"' + cell(5) + "\"\n";
    return line;
}

bool writeRecordCsv(const RecorderSettings& settings, const RecordList& records,
                    const DateTime& start, const DateTime& end, const CsvSink& write) {
    bool ok = write(csvHeadingLine(recordListHeadings(settings)));
    // Lines are gathered into larger pieces: a long history has a million rows.
    constexpr std::size_t kPiece = 64 * 1024;
    std::string pending;
    forEachRecordRow(settings, records, start, end, [&](const RecordRow& row) {
        if (!ok) {
            return;
        }
        pending += csvDataLine(row);
        if (pending.size() >= kPiece) {
            ok = write(pending);
            pending.clear();
        }
    });
    if (ok && !pending.empty()) {
        ok = write(pending);
    }
    return ok;
}

bool writeRecordCsvFile(const std::string& path, const RecorderSettings& settings,
                        const RecordList& records, const DateTime& start, const DateTime& end,
                        std::string& error) {
    ExportFileWriter writer(path);
    const bool ok = writer.open() &&
                    writeRecordCsv(settings, records, start, end,
                                   [&writer](std::string_view piece) {
                                       return writer.write(piece.data(), piece.size());
                                   }) &&
                    writer.commit();
    if (!ok) {
        error = writer.error().empty() ? "Cannot write " + path : writer.error();
    }
    return ok;
}

bool writeRecordCsvStream(std::FILE* stream, const RecorderSettings& settings,
                          const RecordList& records, const DateTime& start, const DateTime& end) {
    const bool ok = writeRecordCsv(settings, records, start, end, [stream](std::string_view piece) {
        return std::fwrite(piece.data(), 1, piece.size(), stream) == piece.size();
    });
    return ok && std::fflush(stream) == 0;
}

} // namespace veldrin
