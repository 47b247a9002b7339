// SPDX-License-Identifier: Apache-2.0
#include "outcome_text.h"

#include "device/device_text.h"

#include <QStringList>

#include <algorithm>
#include <iterator>

namespace tessal::console {

namespace {

using State = device::ValueState::State;
using Ending = device::Outcome::Ending;

// What follows a state's words.
enum class Detail {
    none,
    now, // the value read back
    why, // why it was not written
};

struct StateText {
    State state;
    const char* words;
    Detail detail;
};
constexpr StateText kStateTexts[] = {
    {State::unchanged, "nepromenjeno", Detail::none},
    {State::differs, "razlikuje se", Detail::none},
    {State::confirmed, "upisano i potvrdjeno", Detail::none},
    {State::read_back_differs, "upisano, ali procitano: ", Detail::now},
    {State::written, "upisano, nije procitano nazad", Detail::none},
    {State::not_written, "nije upisano: ", Detail::why},
    {State::unknown, "nepoznato, procitajte nazad: ", Detail::why},
};

// A profile applied, by its ending; none where the report's messages say it.
struct EndingText {
    Ending ending;
    const char* text;
};
constexpr EndingText kAppliedTexts[] = {
    {Ending::unchanged, "Uredjaj vec ima sve vrednosti profila."},
    {Ending::done, "Profil je primenjen."},
    {Ending::read_back_differs, "Profil nije primenjen u celosti."},
    {Ending::incomplete, "Profil nije primenjen u celosti."},
    {Ending::held_back, nullptr},
    {Ending::refused, nullptr},
    {Ending::not_read, nullptr},
};

} // namespace

QString value_text(const device::ValueState& v) {
    const StateText& row = *std::find_if(std::begin(kStateTexts), std::end(kStateTexts),
                                         [&v](const StateText& t) { return t.state == v.state; });
    QString line = device::from_device(v.field) + QStringLiteral(": ") + QLatin1String(row.words);
    if (row.detail != Detail::none) {
        line += device::from_device(row.detail == Detail::now ? v.now : v.why);
    }
    if (v.state != State::unchanged) {
        const QString before = v.before ? device::from_device(*v.before) : QStringLiteral("?");
        line += QStringLiteral(" (%1 -> %2)").arg(before, device::from_device(v.wanted));
    }
    return line;
}

QString applied_text(const device::Outcome& outcome) {
    const Ending ending = outcome.ending();
    const EndingText& row =
        *std::find_if(std::begin(kAppliedTexts), std::end(kAppliedTexts),
                      [ending](const EndingText& t) { return t.ending == ending; });
    if (row.text == nullptr) {
        return {};
    }
    QStringList lines{QLatin1String(row.text)};
    for (const device::ValueState& v : outcome.values) {
        lines << value_text(v);
    }
    return lines.join(u'\n');
}

} // namespace tessal::console
