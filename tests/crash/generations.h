#pragma once
// The files the save loop writes, one generation after another. A data file of generation g holds
// the same million records as every other generation; its description and its next address (g)
// tell the generations apart, at both ends of the file, so that a file mixed from two generations
// equals neither. Generation g of main.ini has "ID=g".

#include "store/data_file.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace veldrin::crash {

constexpr std::size_t kRecords = 1'000'000;

inline RecordList baseRecords() {
    RecordList records(kRecords);
    const double start = DateTime::fromFields(2020, 1, 1, 0, 0).value;
    for (std::size_t i = 0; i < kRecords; ++i) {
        HistoryRecord& r = records[i];
        r.temperature = -10.0 + static_cast<double>(i % 500) * 0.1;
        r.humidity = static_cast<int8_t>(1 + i % 99);
        r.interval = 1;
        r.timeValue = start + static_cast<double>(i) / (24 * 60);
        r.downloadTimeValue = start + static_cast<double>(i / 1000) / 24;
    }
    return records;
}

// Of the same length for every generation, so that generations differ only in place.
inline RecorderSettings settingsOf(int32_t generation) {
    RecorderSettings s;
    s.interval = 1;
    s.lastBlock = 7;
    s.wrapMarker = 255;
    s.versionMajor = 1;
    char text[32];
    std::snprintf(text, sizeof text, "Generation %010d", generation);
    s.description.assign(text, text + std::char_traits<char>::length(text));
    return s;
}

// The bytes of generation g, made from those of generation 0 (encoded once) by replacing the parts
// that differ: everything before the records, and the next address after them.
inline std::string dataFileOf(const std::string& generationZero, int32_t generation) {
    const std::string frame = encodeDataFile(settingsOf(generation), {}, generation);
    std::string bytes = generationZero;
    const std::size_t head = frame.size() - 8; // without the record count and the next address
    bytes.replace(0, head, frame, 0, head);
    bytes.replace(bytes.size() - 4, 4, frame, frame.size() - 4, 4);
    return bytes;
}

} // namespace veldrin::crash
