// SPDX-License-Identifier: Apache-2.0
// Text as a line for a person shows it: one line of visible characters.
#include "device/device_text.h"

#include <gtest/gtest.h>

namespace tessal::device {
namespace {

TEST(DeviceTextTest, ShownAsOneLineOfVisibleCharacters) {
    const struct {
        QString text;
        QString shown;
    } rows[] = {
        {"evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9",
         R"(evil\r\n2026-12-08T10:00:00+01:00 forged PASS 356938035643899 /dev/ttyUSB9)"},
        {"\x1b[2J\x1b]0;owned\x07", R"(\x1B[2J\x1B]0;owned\x07)"},
        {"a\tb\\r", R"(a\tb\\r)"},
        {QString::fromUtf16(u"\u007f\u0085\u009b") + QChar(0) + "x", R"(\x7F\x85\x9B\x00x)"},
        // The device's own characters, and letters beyond them, as they are.
        {QString::fromUtf16(u"Kasa \u00e9\u00a0\u00ff Ni\u0161 \U0001F600"),
         QString::fromUtf16(u"Kasa \u00e9\u00a0\u00ff Ni\u0161 \U0001F600")},
        // Characters that reorder, hide or break a line beyond them.
        {QString::fromUtf16(u"a\u202eb\u2028c\u200bd\U000E0001"),
         R"(a\u202Eb\u2028c\u200Bd\U000E0001)"},
        {QString::fromUtf16(u"x") + QChar(0xD800), R"(x\uD800)"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(visible(row.text), row.shown) << row.text.toStdString();
    }
}

} // namespace
} // namespace tessal::device
