#pragma once
// configure without a dialog: the recorder's configuration as last read from it, changed by the
// command line, and checked as the Setting dialog checks its input. What the dialog would correct
// with a message is an error here (nothing is written); what it only warns about is a warning.

#include "acquisition/configuration_rules.h"
#include "acquisition/configuration_write.h"
#include "cli/cli_options.h"
#include "core/recorder_types.h"

#include <string>
#include <vector>

namespace veldrin::cli {

struct ConfigurePlan {
    ConfigurationEdit edit;
    std::vector<std::string> errors;   // each names the value at fault
    std::vector<std::string> warnings; // printed, accepted
    bool ok() const { return errors.empty(); }
};

// `recorder` is the connected recorder's settings (with its description from the PC); `now` the
// local time the slot times are compared with.
ConfigurePlan planConfiguration(const ConfigureRequest& request, const RecorderSettings& recorder,
                                const DateTime& now);

// The faults of the command line alone, found before a recorder is waited for: they are faults
// whatever recorder answers (a value out of range, a slot that ends before it starts or lies
// outside the recorder's years, a past slot with --circular off, --circular on with a slot
// switched on). Each of them is also an error of planConfiguration().
std::vector<std::string> checkConfigureRequest(const ConfigureRequest& request,
                                               const DateTime& now);

// A configuration as lines "name: value" (unit, date order, recording, interval, description,
// the four slots), to show what a recorder holds after a write.
std::vector<std::string> describeConfiguration(const ConfigurationEdit& edit);

} // namespace veldrin::cli
