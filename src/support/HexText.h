#pragma once

#include <QUuid>

#include <array>

namespace tarnwick {

// Hexadecimal digits on raw bytes, for writers and readers that handle text
// themselves: digit values, and a UUID in its canonical 36-character form
// (8-4-4-4-12 digits) written upper-case and read in either case.
namespace HexText {

inline constexpr char kUpperDigits[] = "0123456789ABCDEF";

// The value of each hexadecimal digit, -1 for every other byte.
inline constexpr auto kValues = [] {
    std::array<signed char, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[c] = c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                          : -1;
    }
    return table;
}();

// The value of a hexadecimal digit in either case, -1 for any other byte.
inline int value(char c) {
    return kValues[static_cast<unsigned char>(c)];
}

// Writes the 36 characters of id's canonical form, upper-case, at `at`; the
// position after them.
char* writeUuid(char* at, const QUuid& id);

// A UUID from the 36 characters at text in its canonical form, digits in
// either case; false (id untouched) when they are not that form.
bool uuidFromCanonical(const char* text, QUuid& id);

}  // namespace HexText

}  // namespace tarnwick
