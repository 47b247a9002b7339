// SPDX-License-Identifier: Apache-2.0
// tessal-devsim: the simulated communicator on a pseudo-terminal, for trying
// the console without a device.
#include "options.h"
#include "pty_simulator.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <pthread.h>

using namespace tessal::devsim;

namespace {

std::optional<std::string> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void print_line(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const std::string program = argc > 0 ? argv[0] : "tessal-devsim";
    const ParsedArguments parsed = parse_arguments(std::vector<std::string>(argv + 1, argv + argc));
    if (parsed.help) {
        std::fputs(usage(program).c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "%s: %s\n%sTry %s --help for the options.\n", program.c_str(),
                     parsed.error.c_str(), usage_line(program).c_str(), program.c_str());
        return 2;
    }
    const ProgramOptions& options = *parsed.options;

    std::optional<std::string> descriptor;
    if (options.descriptor_file) {
        descriptor = read_file(*options.descriptor_file);
        if (!descriptor) {
            std::fprintf(stderr, "%s: cannot read %s\n", program.c_str(),
                         options.descriptor_file->c_str());
            return 1;
        }
    }

    // The signals are taken by sigwait below; blocked before the answering
    // thread starts, so it inherits the mask and never sees them.
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    PtySimulator simulator(options.link_path);
    simulator.with_device([&](Device& device) { configure(device, options, descriptor); });
    if (options.only_for.empty()) {
        simulator.set_faults(options.faults);
    } else {
        simulator.set_command_faults({{options.only_for, options.faults}});
    }
    if (options.verbose) {
        simulator.set_trace(print_line);
    }
    if (options.trace) {
        simulator.set_wire_trace(print_line);
    }
    if (!simulator.start()) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), simulator.error().c_str());
        return 1;
    }
    print_line("listening on " + options.link_path.string());

    int signal = 0;
    sigwait(&stop_signals, &signal);
    simulator.stop();
    return 0;
}
