// The status word read from any status text against a plain reading: drop blanks, tabs
// and line feeds, take the hexadecimal digits up to the first other character, and keep
// the number's low 16 bits, which are its last four digits.

#include "fuzzsupport.h"

#include "statusword.h"

#include <string>

namespace {

quint16 referenceReading(QByteArrayView text)
{
    std::string digits;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == '\n')
            continue;
        const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!hex)
            break;
        digits.push_back(c);
    }
    if (digits.empty())
        return 0;
    const std::string low = digits.size() > 4 ? digits.substr(digits.size() - 4) : digits;
    return quint16(std::stoul(low, nullptr, 16));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const quint16 word = kelmor::readStatusWord(text);
    FUZZ_CHECK(word == referenceReading(text));

    // The receive path hands over five-byte status fields; any cut of the text is a
    // text of its own and must read the same way.
    if (text.size() > 5) {
        const QByteArrayView field = text.first(5);
        FUZZ_CHECK(kelmor::readStatusWord(field) == referenceReading(field));
    }
    return 0;
}
