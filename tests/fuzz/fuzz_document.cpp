// The settings document reader: whatever it reads, saving and reading again gives the same
// model, and the file keeps its 786 lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/atomic_file.h"
#include "core/document.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    Model m;
    parse_document(m, std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string once = document_bytes(m);
    fuzz::check(split_lines(once).size() == static_cast<std::size_t>(kDocumentLines),
                "a saved document has 786 lines");
    Model again;
    parse_document(again, once);
    fuzz::check(document_bytes(again) == once, "saving what was read is stable");
    return 0;
}
