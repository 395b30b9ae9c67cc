// An environment for the card model made from a map, so tests never touch the process environment.
#ifndef QV58163_SIM_TESTS_FAKE_ENV_HPP
#define QV58163_SIM_TESTS_FAKE_ENV_HPP

#include <map>
#include <optional>
#include <string>

#include "card_model.hpp"

inline qv58163sim::EnvLookup fake_env(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const std::string &name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        return it == vars.end() ? std::nullopt : std::optional<std::string>(it->second);
    };
}

#endif  // QV58163_SIM_TESTS_FAKE_ENV_HPP
