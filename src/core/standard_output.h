#pragma once
// Standard output for bytes that must arrive as written: on Windows a stream in text mode turns
// every line feed into CR LF, so a CSV on standard output would differ from the file --out writes
// (standard_output_posix.cpp, standard_output_windows.cpp).

namespace veldrin {

// Standard output from now on passes bytes unchanged; false when the system refuses.
bool useBinaryStandardOutput();

} // namespace veldrin
