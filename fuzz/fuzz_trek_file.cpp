// libFuzzer target: the trek file reader on arbitrary bytes, with every question answered Yes so
// that old versions are converted too. A read that succeeds is written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/IPrompt.h"
#include "trek/TrekFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::CScriptedPrompt yes;  // an empty script answers Yes to every question
  platform::setPrompt(&yes);
  yes.clear();
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  STrekReadResult r = ReadTrekBytes(bytes, "fuzz.ptd");
  if (r.ok()) {
    const std::string written = WriteTrekBytes(*r.group);
    STrekReadResult again = ReadTrekBytes(written, "fuzz.ptd");
    // What the writer produced must read back, and write back to the same bytes.
    if (!again.ok() || WriteTrekBytes(*again.group) != written) std::abort();
  } else if (r.group) {
    std::abort();
  }
  return 0;
}
