// SPDX-License-Identifier: Apache-2.0
#include "profile_file.h"

#include "settings/text_file.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <cerrno>
#include <system_error>

namespace tessal::device {

namespace {

namespace fs = std::filesystem;

LoadedProfile unread(LoadedProfile::Outcome outcome, std::string problem) {
    LoadedProfile loaded;
    loaded.outcome = outcome;
    loaded.message = kMsgProfileUnreadable;
    loaded.problem = std::move(problem);
    return loaded;
}

LoadedProfile load(const fs::path& path) {
    std::string text;
    std::string problem;
    switch (settings::read_text_file(path, text, problem, kLargestProfileFile)) {
    case settings::ReadOutcome::read:
        break;
    case settings::ReadOutcome::too_large: {
        LoadedProfile loaded;
        loaded.outcome = LoadedProfile::Outcome::not_a_profile;
        loaded.problem = "not a profile: larger than " +
                         std::to_string(kLargestProfileFile / (1024 * 1024)) + " MiB";
        return loaded;
    }
    case settings::ReadOutcome::missing:
        return unread(LoadedProfile::Outcome::missing, settings::display_path(path) + ": " +
                                                           std::generic_category().message(ENOENT));
    case settings::ReadOutcome::failed:
        return unread(LoadedProfile::Outcome::unreadable, std::move(problem));
    }
    LoadedProfile loaded;
    loaded.sha256 =
        QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Sha256)
            .toHex()
            .toStdString();
    std::optional<Profile> profile = parse_profile(text, problem);
    if (!profile) {
        loaded.outcome = LoadedProfile::Outcome::not_a_profile;
        loaded.problem = std::move(problem);
        return loaded;
    }
    if (std::optional<std::string> beyond = profile_problem(*profile)) {
        loaded.outcome = LoadedProfile::Outcome::does_not_fit;
        loaded.problem = std::move(*beyond);
        return loaded;
    }
    loaded.outcome = LoadedProfile::Outcome::loaded;
    loaded.profile = std::move(profile);
    return loaded;
}

bool save(const fs::path& path, const Profile& profile, bool with_secrets, std::string& error) {
    return settings::replace_file(path, profile_json(profile, with_secrets), error,
                                  with_secrets ? settings::FileAccess::owner_only
                                               : settings::FileAccess::usual);
}

} // namespace

fs::path file_path(const QString& file) {
#ifdef _WIN32
    return fs::path(file.toStdWString());
#else
    return fs::path(file.toStdString());
#endif
}

fs::path file_path(const std::string& file) {
    return file_path(QString::fromStdString(file));
}

LoadedProfile load_profile(const QString& file) {
    return load(file_path(file));
}

LoadedProfile load_profile(const std::string& file) {
    return load(file_path(file));
}

bool save_profile(const QString& file, const Profile& profile, bool with_secrets,
                  std::string& error) {
    return save(file_path(file), profile, with_secrets, error);
}

bool save_profile(const std::string& file, const Profile& profile, bool with_secrets,
                  std::string& error) {
    return save(file_path(file), profile, with_secrets, error);
}

} // namespace tessal::device
