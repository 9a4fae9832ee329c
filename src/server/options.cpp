#include "server/options.h"

#include <sched.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <thread>

#include "program/arguments.h"
#include "server/failure.h"
#include "tib/board/artwork.h"
#include "tib/board/drawing.h"
#include "tib/board/values.h"
#include "tib/game/gif_budget.h"

namespace tib {

namespace {

constexpr const char* kUsage = "usage: tib-server [OPTION]...";

// The options that take a whole number, each with its range.
// cppcheck reads the members as unused: they are read through an iterator.
struct NumberOption {
  const char* name;
  // cppcheck-suppress unusedStructMember
  uint32_t low;
  // cppcheck-suppress unusedStructMember
  uint32_t high;
  // cppcheck-suppress unusedStructMember
  void (*store)(ServerOptions&, uint32_t);
};

constexpr std::array<NumberOption, 11> kNumberOptions{{
    {"--threads", 1, 1024, [](ServerOptions& o, uint32_t v) { o.threads = v; }},
    {"--max-size", 1, static_cast<uint32_t>(kLargestSize),
     [](ServerOptions& o, uint32_t v) { o.maxSize = static_cast<int32_t>(v); }},
    {"--read-timeout", 1, 3600,
     [](ServerOptions& o, uint32_t v) { o.readTimeoutSeconds = v; }},
    {"--max-connections", 1, 1000000,
     [](ServerOptions& o, uint32_t v) { o.maxConnections = v; }},
    {"--max-artwork-memory", 1, 1U << 20,
     [](ServerOptions& o, uint32_t v) {
       o.maxArtworkBytes = static_cast<std::size_t>(v) << 20;
     }},
    {"--max-frames", 1, 100000,
     [](ServerOptions& o, uint32_t v) { o.maxFrames = v; }},
    {"--max-body", 1, 1U << 30,
     [](ServerOptions& o, uint32_t v) { o.maxBody = v; }},
    {"--write-timeout", 1, 3600,
     [](ServerOptions& o, uint32_t v) { o.writeTimeoutSeconds = v; }},
    {"--max-render-seconds", 1, 3600,
     [](ServerOptions& o, uint32_t v) { o.maxRenderSeconds = v; }},
    {"--max-stream-seconds", 1, 86400,
     [](ServerOptions& o, uint32_t v) { o.maxStreamSeconds = v; }},
    {"--max-streams", 1, 100000,
     [](ServerOptions& o, uint32_t v) { o.maxStreams = v; }},
}};

[[noreturn]] void refuse(const std::string& message) {
  throw OptionError(message + "; " + kUsage + " (see --help)");
}

[[noreturn]] void refuseNumber(const std::string& name,
                               const std::string& value,
                               const NumberOption& option) {
  refuse(name + " " + value + ": not a whole number from " +
         std::to_string(option.low) + " to " + std::to_string(option.high));
}

// Pixels go past what a 32-bit number holds: 1 to a million million.
constexpr uint64_t kMostGifPixels = 1'000'000'000'000;

uint64_t readPixels(const std::string& value) {
  uint64_t pixels = 0;
  const char* end = value.data() + value.size();
  const auto [stop, error] = std::from_chars(value.data(), end, pixels);
  if (value.empty() || stop != end || error != std::errc() || pixels < 1 ||
      pixels > kMostGifPixels) {
    refuse("--max-gif-pixels " + value + ": not a whole number from 1 to " +
           std::to_string(kMostGifPixels));
  }
  return pixels;
}

void readListen(const std::string& value, ServerOptions& options) {
  const std::size_t colon = value.rfind(':');
  std::string host = colon == std::string::npos ? "" : value.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  const std::optional<uint32_t> port =
      colon == std::string::npos
          ? std::nullopt
          : wholeNumber(value.substr(colon + 1), 0, 65535);
  if (host.empty() || !port) {
    refuse("--listen " + value +
           ": not HOST:PORT with a port from 0 to 65535, for example "
           "127.0.0.1:8080");
  }
  options.host = host;
  options.port = static_cast<uint16_t>(*port);
}

}  // namespace

void printServerUsage(std::ostream& out) {
  const ServerOptions defaults;
  out << kUsage << "\n"
      << "Serves chess diagrams over HTTP: /board.png, /board.svg, "
         "/game.gif (.webp,\n.mp4, .webm) and a page to try them at /.\n\n"
      << "      --listen HOST:PORT          where to listen (default "
      << defaults.host << ":" << defaults.port << ")\n"
      << "      --artwork DIR               the artwork (default the "
         "installed one)\n"
      << "      --threads N                 render workers (default the "
         "cores)\n"
      << "      --max-size N                the largest size= (default "
      << defaults.maxSize << ")\n"
      << "      --read-timeout SECONDS      to send a head, or stay idle "
         "(default "
      << defaults.readTimeoutSeconds << ")\n"
      << "      --write-timeout SECONDS     to take nothing of an answer "
         "(default "
      << defaults.writeTimeoutSeconds << ")\n"
      << "      --max-connections N         connections at once (default "
      << defaults.maxConnections << ")\n"
      << "      --max-artwork-memory MIB    decoded artwork kept (default "
      << (defaults.maxArtworkBytes >> 20) << ")\n"
      << "      --max-frames N              frames of a GIF (default "
      << defaults.maxFrames << ")\n"
      << "      --max-gif-pixels N          frames x pixels of a GIF (default "
      << defaults.maxGifPixels << ")\n"
      << "      --max-body BYTES            the body of POST /game.gif "
         "(default "
      << defaults.maxBody << ")\n"
      << "      --max-render-seconds SECONDS  drawing a game (default "
      << defaults.maxRenderSeconds << ")\n"
      << "      --max-stream-seconds SECONDS  a GIF's whole answer (default "
      << defaults.maxStreamSeconds << ")\n"
      << "      --max-streams N             GIFs streamed at once (default "
      << defaults.maxStreams << ")\n"
      << "  -h, --help                      print this help and exit\n\n"
      << "Exit status: 0 stopped by SIGTERM or SIGINT, 1 cannot serve, 2 a "
         "bad option.\n";
}

ServerOptions readServerOptions(const std::vector<std::string>& args,
                                unsigned defaultThreads) {
  ServerOptions options;
  options.threads = defaultThreads;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const NamedArgument option = splitNamedArgument(args[i]);
    const std::string& name = option.name;
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    const auto* const number =
        std::find_if(kNumberOptions.begin(), kNumberOptions.end(),
                     [&name](const NumberOption& o) { return name == o.name; });
    if (name != "--listen" && name != "--artwork" &&
        name != "--max-gif-pixels" && number == kNumberOptions.end()) {
      refuse("unknown option " + name);
    }
    const std::string value = optionValue(args, i, option, kUsage);
    if (name == "--listen") {
      readListen(value, options);
    } else if (name == "--artwork") {
      if (value.empty()) {
        refuse("--artwork needs a folder");
      }
      options.artwork = value;
    } else if (name == "--max-gif-pixels") {
      options.maxGifPixels = readPixels(value);
    } else {
      const std::optional<uint32_t> parsed =
          wholeNumber(value, number->low, number->high);
      if (!parsed) {
        refuseNumber(name, value, *number);
      }
      number->store(options, *parsed);
    }
  }
  return options;
}

unsigned coreCount() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (sched_getaffinity(0, sizeof cores, &cores) == 0 &&
      CPU_COUNT(&cores) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&cores));
  }
  const unsigned count = std::thread::hardware_concurrency();
  return count > 0 ? count : 1;
}

}  // namespace tib
