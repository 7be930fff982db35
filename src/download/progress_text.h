#ifndef SRC_DOWNLOAD_PROGRESS_TEXT_H_
#define SRC_DOWNLOAD_PROGRESS_TEXT_H_

#include <cstdint>
#include <optional>
#include <string>

/// The words of the window's detail line, all of them, in the user's language (fw::localized()):
/// whole sentences with named blanks, so that a translation puts the blanks in its own order and
/// takes its own plural forms.

/// `bytes` as the desktop writes a size (GLib's g_format_size() by default): "1 byte", "N bytes"
/// below 1000, else in decimal units with one decimal, "1.0 kB", "12.5 MB", "1.2 GB" and on to
/// "EB", number and unit joined by a no-break space (U+00A0); rounded as printf("%.1f") rounds,
/// so 999999 bytes are "1000.0 kB"; the decimal mark the user's where the window speaks their
/// language (fw::decimalMark(), "12,5 MB" in German), else ".".
std::string sizeText(uint64_t bytes);

/// The detail line of a transfer that has `received` bytes of `expected` (negative: of a length
/// not announced): "12.5 MB of 200.0 MB", or "12.5 MB" alone; with the time left when the length
/// is known and `secondsLeft` is given, to the nearest whole second, minute or hour ("about 45
/// seconds left", "about 1 minute left", "about 2 hours left"): "12.5 MB of 200.0 MB, about 2
/// minutes left".
std::string progressText(int64_t received, int64_t expected, std::optional<double> secondsLeft);

#endif  // SRC_DOWNLOAD_PROGRESS_TEXT_H_
