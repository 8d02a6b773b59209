#pragma once
// Which of the recorders attached info and configure act on: the only one, as always, or with
// several attached the one named by --recorder N (a registered number whose recorder is attached).

#include "cli/cli_context.h"
#include "device/hid_backend.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veldrin::cli {

struct AttachedRecorder {
    std::string interfacePath;
    int32_t number = -1; // the registered number of its identity; -1: not registered
};

// Every recorder the backend lists now, with the number main.ini gives its identity; each is
// asked for its header once.
std::vector<AttachedRecorder> attachedRecorders(HidBackend& backend, const Folders& folders);

// "0 (sim:0), not registered (sim:1)": the recorders for a message.
std::string attachedText(const std::vector<AttachedRecorder>& attached);

// The interface to bind the command's link to: empty (the first recorder found, as with one
// recorder) when --recorder is not given and at most one recorder is attached. False with a
// message and status 2 when several are attached without --recorder, or the one named is not
// attached.
bool chooseRecorder(const CliRequest& request, HidBackend& backend, const Folders& folders,
                    std::string& interfacePath, int& status);

} // namespace veldrin::cli
