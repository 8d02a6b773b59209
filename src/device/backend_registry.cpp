#include "device/backend_registry.h"

#include "device/socket_check.h"

#include <algorithm>

namespace veldrin {
namespace {

BackendKind hidKind() {
    BackendKind kind;
    kind.name = "hid";
    kind.open = [](const std::string&, Clock&, std::string&) { return makeHidBackend(); };
    return kind;
}

constexpr const char* kNoSockets = "a recorder on a socket cannot be reached on this system";

// "socket:A,B": one recorder per path, in the order given.
std::vector<std::string> socketPaths(const std::string& argument) {
    std::vector<std::string> paths;
    std::size_t start = 0;
    for (std::size_t comma; (comma = argument.find(',', start)) != std::string::npos;
         start = comma + 1) {
        paths.push_back(argument.substr(start, comma - start));
    }
    paths.push_back(argument.substr(start));
    return paths;
}

// The worst outlook of the paths decides: one path that can never be used refuses the whole name.
DeviceCheck checkSocketPaths(const std::string& argument) {
    DeviceCheck worst;
    for (const std::string& path : socketPaths(argument)) {
        DeviceCheck check =
            path.empty()
                ? DeviceCheck{DeviceOutlook::never, "an empty socket path in \"" + argument + "\""}
                : checkSocketPath(path);
        if (static_cast<int>(check.outlook) > static_cast<int>(worst.outlook)) {
            worst = std::move(check);
        }
    }
    return worst;
}

BackendKind socketKind() {
    BackendKind kind;
    kind.name = "socket:";
    kind.argument = "PATH";
    kind.open = [](const std::string& argument, Clock&, std::string& error) {
        std::unique_ptr<HidBackend> backend = makeSocketBackend(socketPaths(argument));
        if (!backend) {
            error = kNoSockets;
        }
        return backend;
    };
    kind.check = checkSocketPaths;
    kind.offered = socketBackendBuilt();
    return kind;
}

BackendKind socketFolderKind() {
    BackendKind kind;
    kind.name = "socket-dir:";
    kind.argument = "DIR";
    kind.open = [](const std::string& folder, Clock&, std::string& error) {
        std::unique_ptr<HidBackend> backend = makeSocketFolderBackend(folder);
        if (!backend) {
            error = kNoSockets;
        }
        return backend;
    };
    kind.check = checkSocketFolder;
    kind.offered = socketBackendBuilt();
    return kind;
}

// "hid", "socket:PATH": a kind as the usage text names it.
std::string usageName(const BackendKind& kind) {
    return kind.name + kind.argument;
}

} // namespace

BackendRegistry::BackendRegistry() {
    add(hidKind());
    add(socketKind());
    add(socketFolderKind());
}

BackendRegistry& BackendRegistry::process() {
    static BackendRegistry registry;
    return registry;
}

void BackendRegistry::add(BackendKind kind) {
    const auto same = std::find_if(kinds_.begin(), kinds_.end(),
                                   [&kind](const BackendKind& k) { return k.name == kind.name; });
    if (same != kinds_.end()) {
        *same = std::move(kind);
    } else {
        kinds_.push_back(std::move(kind));
    }
}

const BackendKind* BackendRegistry::find(const std::string& name, std::string& argument) const {
    for (const BackendKind& kind : kinds_) {
        if (kind.argument.empty() ? name == kind.name
                                  : name.size() > kind.name.size() &&
                                        name.compare(0, kind.name.size(), kind.name) == 0) {
            argument = name.substr(kind.argument.empty() ? name.size() : kind.name.size());
            return &kind;
        }
    }
    return nullptr;
}

std::unique_ptr<HidBackend> BackendRegistry::open(const std::string& name, Clock& clock,
                                                  std::string& error) const {
    std::string argument;
    const BackendKind* kind = find(name, argument);
    if (kind == nullptr) {
        error = "unknown recorder backend \"" + name + "\" (use " + namesText() + ")";
        return nullptr;
    }
    return kind->open(argument, clock, error);
}

bool BackendRegistry::knows(const std::string& name) const {
    std::string argument;
    return find(name, argument) != nullptr;
}

DeviceCheck BackendRegistry::check(const std::string& name) const {
    std::string argument;
    const BackendKind* kind = find(name, argument);
    if (kind == nullptr || !kind->check) {
        return {};
    }
    return kind->check(argument);
}

std::string BackendRegistry::namesText() const {
    std::vector<std::string> names;
    for (const BackendKind& kind : kinds_) {
        if (kind.offered) {
            names.push_back(usageName(kind));
        }
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
    }
    return text;
}

std::unique_ptr<HidBackend> chooseBackend(const std::string& name, std::string& error,
                                          Clock& clock) {
    return BackendRegistry::process().open(name, clock, error);
}

DeviceCheck checkDeviceName(const std::string& name) {
    return BackendRegistry::process().check(name);
}

} // namespace veldrin
