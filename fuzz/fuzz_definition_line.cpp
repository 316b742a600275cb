// Differential check of the definition-line parser: on any piece of up to 255
// characters it must agree with text::scan and "param_%04u=%s" (128-character
// name buffer) on acceptance, number and name. Each input byte is widened to
// one char16_t.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "frame/definitions.h"
#include "text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    using ryn::frame::DefinitionEntry;
    const std::u16string line(data, data + std::min<size_t>(size, 255));

    unsigned scanned = 0;
    char16_t buf[DefinitionEntry::name_capacity] = {};
    const bool by_scan = ryn::text::scan(line, u"param_%04u=%s", &scanned, buf,
                                         DefinitionEntry::name_capacity) == 2;
    uint32_t number = 0;
    std::u16string_view name;
    const bool by_parser = ryn::frame::parse_definition_line(line, number, name);

    if (by_scan != by_parser) std::abort();
    // The name field as the loader stores it: the name, then zeros.
    std::u16string stored(name);
    stored.resize(DefinitionEntry::name_capacity, u'\0');
    if (by_scan && (number != scanned ||
                    stored != std::u16string_view(buf, DefinitionEntry::name_capacity)))
        std::abort();
    return 0;
}
