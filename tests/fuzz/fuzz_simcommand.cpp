// The gauge simulator's command side: the stream from the monitor cut into commands at
// each CR however it arrives, and every command read as the gauge reads it.

#include "fuzzsupport.h"

#include "simcommand.h"

using kelmor::fuzz::ChunkPlan;
using kelmor::sim::Command;
using kelmor::sim::CommandKind;
using kelmor::sim::CommandReader;

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

void checkCommand(QByteArrayView raw)
{
    const Command command = kelmor::sim::parseCommand(raw);

    QByteArray text = raw.toByteArray();
    text.replace("\n", "");
    FUZZ_CHECK(command.text == text);

    CommandKind kind = CommandKind::Unknown;
    int word = -1;
    if (text.isEmpty()) {
        kind = CommandKind::Empty;
    } else if (text == "SX1") {
        kind = CommandKind::StreamOn;
    } else if (text == "SX0") {
        kind = CommandKind::StreamOff;
    } else if (text == "RV") {
        kind = CommandKind::Version;
    } else if (text.size() == 7 && text.startsWith("SC ")) {
        word = 0;
        for (const char c : text.sliced(3)) {
            if (hexValue(c) < 0) {
                word = -1;
                break;
            }
            word = word * 16 + hexValue(c);
        }
        if (word >= 0)
            kind = CommandKind::SetControl;
    }
    FUZZ_CHECK(command.kind == kind);

    if (command.kind == CommandKind::SetControl) {
        // Exactly "SC ", four hexadecimal digits and nothing else; their value without
        // bit 15 is the control word.
        FUZZ_CHECK(word >= 0 && word <= 0xFFFF);
        FUZZ_CHECK(command.controlWord == quint16(word & 0x7FFF));
        FUZZ_CHECK(command.text.size() == 7);
        FUZZ_CHECK(command.text.first(3) == "SC ");
    } else {
        FUZZ_CHECK(command.controlWord == 0);
    }
}

// The commands of a stream: its pieces before each CR, each kept to its first
// kMaxCommandLength bytes; what follows the last CR is still waiting.
QList<QByteArray> referenceCommands(QByteArrayView stream)
{
    QList<QByteArray> commands = stream.toByteArray().split('\r');
    commands.removeLast();
    for (QByteArray &command : commands)
        command.truncate(CommandReader::kMaxCommandLength);
    return commands;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const ChunkPlan plan = ChunkPlan::from(data, size);

    CommandReader chunkedReader;
    QList<QByteArray> chunked;
    for (const QByteArrayView chunk : plan.chunksOf(plan.payload))
        chunked += chunkedReader.feed(chunk);

    CommandReader wholeReader;
    const QList<QByteArray> whole = wholeReader.feed(plan.payload);

    FUZZ_CHECK(chunked == whole);
    FUZZ_CHECK(chunked == referenceCommands(plan.payload));

    for (const QByteArray &command : chunked) {
        FUZZ_CHECK(!command.contains('\r'));
        checkCommand(command);
    }
    // The parser also sees texts the reader would never hand it, CRs included.
    checkCommand(plan.payload);
    return 0;
}
