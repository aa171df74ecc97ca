// The instance protocol: what a client of the local socket sends the resident program, and
// what a command-line client reads back.
#include "FuzzSupport.h"

#include "app/InstanceProtocol.h"

using namespace quillet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray in = fuzz::bytes(data, size);

    // The resident side reads up to the first newline, within the bound.
    const qsizetype nl = in.indexOf('\n');
    const QByteArray line = nl < 0 ? in : in.left(nl);
    if (const std::optional<Request> r = InstanceProtocol::decodeRequest(line)) {
        FUZZ_CHECK(!r->verb.isEmpty());
        for (const QChar c : r->verb)
            FUZZ_CHECK(c.isLower() || c == QLatin1Char('-'));
        // A request the resident side understood is sent by our own client the same way.
        const QByteArray wire = InstanceProtocol::encodeRequest(*r);
        FUZZ_CHECK(wire.endsWith('\n') && wire.count('\n') == 1);
        FUZZ_CHECK(InstanceProtocol::decodeRequest(wire.chopped(1)) == r);
    }
    if (const std::optional<Reply> r = InstanceProtocol::decodeReply(in)) {
        FUZZ_CHECK(r->exitCode >= 0 && r->exitCode <= 255);
        FUZZ_CHECK(InstanceProtocol::decodeReply(InstanceProtocol::encodeReply(*r)) == r);
    }
    return 0;
}
