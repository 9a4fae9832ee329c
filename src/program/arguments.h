// The command lines of tib-game and tib-server: options spelled
// "--name value" or "--name=value".
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tib {

struct NamedArgument {
  std::string name;
  // The value after "=", when the argument has one.
  std::optional<std::string> value;
};

// "--name=value" as its name and value; any other argument whole, without
// a value.
NamedArgument splitNamedArgument(const std::string& argument);

// The value of the option at args[at]: its own after "=", else the next
// argument, and at moves past it. Throws OptionError "NAME needs a value",
// followed by usage, when there is none.
std::string optionValue(const std::vector<std::string>& args, std::size_t& at,
                        const NamedArgument& option, const std::string& usage);

}  // namespace tib
