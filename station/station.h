// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/profile.h"
#include "device/profile_file.h"
#include "link/device_link.h"
#include "link/port_map.h"
#include "register/register.h"
#include "settings/settings.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class QEventLoop;

// The commissioning station: it waits for a serial adapter to appear, finds
// the device on it, applies the configuration profile, sets the clock from
// the PC, checks the device, reads what identifies the device, writes one row into the
// register and tells the outcome in one line; then it waits for the next
// adapter.  No widgets: a shell or a window drives it.
namespace tessal::station {

class PortWatch;

// The steps a device goes through, the wait for it first.
enum class Step {
    waiting,  // for a device: "ceka se uredjaj"
    finding,  // the speed it answers at: "trazenje uredjaja: <port>"
    profile,  // the profile applied: "profil"
    clock,    // the clock set from the PC: "sat"
    check,    // the device check, against the profile: "provera"
    reading,  // what identifies it read: "citanje"
    recorded, // its row in the register: "upisano"
};
// How many there are, the wait included.
inline constexpr int kSteps = 7;

struct Options {
    device::Profile profile;
    QString profile_file;   // as given, for the register
    QString profile_sha256; // of the file's bytes
    // The settings' port is not used; their speed is the first one tried.
    settings::Settings settings;
    // Speeds tried after the settings' speed, in order.
    std::vector<std::int32_t> speeds;
    // A glob of device paths, the wildcards in the last part only
    // ("/dev/serial/by-id/usb-*").  Without a path in it, names of the
    // machine's ports separated by commas, each exact or a wildcard pattern
    // ("COM5,COM6", "COM*"), as Windows names them; those present when the
    // station starts are left alone unless named exactly.  Empty: the
    // machine's USB and ACM adapters, as `ports` lists them; those present
    // when the station starts are left alone.
    QString ports_glob;
    const link::PortEnumerator* ports = nullptr; // default: Qt's enumeration
    // Where each device's trace file goes; made when missing.
    QString traces_folder;
    // The station's name in the register; empty: the machine's host name.
    QString station_name;
    // The version request's wait at each speed while looking for the device.
    std::int32_t probe_timeout_ms = 300;
    // Told each step as it starts, on the station's thread: the step and
    // what it does.
    std::function<void(Step step, const QString& what)> on_step;
};

// The speeds tried: the settings' first, then the list's, each once.
std::vector<std::int32_t> probe_speeds(std::int32_t first, const std::vector<std::int32_t>& listed);
// Tried when no list is given.
inline const std::vector<std::int32_t> kDefaultSpeeds{38400, 19200, 9600, 57600, 115200};

// The options for the profile loaded (it must hold one) from `profile_file`,
// as given: the register names the file by its absolute path and its bytes'
// SHA-256.  `ports` as Options::ports_glob; `speeds` tried after the
// settings' speed.  Where the traces go and the station's name come from
// the register once it is open.
Options station_options(const QString& profile_file, const device::LoadedProfile& loaded,
                        const settings::Settings& settings, const QString& ports,
                        const std::vector<std::int32_t>& speeds = kDefaultSpeeds);

// The line a device gives:
//   "10:41:52 PASS 356871044629016 /dev/ttyUSB0"
//   "10:41:58 FAIL 356871044629024 /dev/ttyUSB0 ftp.user: Not OK!"
// With `whole_time` the date stands before the time as the register holds it.
// One line of visible characters whatever the row holds (device::visible).
QString outcome_line(const reg::Record& record, bool whole_time = false);
// What a device's line adds when its register did not take the row:
//   " [kept locally, 3 waiting]", " [not recorded yet, 1 waiting: ...]".
QString kept_note(const reg::Kept& kept);

class Station {
  public:
    // The register is written on the thread that runs the station, which
    // must be the one that opened it.
    Station(reg::Register& book, Options options);
    ~Station();
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    // Runs until stop(): `done` is called for every device once its row is
    // in the register, its port closed and its trace file written.  Gives
    // the reason when the register could not be written (the station stops
    // then), empty text after stop().
    QString run(const std::function<void(const reg::Record&)>& done);
    // The same, `done` told too where the row was kept.  A register that
    // cannot take a row never ends the run: the row waits in the local
    // register, or in memory, and the run goes on.  Gives the devices still
    // not recorded anywhere when the run ends.
    QString run(const std::function<void(const reg::Record&, const reg::Kept&)>& done);

    // Ends the run from any thread: a wait for a port ends at once, a
    // device being done is cut short and recorded as such.  A station runs
    // once.
    void stop();
    bool stopping() const { return stopping_; }

    // How long a new port must stay listed before it is opened: a link made
    // under a passing name and renamed at once is let go.
    static constexpr std::chrono::milliseconds kSettle{30};
    // How long an opening refused for rights or a missing device is tried
    // again after the port appeared.
    static constexpr std::chrono::milliseconds kOpenRetry{2000};
    // The longest wait between two looks at the ports.
    static constexpr std::chrono::milliseconds kPoll{250};
    // How often rows waiting for the register are offered to it between
    // devices (the register's own back-off may wait longer).
    static constexpr std::chrono::milliseconds kResend{2000};

  private:
    // Offers the waiting rows to the register now and then, and waits up to
    // `wait` for a port.
    void wait_for_port(std::chrono::steady_clock::time_point& offered,
                       std::chrono::milliseconds wait);
    // Offers the rows still only in memory once more; names those left.
    QString unrecorded_left();
    // Runs the event loop for up to `wait` or until the ports' folder
    // changes or stop() is called; false once stopping.
    bool idle(std::chrono::milliseconds wait);
    // The device on `port`: the first speed at which it answers the version
    // request, or why none was found.
    struct Found {
        std::int32_t speed = 0;
        QString version;
        QString failure;
        bool vanished = false; // the port went away before it could be opened
    };
    Found find_device(link::DeviceLink& line, const QString& port,
                      std::chrono::steady_clock::time_point appeared);
    // After the port refused to open: true to try it again (its device node
    // is still being set up); otherwise `found` says why it was let go.
    bool open_refused(link::DeviceLink& line, const QString& port,
                      std::chrono::steady_clock::time_point appeared, Found& found);
    // The row of the device on `port`; nothing when the port went away
    // before it could be opened.
    // What the device's writes did goes into `writes`.
    std::optional<reg::Record> commission(link::DeviceLink& line, const QString& port,
                                          std::chrono::steady_clock::time_point appeared,
                                          std::vector<device::Outcome>& writes);
    // The device's entry in its service book: a commissioning, with what
    // its writes changed and its verdict.
    void record_entry(const reg::Record& record, const std::vector<device::Outcome>& writes);

    reg::Register& book_;
    Options options_;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_; // guards the two below, set while run() runs
    link::DeviceLink* line_ = nullptr;
    QEventLoop* idle_loop_ = nullptr;
    PortWatch* watch_ = nullptr; // the run's own thread only
};

} // namespace tessal::station
