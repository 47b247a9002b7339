// SPDX-License-Identifier: Apache-2.0
// "Sacuvaj profil..." and "Primeni profil...": a profile read from the device
// into a file, and a file's profile applied to the device.
#include "main_window.h"
#include "outcome_text.h"

#include "device/operations.h"
#include "device/profile.h"
#include "device/profile_file.h"

#include <QFileDialog>

namespace tessal::console {

QString MainWindow::choose_profile(bool save) {
    if (choose_profile_) {
        return choose_profile_(save);
    }
    const QString filter = QStringLiteral("Profil (*.json)");
    return save ? QFileDialog::getSaveFileName(this, QStringLiteral("Sacuvaj profil"),
                                               QStringLiteral("profil.json"), filter)
                : QFileDialog::getOpenFileName(this, QStringLiteral("Primeni profil"), QString(),
                                               filter);
}

void MainWindow::SaveProfile_Click() {
    if (!transaction_.idle()) {
        return;
    }
    // The file is chosen before the port is opened.
    const QString file = choose_profile(true);
    if (file.isEmpty()) {
        return;
    }
    const settings::Settings settings = settings_;
    transaction_.run(
        this,
        [settings](device::Session& session) { return device::read_profile(session, settings); },
        [this, file](const std::optional<device::Profile>& read) {
            if (!read) {
                return; // the read's message says why
            }
            device::Profile profile = *read;
            profile.source.read_at =
                now_().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
            // The password stays on the device: a profile from the window
            // carries no secret.
            std::string error;
            if (device::save_profile(file, profile, false, error)) {
                transaction_.inform(QStringLiteral("Profil je sacuvan: ") + file);
            } else {
                transaction_.inform(QStringLiteral("Profil nije sacuvan: ") +
                                    QString::fromStdString(error));
            }
        });
}

void MainWindow::ApplyProfile_Click() {
    if (!transaction_.idle()) {
        return;
    }
    const QString file = choose_profile(false);
    if (file.isEmpty()) {
        return;
    }
    // A file that is no profile, or holds a value the device cannot take, is
    // refused before anything is sent.
    const device::LoadedProfile loaded = device::load_profile(file);
    const std::optional<device::Profile>& profile = loaded.profile;
    if (!loaded.read()) {
        transaction_.inform(QStringLiteral("Profil nije procitan: ") +
                            (loaded.outcome == device::LoadedProfile::Outcome::missing
                                 ? QStringLiteral("nema takvog fajla")
                                 : QString::fromStdString(loaded.problem)));
        return;
    }
    if (!profile) {
        transaction_.inform(QStringLiteral("Profil nije dobar: ") + from_device(loaded.problem));
        return;
    }
    const settings::Settings settings = settings_;
    transaction_.run(
        this,
        [settings, wanted = *profile](device::Session& session) {
            return device::apply_profile(session, wanted, settings, false);
        },
        [this](const device::Outcome& result) {
            // Nothing for answered No: the report's message says why.
            if (const QString text = applied_text(result); !text.isEmpty()) {
                transaction_.inform(text);
            }
        });
}

} // namespace tessal::console
