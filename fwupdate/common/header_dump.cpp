#include "fwupdate/common/header_dump.h"

#include <string>

#include "frame/sink.h"

namespace ryn::fwupdate {

void report_header_dump(const fw_update_arg &arg, std::u16string_view title,
                        std::span<const layout::DumpRow> rows, std::span<const uint8_t> header,
                        std::u16string_view closing) {
    std::u16string text(title);
    for (const layout::DumpRow &row : rows) {
        text += row.label;
        text.append(row.label.size() < layout::dump_label_width
                        ? layout::dump_label_width - row.label.size()
                        : 1,
                    u' ');
        // "0x%0*x": at least row.digits hex digits.
        const uint64_t value = row.field.get(header);
        std::u16string digits;
        for (uint64_t v = value; v != 0; v >>= 4) digits.insert(digits.begin(), u"0123456789abcdef"[v & 0xF]);
        if (digits.size() < static_cast<size_t>(row.digits))
            digits.insert(0, row.digits - digits.size(), u'0');
        text += u"0x" + digits + u"\n";
    }
    text += closing;
    frame::report(arg, u"%s", text.c_str());
}

}  // namespace ryn::fwupdate
