// The command line of corvane-update: arguments separated by zero bytes in the input. Kept to the
// parser's public function, so the verbs and options may grow without touching this target.
#include <string>
#include <vector>

#include "app/cli/cli_options.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane::app::cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> arguments;
  std::size_t start = 0;
  while (start <= text.size() && arguments.size() < 64) {
    const std::size_t end = std::min(text.find('\0', start), text.size());
    arguments.emplace_back(text.data() + start, end - start);
    start = end + 1;
  }
  const ParseResult result = ParseArguments(arguments);
  // Understood, or refused with words for the user: never both, never neither.
  FUZZ_REQUIRE(result.options.has_value() == result.error.empty());
  if (!result.options) return 0;
  const CliOptions& o = *result.options;
  FUZZ_REQUIRE(!(o.simulate && o.simulateFile));
  FUZZ_REQUIRE(!o.device || !o.device->empty());
  return 0;
}
