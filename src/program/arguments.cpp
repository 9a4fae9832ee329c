#include "program/arguments.h"

#include "program/failure.h"

namespace tib {

NamedArgument splitNamedArgument(const std::string& argument) {
  const std::size_t equals = argument.find('=');
  if (argument.rfind("--", 0) != 0 || equals == std::string::npos) {
    return {argument, std::nullopt};
  }
  return {argument.substr(0, equals), argument.substr(equals + 1)};
}

std::string optionValue(const std::vector<std::string>& args, std::size_t& at,
                        const NamedArgument& option, const std::string& usage) {
  if (option.value) {
    return *option.value;
  }
  if (at + 1 == args.size()) {
    throw OptionError(option.name + " needs a value; " + usage);
  }
  return args[++at];
}

}  // namespace tib
