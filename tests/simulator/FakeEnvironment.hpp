// An environment for the card model made from a map, so tests never touch the process environment.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "Settings.hpp"

inline qv58163::sim::EnvLookup fakeEnvironment(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const std::string &name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}
