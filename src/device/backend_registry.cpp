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

BackendKind socketKind() {
    BackendKind kind;
    kind.name = "socket:";
    kind.argument = "PATH";
    kind.open = [](const std::string& path, Clock&, std::string& error) {
        std::unique_ptr<HidBackend> backend = makeSocketBackend(path);
        if (!backend) {
            error = "a recorder on a socket cannot be reached on this system";
        }
        return backend;
    };
    kind.check = checkSocketPath;
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
